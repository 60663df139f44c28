// quibbo-cli end to end, on temporary memories: the conversation in both
// output forms, the wipe, and the mistakes it refuses.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/child.h"
#include "tests/support/failure.h"
#include "tests/support/temp_memory.h"

namespace quibbo::testing {
namespace {

TEST(CliTest, ChatAnswersEachLineAsTextOrJson) {
  TempMemory memory;
  // Only the line end goes, LF or CRLF; a line not in UTF-8 is refused, and
  // a blank one is not learned.
  const Outcome chat = Cli({"chat", "--json", "--memory", memory.path()},
                           "say \"hi\\\"\r\nbad \xff\n   \n");
  EXPECT_TRUE(chat.out.starts_with(
      "{\"quibbo\":\"Say \\\"hi\\\\\\\".\",\"you\":\"say \\\"hi\\\\\\\"\"}\n"
      "{\"quibbo\":null,\"you\":\"bad \uFFFD\"}\n"))
      << chat.out;
  EXPECT_EQ(memory.Rows().size(), 2u);
  // Bytes not in UTF-8 in the memory still make valid JSON.
  memory.Execute(
      "DELETE FROM word WHERE id > 1; UPDATE word SET next = NULL,"
      "middle = CAST(x'ff' AS TEXT)");
  EXPECT_EQ(Replies(Cli({"--json", "--memory", memory.path()}, ".\n").out),
            std::vector<std::optional<std::string>>{"\uFFFD"});
  // Failures come back as the trouble message.
  const std::string none = memory.folder() + "/none.mdb";
  EXPECT_EQ(
      KindOf(*Replies(Cli({"--json", "--memory", none}, "hi\n").out).at(0)),
      Kind::kMissing);
}

// Only Yes then OK, in any letter case, or --yes, empty the memory.
TEST(CliTest, WipeAsksTwiceAndKeepsByDefault) {
  for (const std::string answers :
       {"", "\n", "n\nok\n", "y\n\n", "yes\ncancel\n", "Y\nOK\n", "--yes"}) {
    TempMemory memory;
    memory.Fill({"Keep this."});
    Strings arguments = {"wipe", "--memory", memory.path()};
    if (answers == "--yes") arguments.push_back(answers);
    EXPECT_EQ(Cli(arguments, answers).status, 0);
    EXPECT_EQ(memory.Rows().empty(), answers == "Y\nOK\n" || answers == "--yes")
        << answers;
  }
}

TEST(CliTest, MistakesAreRefusedAndChangeNothing) {
  TempMemory memory;
  memory.Fill({"Keep this."});
  const std::string none = memory.folder() + "/none", &path = memory.path();
  const std::pair<std::vector<std::string>, int> cases[] = {
      {{"--no-such-option"}, 2},
      {{"learn", "--memory", path}, 2},
      {{"init", "--memory", path}, 1},
      {{"wipe", "--yes", "--memory", none}, 1},
      {{"learn", none, "--memory", path}, 1}};
  for (const auto& [arguments, status] : cases) {
    const Outcome outcome = Cli(arguments);
    EXPECT_TRUE(outcome.status == status && outcome.err != "")
        << arguments.back();
  }
#ifndef __SANITIZE_ADDRESS__  // which cannot run within a memory limit
  // A fault of the program itself, here memory running out on an endless
  // line, ends with status 70.
  const Outcome endless = RunProgram(
      "/bin/sh",
      {"-c", "ulimit -v 200000; exec \"$0\" learn - \"$@\" </dev/zero",
       Program("quibbo-cli"), "--memory", path});
  EXPECT_EQ(endless.status, 70) << endless.err;
#endif
  // Nor does a conversation that is not to be learned.
  EXPECT_EQ(Cli({"--no-learn", "--memory", path}, "new\n").out,
            "Quibbo: Keep this.\n\n");
  EXPECT_EQ(memory.Sentences(), std::vector<std::string>{"Keep this."});
  EXPECT_FALSE(std::filesystem::exists(none));
  EXPECT_EQ(Cli({"init", "--memory", none}).status, 0);
  EXPECT_EQ(Cli({"--memory", none}, "hi\n").out, "Quibbo: Hi.\n\n");
}

}  // namespace
}  // namespace quibbo::testing
