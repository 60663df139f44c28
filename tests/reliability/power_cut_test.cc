// A power cut at any moment of a conversation, a `learn`, a backup or a
// restore: the memory opens, is sound and holds whole sentences only, and
// every line whose reply was returned, every line `learn` counted, every
// sentence a restore reported and every backup made is still on the disk.
#include "tests/support/power_cut.h"

#include <gtest/gtest-spi.h>

#include <fstream>

#include "engine/backup.h"
#include "engine/bulk_learner.h"
#include "tests/support/child.h"

namespace quibbo::testing {
namespace {

namespace fs = std::filesystem;
using Event = PowerCut::Event;

// Once `after` events are logged, the memory at `path` holds at least
// `sentences` of what was said.
struct Promise {
  size_t after;
  std::string path;
  size_t sentences;
};

const Strings kSeed = {"a memory that holds something. before it all"};
const Strings kLines = Script("line", 30);

// The seed and the first `lines` of kLines.
Strings Said(size_t lines) {
  Strings said = kSeed;
  said.insert(said.end(), kLines.begin(), kLines.begin() + lines);
  return said;
}
size_t SaidUpTo(size_t lines) { return SentencesOf(Said(lines)).size(); }

// Runs the scenario `name` on `memory`, with `copy` to restore from, and
// returns the promises it made.
std::vector<Promise> RunScenario(std::string_view name,
                                 const std::string& memory,
                                 const std::string& copy, PowerCut& cut) {
  std::vector<Promise> promises;
  auto promise = [&](const std::string& path, size_t lines) {
    promises.push_back({cut.events(), path, SaidUpTo(lines)});
  };
  if (name == "conversation") {
    // A short log, so that it is copied into the memory several times.
    Engine engine(memory, std::make_unique<SeededRandom>(19), nullptr,
                  {.checkpoint_pages = 16});
    for (size_t i = 0; i < kLines.size(); ++i) {
      EXPECT_EQ(KindOf(engine.Respond(kLines[i])), std::nullopt);
      promise(memory, i + 1);
      engine.Idle();
    }
  } else if (name == "learn") {
    auto learner = BulkLearner::Open(memory);
    for (size_t i = 0; i < kLines.size(); ++i) {
      learner->Learn(kLines[i]);
      if (i % 7 != 6 && i + 1 < kLines.size()) continue;
      learner->Commit();
      promise(memory, learner->committed().lines);
    }
  } else if (name == "backup") {
    BackupMemory(memory, memory + ".backup", false);
    promise(memory + ".backup", 0);
  } else {
    // A program holds the memory open, so the restore's is not the last
    // connection, which would copy the log in as it closes.
    auto running = MemoryFile::Open(memory, MemoryFile::Access::kReadOnly);
    RestoreMemory(memory, copy);
    promise(memory, kLines.size());
  }
  return promises;
}

std::string Describe(const PowerCut& cut, size_t n, bool torn) {
  if (n == 0) return "a cut before the first event";
  const char* kKinds[] = {"opening", "creation", "write", "truncation",
                          "sync",    "deletion", "rename"};
  const Event& event = cut.log()[n - 1];
  return "a cut after event " + std::to_string(n) + " of " +
         std::to_string(cut.log().size()) + " (" + kKinds[event.kind] + " of " +
         fs::path(event.path).filename().string() +
         (torn ? "), the last unsynced write torn" : ")");
}

// Puts the memory at `path` as `state` holds it in `check`'s place, opens it
// as Quibbo does, and checks that it holds the start of what was said, at
// least `promised` sentences. What is wrong, or nothing.
std::string Reopen(const std::map<std::string, std::string>& state,
                   const std::string& path, const TempMemory& check,
                   size_t promised) {
  const std::string key = fs::weakly_canonical(path).string();
  if (!state.contains(key)) return "it is not on the disk";
  for (const char* end : {"", "-wal", "-shm"}) fs::remove(check.path() + end);
  for (const char* end : {"", "-wal"}) {
    if (state.contains(key + end))
      std::ofstream(check.path() + end, std::ios::binary)
          << state.at(key + end);
  }
  Strings stored;
  ::testing::TestPartResultArray failures;
  try {
    ::testing::ScopedFakeTestPartResultReporter intercept(&failures);
    MemoryFile::Open(check.path(), MemoryFile::Access::kReadWrite);
    stored = check.Sentences();  // checks it is sound, and all whole
  } catch (const std::exception& error) {
    return error.what();
  }
  if (failures.size() > 0) return failures.GetTestPartResult(0).message();
  static const Strings said = SentencesOf(Said(kLines.size()));
  if (stored.size() > said.size() ||
      !std::equal(stored.begin(), stored.end(), said.begin())) {
    return "it holds what was never said";
  }
  if (stored.size() < promised) {
    return "it lost " + std::to_string(promised - stored.size()) + " of " +
           std::to_string(promised) + " sentences";
  }
  return "";
}

// Failures shown in full per scenario; the rest are counted.
constexpr size_t kShown = 5;

TEST(PowerCutTest, EverythingReportedStoredSurvivesACutAtAnyMoment) {
  for (const char* scenario : {"conversation", "learn", "backup", "restore"}) {
    SCOPED_TRACE(scenario);
    TempMemory memory, copy, check;
    memory.Fill(kSeed);
    copy.Fill(Said(kLines.size()));
    PowerCut cut(memory.folder());
    auto promises = RunScenario(scenario, memory.path(), copy.path(), cut);
    cut.Stop();
    promises.push_back({0, memory.path(), SaidUpTo(0)});
    size_t broken = 0, cuts = 0;
    for (size_t n = 0; n <= cut.log().size(); ++n) {
      const auto clean = cut.StateAfter(n, false);
      for (bool torn : {false, true}) {
        const auto state = torn ? cut.StateAfter(n, true) : clean;
        if (torn && state == clean) continue;
        ++cuts;
        std::map<std::string, size_t> due;  // path to sentences promised
        for (const Promise& promise : promises) {
          if (promise.after > n) continue;
          due[promise.path] = std::max(due[promise.path], promise.sentences);
        }
        bool kept = true;
        for (const auto& [path, promised] : due) {
          const std::string problem = Reopen(state, path, check, promised);
          kept = kept && problem.empty();
          if (!problem.empty() && broken < kShown) {
            ADD_FAILURE() << Describe(cut, n, torn) << ": "
                          << fs::path(path).filename().string() << ": "
                          << problem;
          }
        }
        broken += !kept;
      }
    }
    EXPECT_EQ(broken, 0u) << "cut points that broke a promise, of " << cuts
                          << " (the first " << kShown << " shown above)";
  }
}

}  // namespace
}  // namespace quibbo::testing
