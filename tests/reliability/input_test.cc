// Hostile, odd and big input through quibbo-cli --json: no crash, no hang,
// every line answered or refused as not UTF-8, and the memory holds exactly
// the rows the learning rules give for the lines it accepted.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/reliability/learning_rules.h"
#include "tests/reliability/support.h"
#include "tests/support/temp_memory.h"

#ifndef QUIBBO_MIX_LINES
#define QUIBBO_MIX_LINES 100000
#endif

namespace quibbo::testing {
namespace {

using ::testing::HasSubstr;

// The lines of the files in `folder` without an extension, by file name.
std::vector<std::string> LinesIn(const std::string& folder) {
  std::vector<std::filesystem::path> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (entry.is_regular_file() && !entry.path().has_extension()) {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  std::vector<std::string> lines;
  for (const auto& file : files) {
    std::istringstream in(FileBytes(file));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
  }
  return lines;
}

// Real lines, quotes, SQL, control characters, invalid UTF-8, long words.
std::vector<std::string> HostileLines() { return LinesIn(QUIBBO_FUZZ_CORPUS); }

// Talks through `lines` in one run on `memory`, which holds something so
// that no reply may be the trouble message. Returns the lines refused.
size_t TalkThrough(const TempMemory& memory,
                   const std::vector<std::string>& lines,
                   std::chrono::seconds limit) {
  int64_t rows = SoundRows(memory.path()).size();
  CliResult chat = RunCli({"--json", "--seed", "11", "--memory", memory.path()},
                          Input(lines), -1, limit);
  EXPECT_EQ(chat.exit_status, 0) << chat.err.substr(0, 2000);

  std::istringstream out(chat.out);
  std::string json;
  size_t number = 0, refused = 0;
  for (; number < lines.size() && std::getline(out, json); ++number) {
    // quibbo-cli reads a line without its LF and a CR before it.
    std::string_view line = lines[number];
    if (line.ends_with('\r')) line.remove_suffix(1);
    const nlohmann::json answer = nlohmann::json::parse(json);
    const std::string at = "line " + std::to_string(number + 1);
    if (!WellFormedUtf8(line)) {
      EXPECT_TRUE(answer["quibbo"].is_null()) << at << " was not refused";
      EXPECT_THAT(chat.err, HasSubstr(at + " is not valid UTF-8"));
      ++refused;
      continue;
    }
    rows += RowsLearnedFrom(line);
    EXPECT_EQ(answer["you"], line) << at;
    EXPECT_TRUE(answer["quibbo"].is_string() &&
                !IsTrouble(answer["quibbo"].get<std::string>()))
        << at << ": " << answer["quibbo"];
  }
  EXPECT_EQ(number, lines.size()) << "lines left unanswered";
  EXPECT_FALSE(std::getline(out, json)) << "more answers than lines";
  EXPECT_EQ(static_cast<int64_t>(SoundRows(memory.path()).size()), rows);
  return refused;
}

TEST(HostileInputTest, EveryHostileLineIsAnsweredAndStoredAsTyped) {
  TempMemory memory;
  memory.Fill({"Something to start with."});
  std::vector<std::string> lines = HostileLines();
  ASSERT_GT(lines.size(), 50u);
  // Nine of the corpus's files are not UTF-8.
  EXPECT_EQ(TalkThrough(memory, lines, std::chrono::seconds(120)), 9u);
  // Quotes and SQL are words like any other, and the table is still there.
  EXPECT_THAT(StoredSentences(SoundRows(memory.path())),
              ::testing::IsSupersetOf({"'); drop table word; --.",
                                       "\" or 1=1 --.", "Next.", "Id."}));
}

TEST(BigInputTest, MegabyteLinesAreLearned) {
  const size_t kMegabyte = 1 << 20;
  auto repeat = [&](const std::string& piece) {
    std::string line;
    while (line.size() + piece.size() <= kMegabyte) line += piece;
    return line;
  };
  std::string distinct;
  for (int i = 0; distinct.size() < kMegabyte - 16; ++i) {
    distinct += "w" + std::to_string(i) + " ";
  }
  for (const std::string& line :
       {std::string(kMegabyte, 'x'), repeat("a "), distinct,
        repeat("ab cd ef gh. "), repeat(". ")}) {
    SCOPED_TRACE(line.substr(0, 20));
    TempMemory memory;
    memory.Fill({"Something to start with."});
    TalkThrough(memory, {line}, std::chrono::seconds(240));
  }
}

// Debian's fortunes mixed with the hostile lines, one in forty.
TEST(BigInputTest, HundredThousandLinesOfFortunesAndHostileLines) {
  // Beside each fortune file lie its index (.dat) and for some a copy
  // converted to UTF-8 (.u8).
  std::vector<std::string> fortunes = LinesIn("/usr/share/games/fortunes");
  if (fortunes.empty()) GTEST_SKIP() << "the fortunes package is missing";
  std::vector<std::string> hostile = HostileLines();
  std::vector<std::string> lines;
  for (size_t i = 0; lines.size() < QUIBBO_MIX_LINES; ++i) {
    lines.push_back(i % 40 == 39 ? hostile[(i / 40) % hostile.size()]
                                 : fortunes[i % fortunes.size()]);
  }
  TempMemory memory;
  memory.Fill({"Something to start with."});
  TalkThrough(memory, lines, std::chrono::seconds(540));
}

}  // namespace
}  // namespace quibbo::testing
