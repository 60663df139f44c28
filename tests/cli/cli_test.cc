// End-to-end tests of quibbo-cli: the real program on a temporary memory.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/support/run_program.h"
#include "tests/support/temp_memory.h"

namespace quibbo {
namespace {

using ::testing::HasSubstr;
using testing::ProgramResult;
using testing::TempMemory;

ProgramResult Cli(const std::vector<std::string>& arguments,
                  const std::string& input = "") {
  return testing::RunProgram(testing::ProgramDir() + "/quibbo-cli", arguments,
                             input);
}

std::vector<nlohmann::json> JsonLines(const std::string& out) {
  std::vector<nlohmann::json> objects;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line))
    objects.push_back(nlohmann::json::parse(line));
  return objects;
}

TEST(CliChatTest, AnswersEachLineInTheTranscriptForm) {
  TempMemory memory;
  ProgramResult result = Cli({"--memory", memory.path()}, "hello there\n   \n");
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(result.out,
            "Quibbo: Hello there.\n\nQuibbo: Please say something\n\n");
}

TEST(CliChatTest, JsonGivesOneObjectPerLineAndRefusesBadText) {
  TempMemory memory;
  ProgramResult result = Cli({"chat", "--json", "--memory", memory.path()},
                             "hello there\r\nbad \xff\ntab\t \n");
  EXPECT_EQ(result.exit_status, 0);
  std::vector<nlohmann::json> lines = JsonLines(result.out);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], (nlohmann::json{{"you", "hello there"},
                                      {"quibbo", "Hello there."}}));
  EXPECT_TRUE(lines[1]["quibbo"].is_null());
  // Only the line ending goes: the tab and the space stay.
  EXPECT_EQ(lines[2]["you"], "tab\t ");
  EXPECT_THAT(result.err, HasSubstr("line 2 is not valid UTF-8"));
  EXPECT_EQ(memory.Rows().size(), 3u);
}

TEST(CliChatTest, SameSeedSameReplies) {
  const std::string input =
      "the cat sat on the mat\nthe dog sat on the log\na cat and a dog\n"
      "where is the cat\nthe mat is on the log\n";
  std::string outputs[2];
  for (std::string& out : outputs) {
    TempMemory memory;
    std::vector<std::string> corpus;
    for (int i = 0; i < 60; ++i) {
      corpus.push_back("The cat number " + std::to_string(i % 7) +
                       " sat on the mat.");
    }
    memory.Fill(corpus);
    out = Cli({"--seed", "42", "--memory", memory.path()}, input).out;
  }
  EXPECT_EQ(outputs[0], outputs[1]);
  EXPECT_THAT(outputs[0], ::testing::Not(HasSubstr("trouble")));
}

TEST(CliChatTest, MissingMemoryIsNamedInEveryReply) {
  TempMemory memory;
  const std::string missing = memory.folder() + "/none.mdb";
  ProgramResult result = Cli({"--memory", missing}, "hello\n");
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_THAT(result.out, HasSubstr("I am having trouble"));
  EXPECT_THAT(result.out, HasSubstr(missing + " does not exist"));
  EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST(CliInitTest, CreatesOnceAndRefusesToOverwrite) {
  TempMemory memory;
  const std::string fresh = memory.folder() + "/fresh.mdb";
  EXPECT_EQ(Cli({"init", "--memory", fresh}).exit_status, 0);
  EXPECT_EQ(Cli({"--memory", fresh}, "hi\n").out, "Quibbo: Hi.\n\n");
  ProgramResult again = Cli({"init", "--memory", fresh});
  EXPECT_EQ(again.exit_status, 1);
  EXPECT_THAT(again.err, HasSubstr("already exists"));
  EXPECT_EQ(Cli({"--memory", fresh}, "hi\n").out, "Quibbo: Hi.\n\n");
}

TEST(CliWipeTest, AsksTwiceAndDefaultsToKeeping) {
  TempMemory memory;
  memory.Fill({"Keep this."});
  for (const char* answers : {"", "\n", "n\n", "y\n\n", "y\ncancel\n"}) {
    ProgramResult result = Cli({"wipe", "--memory", memory.path()}, answers);
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_THAT(result.out, HasSubstr("Nothing was deleted."));
    EXPECT_EQ(memory.Rows().size(), 2u) << "answers: " << answers;
  }
  ProgramResult result = Cli({"wipe", "--memory", memory.path()}, "y\nok\n");
  EXPECT_THAT(result.out, HasSubstr("Are you absolutely sure about this?"));
  EXPECT_THAT(result.out, HasSubstr("This data is irrecoverable!"));
  EXPECT_THAT(result.out, HasSubstr("The memory is now empty."));
  EXPECT_TRUE(memory.Rows().empty());
}

TEST(CliWipeTest, YesForScriptsAndClearFailure) {
  TempMemory memory;
  memory.Fill({"Forget this."});
  EXPECT_EQ(Cli({"wipe", "--yes", "--memory", memory.path()}).exit_status, 0);
  EXPECT_TRUE(memory.Rows().empty());
  ProgramResult missing =
      Cli({"wipe", "--yes", "--memory", memory.folder() + "/none.mdb"});
  EXPECT_EQ(missing.exit_status, 1);
  EXPECT_THAT(missing.err, HasSubstr("does not exist"));
}

TEST(CliUsageTest, VersionHelpAndMistakes) {
  EXPECT_EQ(Cli({"--version"}).out, "1.0.4\n");
  ProgramResult help = Cli({"--help"});
  EXPECT_EQ(help.exit_status, 0);
  EXPECT_THAT(help.out, HasSubstr("--memory"));
  ProgramResult wrong = Cli({"--no-such-option"});
  EXPECT_EQ(wrong.exit_status, 2);
  EXPECT_THAT(wrong.err, HasSubstr("--no-such-option"));
  EXPECT_EQ(Cli({"chat", "--seed", "many"}).exit_status, 2);
}

}  // namespace
}  // namespace quibbo
