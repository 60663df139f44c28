// `quibbo-cli stats` end to end, as text and as JSON.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/support/run_program.h"
#include "tests/support/temp_memory.h"

namespace quibbo::testing {
namespace {

using nlohmann::json;

ProgramResult Stats(const std::string& memory, bool as_json) {
  std::vector<std::string> arguments = {"stats", "--memory", memory};
  if (as_json) arguments.push_back("--json");
  return RunProgram(ProgramDir() + "/quibbo-cli", arguments);
}

TEST(StatsCommandTest, CountsWordsIgnoringCaseAndRanksThem) {
  TempMemory memory;
  memory.Fill({"The cat sat.", "the CAT ran.", "A cat.", "Straße STRASSE now.",
               "Über über ÜBER the."});
  ProgramResult result = Stats(memory.path(), true);
  ASSERT_EQ(result.exit_status, 0) << result.err;
  json stats = json::parse(result.out);

  EXPECT_EQ(stats["rows"], 15);
  EXPECT_EQ(stats["sentences"], 5);
  // The, cat, sat., ran., A, cat., Straße (ß folds to ss), now., Über, the.:
  // "cat" and "cat." differ, as do "the" and "the.".
  EXPECT_EQ(stats["distinct_words"], 10);
  const json& top = stats["top_words"];
  ASSERT_EQ(top.size(), 10u);
  EXPECT_EQ(top[0]["count"], 3);  // Über (all three cases)
  EXPECT_EQ(json::string_t(top[0]["word"]).substr(0, 1), "\xc3");
  // Then "cat", "Straße", "The", twice each, in word order, each spelled
  // as it was first learned.
  EXPECT_EQ(top[1]["word"], "cat");
  EXPECT_EQ(top[2]["word"], "Straße");
  EXPECT_EQ(top[3]["count"], 2);
  EXPECT_EQ(top[4]["count"], 1);
  EXPECT_EQ(stats["file_bytes"].get<int64_t>() % 4096, 0);
  EXPECT_GT(stats["bytes_per_row"].get<double>(), 0);
}

TEST(StatsCommandTest, TextForPeopleAndAnEmptyMemory) {
  TempMemory memory;
  ProgramResult empty = Stats(memory.path(), false);
  ASSERT_EQ(empty.exit_status, 0) << empty.err;
  EXPECT_NE(empty.out.find("Rows:            0"), std::string::npos)
      << empty.out;
  EXPECT_EQ(empty.out.find("Most frequent"), std::string::npos);
  json stats = json::parse(Stats(memory.path(), true).out);
  EXPECT_EQ(stats["rows"], 0);
  EXPECT_TRUE(stats["top_words"].empty());

  memory.Fill({"Hello there."});
  ProgramResult filled = Stats(memory.path(), false);
  EXPECT_NE(filled.out.find("Distinct words:  2"), std::string::npos)
      << filled.out;
  EXPECT_NE(filled.out.find("   1. "), std::string::npos);
}

TEST(StatsCommandTest, MissingMemoryIsAnError) {
  TempMemory memory;
  ProgramResult result = Stats(memory.folder() + "/none.mdb", false);
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_NE(result.err.find("does not exist"), std::string::npos);
}

}  // namespace
}  // namespace quibbo::testing
