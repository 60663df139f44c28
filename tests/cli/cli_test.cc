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
  TempMemory first, memory;
  EXPECT_EQ(Cli({"--memory", first.path()}, "hello there\n   \n").out,
            std::string("Quibbo: Hello there.\n\nQuibbo: ") + kEmptyInputReply +
                "\n\n");
  // Only the line end goes, LF or CRLF; a line not in UTF-8 is refused.
  const Outcome chat = Cli({"chat", "--json", "--memory", memory.path()},
                           "say \"hi\\\"\r\nbad \xff\ntab\t \n");
  EXPECT_TRUE(chat.out.starts_with(
      "{\"quibbo\":\"Say \\\"hi\\\\\\\".\",\"you\":\"say \\\"hi\\\\\\\"\"}\n"
      "{\"quibbo\":null,\"you\":\"bad \uFFFD\"}\n"))
      << chat.out;
  EXPECT_TRUE(chat.out.ends_with(",\"you\":\"tab\\t \"}\n")) << chat.out;
  EXPECT_NE(chat.err.find("line 2 "), std::string::npos) << chat.err;
  EXPECT_EQ(memory.Rows().size(), 3u);
  // Bytes not in UTF-8 in the memory still make valid JSON.
  memory.Execute(
      "DELETE FROM word;"
      "INSERT INTO word VALUES (1, NULL, CAST(x'ff' AS TEXT), NULL, 0);");
  EXPECT_EQ(Replies(Cli({"--json", "--memory", memory.path()}, ".\n").out),
            std::vector<std::optional<std::string>>{"\uFFFD"});
  // Failures come back as the trouble message, which names the file.
  const std::string none = memory.folder() + "/none.mdb";
  const auto replies = Replies(Cli({"--json", "--memory", none}, "hi\n").out);
  EXPECT_EQ(KindOf(replies.at(0).value()), Kind::kMissing);
  EXPECT_NE(replies[0]->find(none), std::string::npos);
}

// Only Yes then OK, in any letter case, or --yes, empty the memory.
TEST(CliTest, WipeAsksTwiceAndKeepsByDefault) {
  const std::pair<const char*, bool> cases[] = {{"", false},
                                                {"\n", false},
                                                {"n\nok\n", false},
                                                {"y\n\n", false},
                                                {"yes\ncancel\n", false},
                                                {"Y\nOK\n", true},
                                                {nullptr, true}};  // --yes
  for (const auto& [answers, wiped] : cases) {
    TempMemory memory;
    memory.Fill({"Keep this."});
    std::vector<std::string> arguments = {"wipe", "--memory", memory.path()};
    if (answers == nullptr) arguments.push_back("--yes");
    EXPECT_EQ(Cli(arguments, answers ? answers : "").status, 0);
    EXPECT_EQ(memory.Rows().empty(), wiped) << (answers ? answers : "--yes");
  }
}

TEST(CliTest, MistakesAreRefusedAndChangeNothing) {
  TempMemory memory;
  memory.Fill({"Keep this."});
  const std::string none = memory.folder() + "/none", &path = memory.path();
  const std::pair<std::vector<std::string>, int> cases[] = {
      {{"--no-such-option"}, 2},
      {{"chat", "--seed", "many"}, 2},
      {{"learn", "--memory", path}, 2},
      {{"init", "--memory", path}, 1},
      {{"wipe", "--yes", "--memory", none}, 1},
      {{"stats", "--memory", none}, 1},
      {{"learn", path, "--memory", none}, 1},
      {{"learn", memory.folder(), "--memory", path}, 1},
      {{"learn", none, "--memory", path}, 1}};
  for (const auto& [arguments, status] : cases) {
    const Outcome outcome = Cli(arguments);
    EXPECT_EQ(outcome.status, status) << arguments.back();
    EXPECT_NE(outcome.err, "") << arguments.back();
  }
  EXPECT_EQ(memory.Sentences(), std::vector<std::string>{"Keep this."});
  EXPECT_FALSE(std::filesystem::exists(none));
  EXPECT_EQ(Cli({"init", "--memory", none}).status, 0);
  EXPECT_EQ(Cli({"--memory", none}, "hi\n").out, "Quibbo: Hi.\n\n");
}

}  // namespace
}  // namespace quibbo::testing
