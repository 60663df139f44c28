#include "engine/engine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "engine/learner.h"
#include "tests/support/engine_peer.h"
#include "tests/support/scripted_random.h"
#include "tests/support/temp_memory.h"

namespace quibbo {
namespace {

using ::testing::HasSubstr;
using testing::ScriptedRandom;
using testing::TempMemory;

std::unique_ptr<RandomSource> Zeros() {
  return std::make_unique<ScriptedRandom>(std::deque<uint64_t>{});
}

TEST(EngineTest, BlankInputAsksForSomethingWithoutOpeningTheMemory) {
  Engine engine("/nonexistent/qvd.mdb", Zeros());
  EXPECT_EQ(engine.Respond(""), "Please say something");
  EXPECT_EQ(engine.Respond("     "), "Please say something");
  EXPECT_FALSE(std::filesystem::exists("/nonexistent/qvd.mdb"));
}

TEST(EngineTest, FirstExchangeStoresTheSentenceAndRepeatsIt) {
  TempMemory memory;
  Engine engine(memory.path(), Zeros());
  EXPECT_EQ(engine.Respond("hello there"), "Hello there.");
  std::vector<WordRecord> rows = memory.Rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (WordRecord{1, std::nullopt, "Hello", "there.", 0}));
  EXPECT_EQ(rows[1], (WordRecord{2, "Hello", "there.", std::nullopt, 1}));
}

TEST(EngineTest, TroubleMessageWrapsTheDescription) {
  EXPECT_EQ(TroubleMessage("Broken."),
            "I am having trouble with your last sentence.\n\nBroken.\n\n"
            "Could you please click on the Help/Email Quibbo Creator menu "
            "option and paste this message into the Email. This will help "
            "future versions of Quibbo become more stable.\nYou should be "
            "able to continue using Quibbo. If you cant, please select the "
            "File/Wipe Quibbos Memory menu option.");
}

TEST(EngineTest, FailuresAreReportedOnlyWhenAskedFor) {
  Engine engine("/nonexistent/qvd.mdb", Zeros());
  EXPECT_EQ(engine.Respond("hello"), std::nullopt);
  engine.SetReportErrors(true);
  EXPECT_EQ(engine.Respond("hello"),
            TroubleMessage("The memory file /nonexistent/qvd.mdb does not "
                           "exist."));
  EXPECT_FALSE(std::filesystem::exists("/nonexistent"));
}

TEST(EngineTest, QuotesAndColumnNamesAreOrdinaryWords) {
  TempMemory memory;
  Engine engine(memory.path(), Zeros());
  engine.SetReportErrors(true);
  const std::vector<std::string> lines = {
      "\"next\" id middle position", "say \"hi\" or 1=1 --",
      "'); DROP TABLE word; --", "previous next next id"};
  for (const std::string& line : lines) {
    std::optional<std::string> reply = engine.Respond(line);
    ASSERT_TRUE(reply);
    EXPECT_THAT(*reply, ::testing::Not(HasSubstr("trouble"))) << line;
  }
  EXPECT_EQ(engine.WordFrequency("\"next\""), 1);
  EXPECT_EQ(engine.WordFrequency("next"), 2);
  EXPECT_EQ(engine.WordFrequency("id"), 1);
  EXPECT_EQ(engine.WordFrequency("id."), 1);
  EXPECT_EQ(engine.WordFrequency("word;"), 1);
  EXPECT_EQ(memory.Rows().size(), 4u + 5u + 5u + 4u);
}

TEST(EngineTest, InvalidTextIsRefusedAndNotStored) {
  TempMemory memory;
  Engine engine(memory.path(), Zeros());
  engine.SetReportErrors(true);
  EXPECT_THAT(*engine.Respond("bad \xff byte"), HasSubstr("not valid UTF-8"));
  EXPECT_TRUE(memory.Rows().empty());
}

TEST(EngineTest, FailureKeepsEarlierSentencesAndReportsTheCause) {
  TempMemory memory;
  Engine engine(memory.path(), Zeros());
  engine.SetReportErrors(true);
  testing::EnginePeer::Memory(engine).file().connection().Execute(
      "CREATE TEMP TRIGGER refuse BEFORE INSERT ON word "
      "WHEN new.middle = 'boom' "
      "BEGIN SELECT RAISE(ABORT, 'simulated failure'); END;");
  std::optional<std::string> reply = engine.Respond("one two. three boom here");
  ASSERT_TRUE(reply);
  EXPECT_THAT(*reply, HasSubstr("\n\nThe memory file " + memory.path()));
  EXPECT_THAT(*reply, HasSubstr("simulated failure"));
  EXPECT_EQ(memory.Rows().size(), 2u);
  // Nothing half-stored is left to trip later replies.
  EXPECT_THAT(*engine.Respond("three"), ::testing::Not(HasSubstr("trouble")));
  EXPECT_EQ(memory.Rows().size(), 3u);
}

TEST(EngineTest, ReopensWhenTheMemoryFileIsReplaced) {
  TempMemory memory;
  Engine engine(memory.path(), Zeros());
  engine.SetReportErrors(true);
  engine.Respond("first memory");
  std::filesystem::remove(memory.path());
  EXPECT_THAT(*engine.Respond("lost words"), HasSubstr("does not exist"));
  MemoryFile::Create(memory.path());
  EXPECT_EQ(engine.Respond("second memory"), "Second memory.");
  EXPECT_EQ(memory.Rows().size(), 2u);
}

class WipeTest : public ::testing::Test {
 protected:
  // Answers the questions in turn with `answers`, recording each title.
  void Wipe(std::vector<bool> answers) {
    asked_.clear();
    engine_.SetConfirm([this, answers](const WipeQuestion& question) {
      asked_.push_back(question.title);
      return answers.at(asked_.size() - 1);
    });
    engine_.WipeMemory();
  }

