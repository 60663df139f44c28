// quibbo-cli under faults of its memory file, end to end: every reply and
// every wipe reports the fault naming the file, nothing stored is lost or
// altered, and the next run works once the fault is gone.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>

#include "engine/learner.h"
#include "tests/reliability/child_process.h"
#include "tests/reliability/faults.h"
#include "tests/reliability/memory_check.h"
#include "tests/reliability/small_disk.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_memory.h"

namespace quibbo {
namespace {

using testing::ChildOptions;
using testing::ChildResult;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using testing::IsTrouble;
using testing::MemoryState;
using testing::ReadMemory;
using testing::RunChild;
using testing::TempMemory;

std::string Cli() { return testing::ProgramDir() + "/quibbo-cli"; }

// The replies of a --json conversation, in order; nullopt for null.
std::vector<std::optional<std::string>> Replies(const std::string& out) {
  std::vector<std::optional<std::string>> replies;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    nlohmann::json object = nlohmann::json::parse(line);
    if (object["quibbo"].is_null()) {
      replies.push_back(std::nullopt);
    } else {
      replies.push_back(object["quibbo"].get<std::string>());
    }
  }
  return replies;
}

ChildResult Chat(const std::string& path, const std::string& input,
                 const ChildOptions& options = {}) {
  return RunChild(Cli(), {"--json", "--seed", "5", "--memory", path}, input,
                  options);
}

ChildResult Wipe(const std::string& path, const ChildOptions& options = {}) {
  return RunChild(Cli(), {"wipe", "--yes", "--memory", path}, "", options);
}

class CliFaultTest : public ::testing::TestWithParam<std::string> {};

TEST_P(CliFaultTest, ReportedNothingLostAndWorksAgainAfterwards) {
  const testing::Fault& fault = testing::FaultNamed(GetParam());
  std::string why;
  if (fault.needs_permissions && !testing::ObeyFilePermissions(&why)) {
    GTEST_SKIP() << why;
  }
  TempMemory memory;
  const std::string& path = memory.path();
  testing::FillWithSentences(memory, 400);
  const MemoryState before = ReadMemory(path);

  fault.make(memory);
  const std::string file_at_fault =
      fault.damaged_file ? testing::FileBytes(path) : "";
  ChildResult chat = Chat(path, "these words must not be stored. nor these\n");
  EXPECT_EQ(chat.exit_status, 0) << chat.err;
  auto replies = Replies(chat.out);
  ASSERT_EQ(replies.size(), 1u);
  ASSERT_TRUE(replies[0]);
  EXPECT_TRUE(IsTrouble(*replies[0])) << *replies[0];
  EXPECT_THAT(*replies[0], HasSubstr(path));
  EXPECT_THAT(*replies[0], HasSubstr(fault.says));

  ChildResult wipe = Wipe(path);
  EXPECT_EQ(wipe.exit_status, 1);
  EXPECT_THAT(wipe.err, HasSubstr(path));
  EXPECT_THAT(wipe.err, HasSubstr(fault.says));
  EXPECT_THAT(wipe.err, HasSubstr("Nothing was deleted."));
  if (fault.damaged_file) {
    EXPECT_TRUE(testing::FileBytes(path) == file_at_fault);
  }
  fault.undo(memory);

  const MemoryState after = ReadMemory(path);
  EXPECT_EQ(after.integrity, "ok");
  EXPECT_EQ(after.rows, before.rows);
  chat = Chat(path, "back to work\n");
  replies = Replies(chat.out);
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_FALSE(IsTrouble(replies[0].value_or(""))) << replies[0].value_or("");
  EXPECT_EQ(ReadMemory(path).rows.size(), before.rows.size() + 3);
}

INSTANTIATE_TEST_SUITE_P(Faults, CliFaultTest,
                         ::testing::ValuesIn(testing::FaultNames()),
                         [](const auto& info) { return info.param; });

// How a disk fills up and gets room again, for quibbo-cli.
struct FullDisk {
  ChildOptions options;             // for the conversation while it fills up
  ChildOptions wipe_options;        // for the wipe when it is full
  std::function<void()> fill_up;    // before the conversation
  std::function<void()> fill_all;   // before the wipe
  std::function<void()> make_room;  // afterwards
};

// Talks and wipes on a disk that fills up: every line answered was stored
// whole, a line that met the full disk left its first sentences at most, the
// wipe deleted nothing, and all works once there is room again.
void TalkAndWipeOnAFullDisk(const std::string& path, const FullDisk& disk) {
  const MemoryState before = ReadMemory(path);
  std::vector<std::string> lines;
  std::string input;
  for (int i = 0; i < 60; ++i) {
    lines.push_back("line " + std::to_string(i) + " starts here. then " +
                    std::to_string(i) + " goes on with more words. and ends");
    input += lines.back() + "\n";
  }
  disk.fill_up();
  ChildResult chat = Chat(path, input, disk.options);
  EXPECT_EQ(chat.exit_status, 0) << chat.err;
  auto replies = Replies(chat.out);
  ASSERT_EQ(replies.size(), lines.size());

  const MemoryState stored = ReadMemory(path);
  EXPECT_EQ(stored.integrity, "ok");
  EXPECT_THAT(testing::SentenceProblems(stored.rows), IsEmpty());
  ASSERT_TRUE(
      std::equal(before.rows.begin(), before.rows.end(), stored.rows.begin()));
  std::vector<std::string> learned = testing::StoredSentences(
      {stored.rows.begin() + before.rows.size(), stored.rows.end()});
  // Sentences are unique, so matching them greedily is exact.
  size_t next = 0;
  int troubled = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    ASSERT_TRUE(replies[i]);
    const bool trouble = IsTrouble(*replies[i]);
    if (trouble) {
      ++troubled;
      EXPECT_THAT(*replies[i], HasSubstr(path));
    }
    std::vector<std::string> sentences = CutSentences(lines[i]);
    size_t whole = 0;
    while (whole < sentences.size() && next < learned.size() &&
           learned[next] == sentences[whole]) {
      ++whole;
      ++next;
    }
    EXPECT_EQ(whole == sentences.size(), !trouble) << lines[i];
  }
  EXPECT_EQ(next, learned.size()) << "stored, but not from these lines";
  EXPECT_GT(troubled, 0) << "the disk never filled up";
  EXPECT_LT(troubled, 60) << "nothing was learned before the disk filled up: "
                          << replies[0].value_or("").substr(0, 300);

