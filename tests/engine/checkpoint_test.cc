// The write-ahead log is copied back into the memory off the reply path, and
// never grows without bound, however the copies fall behind.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "engine/bulk_learner.h"
#include "engine/engine.h"
#include "engine/learner.h"
#include "tests/support/temp_memory.h"

namespace quibbo::testing {
namespace {

TEST(CheckpointTest, TheLogStaysBoundedOverManyCommits) {
  constexpr int kPages = 16;
  constexpr uintmax_t kFrame = 4096 + 24;
  // A conversation that idles after each line, as programs do, one that
  // never idles, and a bulk learner in short batches, which copies the log
  // for everyone.
  enum How { kIdle, kBusy, kLearn };
  struct Case {
    How how;
    uintmax_t bound;
  };
  for (const Case& c : {Case{kIdle, 2 * kPages * kFrame},
                        Case{kBusy, (kLogBound + 4) * kPages * kFrame},
                        Case{kLearn, (kLogBound + 4) * kPages * kFrame}}) {
    TempMemory memory;
    const StoreOptions options = {.checkpoint_pages = kPages};
    Engine engine(memory.path(), std::make_unique<SeededRandom>(1), nullptr,
                  options);
    auto store = Store::Open(memory.path(), Store::Access::kReadWrite, options);
    std::optional<BulkLearner> learner;
    if (c.how == kLearn)
      learner.emplace(*store,
                      BatchLimits{.min_rows = 20, .max_rows = 20, .pause = {}});
    for (int i = 0; i < (learner ? 1000 : 200); ++i) {
      const std::string line = "Line " + std::to_string(i) + " of a talk.";
      if (learner) {
        learner->Learn(line);
        continue;
      }
      if (c.how == kBusy) {
        Learn(*store, line);
        continue;
      }
      ASSERT_FALSE(engine.Respond(line).failure);
      auto deadline =
          std::chrono::steady_clock::now() + std::chrono::seconds(5);
      while (!engine.Idle()) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline)
            << "the background copy never caught up";
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
    // Without copies the log would hold every page of every commit.
    EXPECT_LT(std::filesystem::file_size(memory.path() + "-wal"), c.bound)
        << c.how;
  }
}

}  // namespace
}  // namespace quibbo::testing