  TempMemory memory_;
  Engine engine_{memory_.path(), Zeros()};
  std::vector<std::string> asked_;
};

TEST_F(WipeTest, DeletesOnlyAfterYesThenOk) {
  engine_.Respond("remember this");
  Wipe({false});
  EXPECT_EQ(asked_, std::vector<std::string>{"Delete All Data!"});
  Wipe({true, false});
  EXPECT_EQ(asked_, (std::vector<std::string>{"Delete All Data!",
                                              "Proceed with delete?"}));
  EXPECT_EQ(memory_.Rows().size(), 2u);

  Wipe({true, true});
  EXPECT_TRUE(memory_.Rows().empty());
  EXPECT_EQ(engine_.WordFrequency("remember"), kUnknownWordCount);
  EXPECT_EQ(engine_.Respond("fresh start"), "Fresh start.");
  EXPECT_EQ(memory_.Rows().size(), 2u);
}

TEST_F(WipeTest, QuestionsCarryTheirButtonsAndIcon) {
  EXPECT_EQ(kWipeFirstQuestion.text,
            std::string("Are you absolutely sure about this?"));
  EXPECT_EQ(kWipeFirstQuestion.buttons, WipeQuestion::Buttons::kYesNo);
  EXPECT_TRUE(kWipeFirstQuestion.stop_icon);
  EXPECT_EQ(kWipeSecondQuestion.text,
            std::string("This data is irrecoverable!"));
  EXPECT_EQ(kWipeSecondQuestion.buttons, WipeQuestion::Buttons::kOkCancel);
  EXPECT_FALSE(kWipeSecondQuestion.stop_icon);
}

TEST_F(WipeTest, WithoutAnyoneToAskNothingIsDeleted) {
  engine_.Respond("remember this");
  engine_.SetConfirm(nullptr);
  engine_.WipeMemory();
  EXPECT_EQ(memory_.Rows().size(), 2u);
}

TEST(WipeMissingTest, AsksBothQuestionsThenFailsClearly) {
  Engine engine("/nonexistent/qvd.mdb", Zeros());
  int asked = 0;
  engine.SetConfirm([&](const WipeQuestion&) { return ++asked > 0; });
  try {
    engine.WipeMemory();
    FAIL() << "wipe of a missing memory succeeded";
  } catch (const Error& error) {
    EXPECT_THAT(error.description(), HasSubstr("/nonexistent/qvd.mdb"));
  }
  EXPECT_EQ(asked, 2);
}

}  // namespace
}  // namespace quibbo
