// A power cut at any moment of a conversation, a `learn`, a backup or a
// restore: the memory opens, is sound and holds whole sentences only, and
// every line whose reply was returned, every line `learn` counted, every
// sentence a restore reported and every backup made is still on the disk.
// A sync that fails is reported as what it left.
#include "tests/reliability/power_cut.h"

#include <gtest/gtest-spi.h>

#include <fstream>

#include "engine/file/output_file.h"
#include "quibbo/learn.h"
#include "quibbo/memory.h"
#include "tests/support/child.h"

namespace quibbo::testing {
namespace {

namespace fs = std::filesystem;

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
                                 const std::string& copy) {
  std::vector<Promise> promises;
  auto promise = [&](const std::string& path, size_t lines) {
    promises.push_back({PowerCut::events(), path, SaidUpTo(lines)});
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

// Puts the memory at `path` as `state` holds it in `check`'s place, opens it
// as Quibbo does, and checks that it holds the start of what was said, at
// least `promised` sentences. What is wrong, or nothing.
std::string Reopen(const std::map<std::string, std::string>& state,
                   const std::string& path, const TempMemory& check,
                   size_t promised) {
  const std::string key = fs::weakly_canonical(path).string();
  if (!state.contains(key)) return "it is not on the disk";
  for (const char* end : {"", "-wal", "-shm"}) {
    fs::remove(check.path() + end);
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
  if (stored.size() < promised)
    return "it lost " + std::to_string(promised - stored.size()) + " of " +
           std::to_string(promised) + " sentences";
  return "";
}

// Broken promises shown per scenario before it stops.
constexpr size_t kShown = 5;

TEST(PowerCutTest, EverythingReportedStoredSurvivesACutAtAnyMoment) {
  for (const char* scenario : {"conversation", "learn", "backup", "restore"}) {
    SCOPED_TRACE(scenario);
    TempMemory memory(kSeed), copy(Said(kLines.size())), check;
    PowerCut cut(memory.folder());
    auto promises = RunScenario(scenario, memory.path(), copy.path());
    cut.Stop();
    promises.push_back({0, memory.path(), SaidUpTo(0)});
    size_t broken = 0;
    for (size_t n = 0; n <= PowerCut::events() && broken < kShown; ++n) {
      const auto clean = cut.StateAfter(n, Loss::kAll);
      for (Loss loss : {Loss::kAll, Loss::kTorn, Loss::kSome}) {
        const auto state = loss == Loss::kAll ? clean : cut.StateAfter(n, loss);
        if (loss != Loss::kAll && state == clean) continue;
        std::map<std::string, size_t> due;  // path to sentences promised
        for (const Promise& promise : promises) {
          if (promise.after > n) continue;
          due[promise.path] = std::max(due[promise.path], promise.sentences);
        }
        for (const auto& [path, promised] : due) {
          const std::string problem = Reopen(state, path, check, promised);
          if (problem.empty()) continue;
          ADD_FAILURE() << cut.Describe(n, loss) << ": "
                        << fs::path(path).filename().string() << ": "
                        << problem;
          ++broken;
        }
      }
    }
  }
}

// A sync that fails is reported, and leaves nothing half made: a memory
// whose name could not reach the disk is not left behind; an output file
// put in place says that it is there; a reply whose line cannot be synced,
// its log gone, reports that.
TEST(PowerCutTest, AFailedSyncIsReportedAsWhatItLeft) {
  TempMemory memory(kSeed);
  const std::string made = memory.folder() + "/new.mdb";
  const std::string written = memory.folder() + "/out.txt";
  failing_folder_syncs = true;
  EXPECT_THROW(CreateMemory(made), Error);
  try {
    OutputFile output(written, false);
    output.Write("words");
    output.Commit();
    ADD_FAILURE() << "the folder's sync failed unseen";
  } catch (const Error& error) {
    EXPECT_EQ(std::string(error.description()).find("nothing was left"),
              std::string::npos)
        << error.description();
  }
  failing_folder_syncs = false;
  EXPECT_FALSE(fs::exists(made));
  EXPECT_EQ(FileBytes(written), "words");
  Engine engine(memory.path(), std::make_unique<SeededRandom>(1));
  ASSERT_FALSE(engine.Respond("the first line").failure);
  fs::remove(memory.path() + "-wal");
  EXPECT_TRUE(engine.Respond("the second line").failure);
}

}  // namespace
}  // namespace quibbo::testing