  disk.fill_all();
  ChildResult wipe = Wipe(path, disk.wipe_options);
  EXPECT_EQ(wipe.exit_status, 1);
  EXPECT_THAT(wipe.err, HasSubstr(path));
  EXPECT_THAT(wipe.err, HasSubstr("Nothing was deleted."));
  disk.make_room();
  EXPECT_EQ(ReadMemory(path).rows, stored.rows);

  chat = Chat(path, "there is room again\n");
  replies = Replies(chat.out);
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_FALSE(IsTrouble(replies[0].value_or("")));
  EXPECT_EQ(Wipe(path).exit_status, 0);
  EXPECT_THAT(ReadMemory(path).rows, IsEmpty());
}

TEST(CliDiskFullTest, FileSizeLimit) {
  // Writes past the limit fail as on a full disk (EFBIG; SQLite reports an
  // I/O error then, ENOSPC it reports as a full disk).
  TempMemory memory;
  testing::FillWithSentences(memory, 400);
  FullDisk disk;
  disk.fill_up = disk.fill_all = disk.make_room = [] {};
  disk.options.max_file_size =
      static_cast<off_t>(std::filesystem::file_size(memory.path()));
  // Room for the shared-memory index, not for deleting every row.
  disk.wipe_options.max_file_size = 40 << 10;
  TalkAndWipeOnAFullDisk(memory.path(), disk);
}

TEST(CliDiskFullTest, FullDisk) {
  testing::SmallDisk small(4 << 20);
  if (!small.available()) GTEST_SKIP() << small.why();
  const std::string path = small.folder() + "/qvd.mdb";
  Store::Create(path);
  testing::FillWithSentences(path, 400);
  FullDisk disk;
  disk.fill_up = [&] { small.FillUp(512 << 10); };
  disk.fill_all = [&] { small.FillUp(0); };
  disk.make_room = [&] { small.MakeRoom(); };
  TalkAndWipeOnAFullDisk(path, disk);
}

}  // namespace
}  // namespace quibbo
