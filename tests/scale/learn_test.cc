// Learning many lines at once, through BulkLearner and `quibbo-cli learn`,
// and what `quibbo-cli stats` tells of a memory.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "engine/bulk_learner.h"
#include "engine/learner.h"
#include "tests/support/child.h"
#include "tests/support/temp_memory.h"

namespace quibbo::testing {
namespace {

TEST(BulkLearnerTest, BatchesAreWholeSentencesAndOnlyCommittedOnesStay) {
  TempMemory memory;
  auto store = memory.Open();
  {
    BulkLearner learner(
        *store,
        {.min_rows = 4, .max_rows = 4, .max_wait = std::chrono::hours(1)});
    learner.Learn("one a. two b");  // exactly one batch
    // One more batch; the rest of the line waits for the next.
    learner.Learn("c d. e f. g h. i");
    EXPECT_EQ(learner.committed().lines, 1);
    EXPECT_EQ(learner.committed().sentences, 4);
    EXPECT_EQ(learner.learned().sentences, 6);
    // Dropped without Commit, as when the program is killed.
  }
  EXPECT_EQ(memory.Sentences(), (Strings{"One a.", "Two b.", "C d.", "E f."}));
  EXPECT_EQ(WordFrequency(*store, "ONE"), 1);
  EXPECT_EQ(WordFrequency(*store, "g"), kUnknownWordCount);
}

// From files and the standard input, in batches, with LF and CRLF line ends
// and lines not in UTF-8: the rows a conversation would store, in order.
TEST(LearnCommandTest, StoresWhatAConversationWouldAndSkipsBadLines) {
  Strings lines;
  std::ifstream pinned(QUIBBO_SCALE_TEST_DIR "/pinned_replies.tsv");
  for (std::string row; std::getline(pinned, row);) {
    lines.push_back(row.substr(0, row.find('\t')));
  }
  TempMemory memory, reference;
  std::string file = "\xff\n", piped = "\xfe\n";
  auto store = reference.Open();
  for (size_t i = 0; i < lines.size(); ++i) {
    (i < 1000 ? file : piped) += lines[i] + (i % 2 ? "\r\n" : "\n");
    if (i == 8) file += "\xc0\xaf\n";
    Learn(*store, lines[i]);
  }
  piped.pop_back();  // the last line may lack its line end
  const std::string a = memory.folder() + "/a.txt", b = memory.folder() + "/b";
  std::ofstream(a, std::ios::binary) << file;
  std::ofstream(b, std::ios::binary) << "";
  const Outcome learn =
      Cli({"learn", a, b, "-", "--memory", memory.path()}, piped);
  EXPECT_EQ(learn.status, 0) << learn.err;
  EXPECT_EQ(learn.err, "");  // no progress bar off a terminal
  EXPECT_EQ(memory.Rows(), reference.Rows());
  EXPECT_TRUE(learn.out.starts_with("Learned 1,500 lines: ")) << learn.out;
  EXPECT_TRUE(learn.out.ends_with("; skipped 3 lines not in UTF-8 (" + a +
                                  ":1, " + a + ":11, standard input:1).\n"))
      << learn.out;
}

TEST(LearnCommandTest, CtrlCEndsAWaitForInputWithStatus130) {
  TempMemory memory;
  std::string input;
  for (int i = 0; i < 300; ++i) input += "the cat sat. on the mat\n";
  // Once all is stored, the program waits for more; Ctrl+C ends the wait.
  Child learn(Program("quibbo-cli"), {"learn", "-", "--memory", memory.path()},
              input, true);
  for (int i = 0; i < 1000 && memory.Rows().size() < 1800; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(memory.Rows().size(), 1800u) << "not stored before the wait";
  learn.Signal(SIGINT);
  EXPECT_EQ(learn.Wait(Clock::now() + std::chrono::seconds(10)), 130);
  EXPECT_TRUE(learn.out().starts_with(
      "Interrupted; learned 300 lines: 600 sentences, 1,800 words stored"))
      << learn.out();
}

TEST(StatsCommandTest, CountsWordsIgnoringCaseAsTextAndJson) {
  TempMemory memory;
  memory.Fill({"The cat sat.", "the CAT ran.", "A cat.", "Straße STRASSE now.",
               "Über über ÜBER the."});
  const std::string path = memory.path();
  const auto counts =
      nlohmann::json::parse(Cli({"stats", "--json", "--memory", path}).out);
  EXPECT_EQ(counts["rows"], 15);
  EXPECT_EQ(counts["sentences"], 5);
  // ß folds to ss; "cat" and "cat." differ, as do "the" and "the.".
  EXPECT_EQ(counts["distinct_words"], 10);
  // Ties in word order, each word spelled as it was first learned.
  std::string top;
  for (const nlohmann::json& word : counts["top_words"]) {
    top += word["word"].get<std::string>() + " " + word["count"].dump() + ",";
  }
  EXPECT_EQ(top,
            "Über 3,cat 2,Straße 2,The 2,A 1,cat. 1,now. 1,ran. 1,sat. 1,"
            "the. 1,");
  EXPECT_EQ(counts["file_bytes"], std::filesystem::file_size(path));
  const std::string text = Cli({"stats", "--memory", path}).out;
  for (const char* shown : {"Rows:            15 ", "Distinct words:  10 ",
                            "Sentences:       5\n", "   1. Über  3\n"}) {
    EXPECT_NE(text.find(shown), std::string::npos) << shown << " in\n" << text;
  }
}

}  // namespace
}  // namespace quibbo::testing
