// Learning many lines at once, through BulkLearner and `quibbo-cli learn`,
// and `quibbo-cli stats`.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "engine/bulk_learner.h"
#include "engine/error.h"
#include "engine/learner.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_memory.h"

namespace quibbo::testing {
namespace {

using nlohmann::json;
using Strings = std::vector<std::string>;

// Empty sentences and words, numbers, and letters whose case foldings meet.
const Strings kOddLines = {
    "hello there",  "a. . b",     "  two  spaces  ",   ".", "",
    "how are you?", "3.5 apples", "über alles. Straße"};

std::string Cli() { return ProgramDir() + "/quibbo-cli"; }

Strings Middles(const std::vector<WordRecord>& rows) {
  Strings words;
  for (const WordRecord& row : rows) words.push_back(row.middle);
  return words;
}

// The rows a conversation stores for `lines`, said one after another.
std::vector<WordRecord> RowsOf(const Strings& lines) {
  TempMemory reference;
  auto store = Store::Open(reference.path(), Store::Access::kReadWrite);
  for (const std::string& line : lines) Learn(*store, line);
  return reference.Rows();
}

// Batches of exactly `rows` rows, or the line's end, whichever comes first.
BatchLimits RowsPerBatch(int64_t rows) {
  return {
      .min_rows = rows, .max_rows = rows, .max_wait = std::chrono::hours(1)};
}

class MemoryTest : public ::testing::Test {
 protected:
  std::unique_ptr<Store> Open(StoreOptions options = {}) {
    return Store::Open(memory_.path(), Store::Access::kReadWrite, options);
  }
  std::string WriteFile(const std::string& name, const std::string& text) {
    std::string path = memory_.folder() + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  TempMemory memory_;
};
class BulkLearnerTest : public MemoryTest {};
class LearnCommandTest : public MemoryTest {};
class StatsCommandTest : public MemoryTest {};

TEST_F(BulkLearnerTest, StoresTheRowsAConversationWouldInTheSameOrder) {
  auto store = Open();
  BulkLearner learner(*store, RowsPerBatch(2));
  for (const std::string& line : kOddLines) learner.Learn(line);
  learner.Commit();

  EXPECT_EQ(memory_.Rows(), RowsOf(kOddLines));
  EXPECT_EQ(learner.committed().lines, 8);
  EXPECT_EQ(learner.committed().sentences, 9);
  EXPECT_EQ(learner.committed().words,
            static_cast<int64_t>(memory_.Rows().size()));
  // The words were counted as Respond counts them.
  EXPECT_EQ(WordFrequency(*store, "HELLO"), 1);
  EXPECT_EQ(WordFrequency(*store, "strasse."), 1);
  EXPECT_EQ(WordFrequency(*store, ""), 1);  // from "two  spaces"
}

TEST_F(BulkLearnerTest, BatchesAreWholeSentencesAndUncommittedOnesAreDropped) {
  auto store = Open();
  {
    BulkLearner learner(*store, RowsPerBatch(4));
    learner.Learn("one a. two b");  // exactly one batch
    EXPECT_EQ(learner.committed().lines, 1);
    // One more batch; the rest of the line waits for the next.
    learner.Learn("c d. e f. g h. i");
    EXPECT_EQ(learner.committed().lines, 1);
    EXPECT_EQ(learner.committed().sentences, 4);
    EXPECT_EQ(learner.learned().sentences, 6);
    // Destroyed without Commit, as when the program is killed.
  }
  EXPECT_EQ(Middles(memory_.Rows()),
            (Strings{"One", "a.", "Two", "b.", "C", "d.", "E", "f."}));
  EXPECT_EQ(WordFrequency(*store, "g"), kUnknownWordCount);
}

TEST_F(BulkLearnerTest, WaitingSentencesAreStoredAndAFailedBatchLeavesNothing) {
  auto store = Open({.busy_timeout = std::chrono::milliseconds(1)});
  BulkLearner learner(
      *store, {.min_rows = 1000, .max_wait = std::chrono::milliseconds(0)});
  learner.Learn("kept");  // stored at once, having waited long enough
  EXPECT_EQ(Middles(memory_.Rows()), Strings{"Kept."});
  // Another program holds the write lock, so the next batch cannot begin.
  auto other = Open();
  Store::Transaction lock(*other, Store::Transaction::Kind::kWrite);
  EXPECT_THROW(learner.Learn("lost here"), Error);
  lock.Commit();
  EXPECT_EQ(learner.committed().lines, 1);
  EXPECT_EQ(learner.learned().lines, 1);
  EXPECT_EQ(Middles(memory_.Rows()), Strings{"Kept."});
  EXPECT_EQ(WordFrequency(*store, "lost"), kUnknownWordCount);
}

TEST_F(LearnCommandTest, ReadsFilesAndStandardInputAndSkipsBadLines) {
  // Enough for several batches; Unix and Windows line ends; lines not in
  // UTF-8 in the file and on standard input.
  Strings lines;
  std::string file = "\xff\n", piped = "\xff\n";
  for (int i = 0; i < 150; ++i) {
    for (const std::string& line : kOddLines) {
      lines.push_back(line);
      (i < 100 ? file : piped) += line + (i % 2 ? "\r\n" : "\n");
    }
    if (i == 0) file += "\xfe\n";
  }
  piped.pop_back();  // the last line may lack its line end
  const std::string a = WriteFile("a.txt", file);
  const std::string empty = WriteFile("b.txt", "");
  ProgramResult result = RunProgram(
      Cli(), {"learn", a, empty, "-", "--memory", memory_.path()}, piped);

  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(result.err, "");  // no progress bar off a terminal
  EXPECT_EQ(memory_.Rows(), RowsOf(lines));
  EXPECT_TRUE(result.out.starts_with("Learned 1,200 lines: ")) << result.out;
  EXPECT_TRUE(result.out.ends_with("; skipped 3 lines not in UTF-8 (" + a +
                                   ":1, " + a + ":10, standard input:1).\n"))
      << result.out;
}

TEST_F(LearnCommandTest, CtrlCStopsAfterTheBatchWithStatus130) {
  // Through exec the shell's pid becomes the program's.
  FILE* input =
      popen(("cd '" + memory_.folder() + "' && echo $$ >pid && exec '" + Cli() +
             "' learn - --memory qvd.mdb >said")
                .c_str(),
            "w");
  ASSERT_NE(input, nullptr);
  for (int i = 0; i < 300; ++i) std::fputs("the cat sat. on the mat\n", input);
  std::fflush(input);
  // The input stays open, so once it has all been stored the program waits
  // for more; Ctrl+C must end that wait.
  pid_t pid = 0;
  for (int i = 0; i < 1000 && memory_.Rows().size() < 300 * 6; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::ifstream(memory_.folder() + "/pid") >> pid;
  ASSERT_GT(pid, 0);
  kill(pid, SIGINT);
  int status = 0;
  waitpid(pid, &status, 0);
  pclose(input);

  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << status;
  EXPECT_EQ(memory_.Rows().size(), 300u * 6);
  std::string said;
  std::getline(std::ifstream(memory_.folder() + "/said"), said);
  EXPECT_TRUE(said.starts_with(
      "Interrupted; learned 300 lines: 600 sentences, 1,800 words stored"))
      << said;
}

TEST_F(LearnCommandTest, MissingFilesAndMemoriesAreRefusedBeforeLearning) {
  const std::string good = WriteFile("good.txt", "hello there\n");
  const std::string none = memory_.folder() + "/none";
  const std::vector<std::pair<Strings, std::string>> refused = {
      {{"learn", good, none + ".txt", "--memory", memory_.path()}, "none.txt"},
      {{"learn", good, "--memory", none + ".mdb"}, "does not exist"},
      {{"stats", "--memory", none + ".mdb"}, "does not exist"}};
  for (const auto& [arguments, error] : refused) {
    ProgramResult result = RunProgram(Cli(), arguments);
    EXPECT_EQ(result.exit_status, 1) << arguments[0];
    EXPECT_NE(result.err.find(error), std::string::npos) << result.err;
  }
  EXPECT_TRUE(memory_.Rows().empty());
  // No files at all is a mistake in the command.
  EXPECT_EQ(
      RunProgram(Cli(), {"learn", "--memory", memory_.path()}).exit_status, 2);
}

TEST_F(StatsCommandTest, CountsWordsIgnoringCaseAsTextAndJson) {
  auto stats = [this](bool as_json) {
    Strings arguments = {"stats", "--memory", memory_.path()};
    if (as_json) arguments.push_back("--json");
    return RunProgram(Cli(), arguments).out;
  };
  const std::string empty = stats(false);
  EXPECT_NE(empty.find("Rows:            0 "), std::string::npos) << empty;
  EXPECT_EQ(empty.find("Most frequent"), std::string::npos);

  memory_.Fill({"The cat sat.", "the CAT ran.", "A cat.", "Straße STRASSE now.",
                "Über über ÜBER the."});
  const json counts = json::parse(stats(true));
  EXPECT_EQ(counts["rows"], 15);
  EXPECT_EQ(counts["sentences"], 5);
  // ß folds to ss; "cat" and "cat." differ, as do "the" and "the.".
  EXPECT_EQ(counts["distinct_words"], 10);
  // Ties in word order, each word spelled as it was first learned.
  std::string top;
  for (const json& word : counts["top_words"]) {
    top += word["word"].get<std::string>() + " " + word["count"].dump() + ",";
  }
  EXPECT_EQ(top,
            "Über 3,cat 2,Straße 2,The 2,A 1,cat. 1,now. 1,ran. 1,sat. 1,"
            "the. 1,");
  const int64_t bytes = counts["file_bytes"];
  EXPECT_EQ(bytes, std::filesystem::file_size(memory_.path()));
  EXPECT_DOUBLE_EQ(counts["bytes_per_row"].get<double>(), bytes / 15.0);

  const std::string text = stats(false);
  for (const char* shown :
       {"Rows:            15 ", "Distinct words:  10 ", "Sentences:       5\n",
        " bytes per row)\n", "   1. Über  3\n", "  10. the.  1\n"}) {
    EXPECT_NE(text.find(shown), std::string::npos) << shown << " in\n" << text;
  }
}

}  // namespace
}  // namespace quibbo::testing
