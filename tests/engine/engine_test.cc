// The engine as programs use it: nothing half done when a sentence or a
// wipe fails, that the write-ahead log is copied back into the memory off the
// reply path, and a bulk learner beside another program.
#include "quibbo/engine.h"

#include <sqlite3.h>

#include <atomic>

#include "quibbo/learn.h"
#include "quibbo/memory.h"
#include "tests/support/child.h"
#include "tests/support/engine_peer.h"

namespace quibbo::testing {
namespace {

// Nothing half done: a sentence that fails leaves the ones before it and
// nothing of itself, and nothing is deleted with no one to ask, nor by a
// wipe that fails half-way. The questions themselves are tried through
// quibbo-cli and the window.
TEST(EngineTest, AFailureLeavesNothingHalfDone) {
  TempMemory memory({"Keep this."});
  Engine(memory.path()).WipeMemory();
  auto engine = std::make_unique<Engine>(memory.path(), nullptr,
                                         [](WipeQuestion) { return true; });
  // Quibbo's connections run no triggers of the file's own, only TEMP ones.
  EnginePeer::Execute(
      *engine,
      "CREATE TEMP TRIGGER refuse BEFORE INSERT ON main.word "
      "WHEN new.middle = 'boom' BEGIN SELECT RAISE(ABORT, 'refused'); END;"
      "CREATE TEMP TRIGGER keep BEFORE DELETE ON word_count "
      "BEGIN SELECT RAISE(ABORT, 'kept'); END;");
  EXPECT_EQ(KindOf(engine->Respond("one two. three boom here. four")),
            Kind::kDamaged);
  EXPECT_EQ(engine->WordFrequency("three"), kUnknownWordCount);
  EXPECT_THROW(engine->WipeMemory(), Error);
  EXPECT_EQ(memory.Sentences(), (Strings{"Keep this.", "One two."}));
  EXPECT_EQ(KindOf(engine->Respond("three")), std::nullopt);
}

// The log never grows without bound, however the copies fall behind: in a
// conversation that idles after each line, as programs do, in one whose
// lines come back to back, and beside a bulk learner in short batches,
// which copies the log for everyone.
TEST(CheckpointTest, TheLogStaysBoundedOverManyCommits) {
  constexpr int kPages = 16;
  constexpr uintmax_t kFrame = 4096 + 24;
  enum How { kIdle, kBusy, kLearn };
  for (const How how : {kIdle, kBusy, kLearn}) {
    TempMemory memory;
    const StoreOptions options = {.checkpoint_pages = kPages};
    Engine engine(memory.path(), std::make_unique<SeededRandom>(1), nullptr,
                  options);
    auto store = Store::Open(memory.path(), Store::Access::kReadWrite, options);
    std::optional<BulkLearner> learner;
    if (how == kLearn)
      learner.emplace(*store, BatchLimits{.min_rows = 20, .max_rows = 20});
    for (int i = 0; i < (learner ? 1000 : 200); ++i) {
      const std::string line = "Line " + std::to_string(i) + " of a talk.";
      if (learner) {
        learner->Learn(line);
      } else {
        ASSERT_FALSE(engine.Respond(line).failure);
        ASSERT_TRUE(how == kBusy || WaitUntil([&] { return engine.Idle(); },
                                              std::chrono::seconds(5)))
            << "the background copy never caught up";
      }
    }
    // Without copies the log would hold every page of every commit.
    EXPECT_LT(std::filesystem::file_size(memory.path() + "-wal"),
              (how == kIdle ? 2 : Worker::kLogBound + 4) * kPages * kFrame)
        << how;
  }
}

// A program that finds the memory held by a bulk learner asks it to make
// way, and gets in at the next sentence boundary, long before the batch would
// end; the learner commits once more than it would have. Asking never
// creates the signal file, which lives as long as the learner.
TEST(LearnerTest, BulkLearnerMakesWayForAWaitingProgram) {
  const Strings lines = Script("w", 40);
  TempMemory memory;
  auto store = Store::Open(memory.path(), Store::Access::kReadWrite);
  sqlite3* db = store->file().connection().handle();
  struct Seen {
    std::atomic<int> rows = 0;
    int commits = 0;
  } seen;
  sqlite3_commit_hook(
      db, [](void* s) { return ++static_cast<Seen*>(s)->commits, 0; }, &seen);
  // Each row takes a while, so that the batch holds the memory far longer
  // than the other program waits.
  sqlite3_update_hook(
      db,
      [](void* s, int, const char*, const char*, sqlite3_int64) {
        ++static_cast<Seen*>(s)->rows;
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
      },
      &seen);
  {
    BulkLearner learner(*store, {.min_rows = 100000, .check_rows = 10});
    std::thread other([&] {
      while (seen.rows < 20) std::this_thread::yield();
      auto mine = Store::Open(memory.path(), Store::Access::kReadWrite,
                              {.busy_timeout = std::chrono::milliseconds(300)});
      EXPECT_NO_THROW(Learn(*mine, "the other program.")) << "in vain";
    });
    for (const std::string& line : lines) learner.Learn(line);
    learner.Commit();
    EXPECT_EQ(learner.committed().lines, 40);
    other.join();
  }
  EXPECT_EQ(seen.commits, 2);
  // The other program's line where it got in.
  Strings stored = memory.Sentences();
  EXPECT_EQ(std::erase(stored, "The other program."), 1u);
  EXPECT_EQ(stored, SentencesOf(lines));
  AskToMakeWay(memory.path());
  EXPECT_FALSE(std::filesystem::exists(WaitSignalPath(memory.path())));
}

}  // namespace
}  // namespace quibbo::testing
