// `quibbo-cli learn` end to end: what it stores, what it skips, what it says.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "engine/learner.h"
#include "tests/scale/pinned_conversation.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_memory.h"

extern char** environ;

namespace quibbo::testing {
namespace {

std::string Cli() { return ProgramDir() + "/quibbo-cli"; }

class LearnCommandTest : public ::testing::Test {
 protected:
  std::string WriteFile(const std::string& name, const std::string& text) {
    std::string path = memory_.folder() + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  // The rows Respond would store for `lines`, said one after another.
  std::vector<WordRecord> LearnedOneByOne(
      const std::vector<std::string>& lines) {
    TempMemory reference;
    auto store = Store::Open(reference.path(), Store::Access::kReadWrite);
    for (const std::string& line : lines) Learn(*store, line);
    return reference.Rows();
  }

  TempMemory memory_;
};

TEST_F(LearnCommandTest, StoresWhatTheConversationWouldInOrder) {
  std::vector<std::string> lines = ConversationLines(400, 99);
  std::string first, second;
  for (size_t i = 0; i < lines.size(); ++i) {
    // Unix and Windows line ends; the last line of a file may lack one.
    std::string& file = i < 200 ? first : second;
    file += lines[i] + (i % 3 == 0 ? "\r\n" : "\n");
  }
  second.pop_back();
  std::string a = WriteFile("a.txt", first);
  std::string b = WriteFile("b.txt", "");
  ProgramResult result = RunProgram(
      Cli(), {"learn", a, b, "-", "--memory", memory_.path()}, second);

  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(result.err, "");  // no progress bar off a terminal
  EXPECT_EQ(memory_.Rows(), LearnedOneByOne(lines));
  EXPECT_NE(result.out.find("Learned 400 lines: "), std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find(" words stored in "), std::string::npos);
}

TEST_F(LearnCommandTest, SkipsLinesThatAreNotUtf8AndSaysWhere) {
  std::string text = "good one\n";
  for (int i = 2; i <= 8; ++i) text += i % 2 == 0 ? "bad \xff\n" : "fine\n";
  std::string path = WriteFile("mixed.txt", text);
  ProgramResult result =
      RunProgram(Cli(), {"learn", path, "--memory", memory_.path()});

  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(memory_.Rows(),
            LearnedOneByOne({"good one", "fine", "fine", "fine"}));
  EXPECT_NE(result.out.find("Learned 4 lines: 4 sentences, 5 words stored"),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("skipped 4 lines not in UTF-8 (" + path + ":2, " +
                            path + ":4, " + path + ":6, " + path + ":8)"),
            std::string::npos)
      << result.out;
}

TEST_F(LearnCommandTest, RefusesMissingFilesAndMemoriesBeforeLearning) {
  std::string good = WriteFile("good.txt", "hello there\n");
  ProgramResult missing_file =
      RunProgram(Cli(), {"learn", good, memory_.folder() + "/none.txt",
                         "--memory", memory_.path()});
  EXPECT_EQ(missing_file.exit_status, 1);
  EXPECT_NE(missing_file.err.find("none.txt"), std::string::npos);
  EXPECT_TRUE(memory_.Rows().empty());

  ProgramResult missing_memory = RunProgram(
      Cli(), {"learn", good, "--memory", memory_.folder() + "/none.mdb"});
  EXPECT_EQ(missing_memory.exit_status, 1);
  EXPECT_NE(missing_memory.err.find("does not exist"), std::string::npos);

  ProgramResult no_files =
      RunProgram(Cli(), {"learn", "--memory", memory_.path()});
  EXPECT_EQ(no_files.exit_status, 2);
}

// Ctrl+C while the program waits for more input: what was read is kept,
// as whole sentences, and the summary says it was interrupted.
TEST_F(LearnCommandTest, CtrlCKeepsWhatWasLearnedAndEndsWith130) {
  int in[2], out[2];
  ASSERT_EQ(pipe2(in, O_CLOEXEC), 0);
  ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  std::string program = Cli();
  std::vector<std::string> arguments = {program, "learn", "-", "--memory",
                                        memory_.path()};
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  pid_t pid;
  ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(),
                        environ),
            0);
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);

  std::string lines;
  for (int i = 0; i < 300; ++i) lines += "the cat sat. on the mat\n";
  ASSERT_EQ(write(in[1], lines.data(), lines.size()),
            static_cast<ssize_t>(lines.size()));
  // The input stays open: the program has read it all and waits for more.
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (memory_.Rows().size() < 300 * 6 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid, SIGINT);
  std::string said;
  char buffer[4096];
  for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) {
    said.append(buffer, n);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  close(in[1]);
  close(out[0]);

  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
  EXPECT_EQ(memory_.Rows().size(), 300u * 6);
  EXPECT_NE(said.find("Interrupted; learned 300 lines: 600 sentences, 1,800 "
                      "words stored"),
            std::string::npos)
      << said;
}

}  // namespace
}  // namespace quibbo::testing
