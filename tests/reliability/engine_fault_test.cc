// The engine under faults of its memory file: every call reports the fault
// with a description naming the file, nothing stored is lost or altered, and
// the engine works again, without restarting, once the fault is gone.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "engine/engine.h"
#include "engine/learner.h"
#include "tests/reliability/child_process.h"
#include "tests/reliability/faults.h"
#include "tests/reliability/memory_check.h"
#include "tests/reliability/small_disk.h"
#include "tests/support/temp_memory.h"

namespace quibbo {
namespace {

using testing::FaultNamed;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using testing::IsTrouble;
using testing::MemoryState;
using testing::ReadMemory;
using testing::TempMemory;

class EngineUnderFault {
 public:
  explicit EngineUnderFault(const std::string& path) {
    StoreOptions options;
    options.busy_timeout = std::chrono::milliseconds(200);
    engine_ = std::make_unique<Engine>(
        path, std::make_unique<SeededRandom>(7),
        [](const WipeQuestion&) { return true; }, options);
    engine_->SetReportErrors(true);
  }

  Engine& operator*() { return *engine_; }
  Engine* operator->() { return engine_.get(); }

 private:
  std::unique_ptr<Engine> engine_;
};

// Respond reports the fault and WipeMemory refuses with the same cause.
void ExpectFaultReported(Engine& engine, const testing::Fault& fault) {
  const std::string& path = engine.memory_path();
  std::optional<std::string> reply =
      engine.Respond("these words must not be stored. nor these");
  ASSERT_TRUE(reply);
  EXPECT_TRUE(IsTrouble(*reply)) << *reply;
  EXPECT_THAT(*reply, HasSubstr(path));
  EXPECT_THAT(*reply, HasSubstr(fault.says));
  try {
    engine.WipeMemory();
    ADD_FAILURE() << "the wipe went through";
  } catch (const StoreError& error) {
    EXPECT_THAT(error.description(), HasSubstr(path));
    EXPECT_THAT(error.description(), HasSubstr(fault.says));
  }
}

class EngineFaultTest : public ::testing::TestWithParam<std::string> {};

TEST_P(EngineFaultTest, ReportedNothingLostAndWorksAgainAfterwards) {
  const testing::Fault& fault = FaultNamed(GetParam());
  std::string why;
  if (fault.needs_permissions && !testing::ObeyFilePermissions(&why)) {
    GTEST_SKIP() << why;
  }
  TempMemory memory;
  const std::string& path = memory.path();
  testing::FillWithSentences(memory, 400);
  auto running = std::make_unique<EngineUnderFault>(path);
  ASSERT_FALSE(IsTrouble(*(*running)->Respond("a program was running")));
  if (!fault.meets_running_program) running.reset();
  const MemoryState before = ReadMemory(path);
  ASSERT_EQ(before.integrity, "ok");

  fault.make(memory);
  const std::string file_at_fault =
      fault.damaged_file ? testing::FileBytes(path) : "";
  {
    SCOPED_TRACE("a program started under the fault");
    EngineUnderFault started(path);
    ExpectFaultReported(*started, fault);
  }
  if (running) {
    SCOPED_TRACE("a program that had the memory open");
    ExpectFaultReported(**running, fault);
  }
  if (fault.damaged_file) {
    // Not a byte rewritten, not even by a log waiting to be copied in.
    EXPECT_TRUE(testing::FileBytes(path) == file_at_fault);
    EXPECT_EQ(std::filesystem::exists(path + "-wal")
                  ? std::filesystem::file_size(path + "-wal")
                  : 0u,
              0u);
  }
  fault.undo(memory);

  const MemoryState after = ReadMemory(path);
  EXPECT_EQ(after.integrity, "ok");
  EXPECT_EQ(after.rows, before.rows);

  EngineUnderFault restarted(path);
  EXPECT_FALSE(IsTrouble(*restarted->Respond("back to work")));
  size_t expected_rows = before.rows.size() + 3;
  if (running) {
    EXPECT_FALSE(IsTrouble(*(*running)->Respond("still here")));
    expected_rows += 2;
  }
  const MemoryState recovered = ReadMemory(path);
  EXPECT_EQ(recovered.integrity, "ok");
  EXPECT_EQ(recovered.rows.size(), expected_rows);
  EXPECT_THAT(testing::SentenceProblems(recovered.rows), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Faults, EngineFaultTest,
                         ::testing::ValuesIn(testing::FaultNames()),
                         [](const auto& info) { return info.param; });

// A memory deleted while a program has it open, and a new one made in its
// place: the old memory's log must never be read into the new one.
TEST(ReplacedMemoryTest, TheOldMemoryNeverLeaksIntoTheNewOne) {
  TempMemory memory;
  const std::string& path = memory.path();
  testing::FillWithSentences(memory, 200);
  EngineUnderFault old_program(path);
  ASSERT_FALSE(IsTrouble(*old_program->Respond("old words here")));

  std::filesystem::remove(path);
  Store::Create(path);
  {
    EngineUnderFault new_program(path);
    EXPECT_EQ(new_program->Respond("new words"), "New words.");
    EXPECT_FALSE(IsTrouble(*new_program->Respond("more new words")));
  }
  EXPECT_FALSE(IsTrouble(*old_program->Respond("the old program goes on")));

  const MemoryState state = ReadMemory(path);
  EXPECT_EQ(state.integrity, "ok");
  EXPECT_EQ(testing::StoredSentences(state.rows),
            (std::vector<std::string>{"New words.", "More new words.",
                                      "The old program goes on."}));
}

// Forty sentences with long words: each takes a page of the file or more.
std::string LongSentences() {
  std::string line;
  for (int i = 0; i < 40; ++i) {
    line += "sentence" + std::to_string(i) + " " +
            std::string(900, static_cast<char>('a' + i % 26)) + " end. ";
  }
  return line;
}

// After `line` met a full disk at `path`: the memory holds what it held
// `before`, then whole sentences of the line from its first on, and no more.
void ExpectLearnedFromTheStart(const MemoryState& before,
                               const std::string& path,
                               const std::string& line) {
  const MemoryState full = ReadMemory(path);
  EXPECT_EQ(full.integrity, "ok");
  EXPECT_THAT(testing::SentenceProblems(full.rows), IsEmpty());
  ASSERT_GE(full.rows.size(), before.rows.size());
  EXPECT_TRUE(
      std::equal(before.rows.begin(), before.rows.end(), full.rows.begin()));
  std::vector<std::string> learned = testing::StoredSentences(
      {full.rows.begin() + before.rows.size(), full.rows.end()});
  std::vector<std::string> sentences = CutSentences(line);
  EXPECT_GE(learned.size(), 1u) << "no room for even one sentence";
  ASSERT_LT(learned.size(), 40u) << "the disk never filled up";
  EXPECT_TRUE(std::equal(learned.begin(), learned.end(), sentences.begin()));
}

// The wipe refuses whole, or, where deleting finds room, deletes whole.
void ExpectWholeWipeOrNone(Engine& engine) {
  const std::string& path = engine.memory_path();
  const MemoryState before = ReadMemory(path);
  bool wiped = true;
  try {
    engine.WipeMemory();
  } catch (const StoreError& error) {
    wiped = false;
    EXPECT_THAT(error.description(), HasSubstr(path));
  }
  EXPECT_EQ(ReadMemory(path).rows.size(), wiped ? 0u : before.rows.size());
}

void SetMaxPageCount(Engine& engine, int64_t pages) {
  std::string sql = "PRAGMA max_page_count = " + std::to_string(pages);
  engine.Memory().connection().Execute(sql.c_str());
}

int64_t PageCount(Engine& engine) {
  sqlite::Statement count(engine.Memory().connection(), "PRAGMA page_count");
  count.Step();
  return count.ColumnInt(0);
}

TEST(DiskFullTest, PageLimitMidLineKeepsTheSentencesBefore) {
  TempMemory memory;
  testing::FillWithSentences(memory, 50);
  EngineUnderFault engine(memory.path());
  ASSERT_FALSE(IsTrouble(*engine->Respond("warm up")));
  const MemoryState before = ReadMemory(memory.path());

  SetMaxPageCount(*engine, PageCount(*engine) + 4);
  const std::string line = LongSentences();
  std::optional<std::string> reply = engine->Respond(line);
  ASSERT_TRUE(reply);
  EXPECT_TRUE(IsTrouble(*reply));
  EXPECT_THAT(*reply, HasSubstr("disk is full"));
  EXPECT_THAT(*reply, HasSubstr(memory.path()));
  ExpectLearnedFromTheStart(before, memory.path(), line);

  ExpectWholeWipeOrNone(*engine);
  SetMaxPageCount(*engine, 1 << 30);
  EXPECT_FALSE(IsTrouble(*engine->Respond("there is room again")));
}

TEST(DiskFullTest, FullDiskMidLineKeepsTheSentencesBefore) {
  testing::SmallDisk disk(4 << 20);
  if (!disk.available()) GTEST_SKIP() << disk.why();
  const std::string path = disk.folder() + "/qvd.mdb";
  Store::Create(path);
  testing::FillWithSentences(path, 50);
  EngineUnderFault engine(path);
  ASSERT_FALSE(IsTrouble(*engine->Respond("warm up")));
  const MemoryState before = ReadMemory(path);

  disk.FillUp(256 << 10);
  const std::string line = LongSentences();
  std::optional<std::string> reply = engine->Respond(line);
  ASSERT_TRUE(reply);
  EXPECT_TRUE(IsTrouble(*reply));
  EXPECT_THAT(*reply, HasSubstr("disk is full"));
  EXPECT_THAT(*reply, HasSubstr(path));
  ExpectLearnedFromTheStart(before, path, line);

  disk.FillUp(0);
  ExpectWholeWipeOrNone(*engine);
  disk.MakeRoom();
  EXPECT_FALSE(IsTrouble(*engine->Respond("there is room again")));
  ExpectWholeWipeOrNone(*engine);
}

}  // namespace
}  // namespace quibbo
