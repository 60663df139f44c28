#include "engine/reply.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "engine/engine.h"
#include "tests/support/scripted_random.h"
#include "tests/support/temp_memory.h"

namespace quibbo {
namespace {

using testing::ScriptedRandom;
using testing::TempMemory;

// A one-sentence filler of `words` distinct words, none used by the tests'
// inputs.
std::string Filler(int words) {
  std::string sentence = "W0";
  for (int i = 1; i < words; ++i) sentence += " w" + std::to_string(i);
  return sentence + ".";
}

class ReplyTest : public ::testing::Test {
 protected:
  // Answers `line` with the scripted `draws`, logging every bound asked for.
  std::optional<std::string> Respond(const std::string& line,
                                     std::deque<uint64_t> draws) {
    log_ = {};
    Engine engine(memory_.path(),
                  std::make_unique<ScriptedRandom>(std::move(draws), &log_));
    engine.SetReportErrors(true);
    return engine.Respond(line);
  }

  TempMemory memory_;
  ScriptedRandom::Log log_;
};

TEST_F(ReplyTest, FirstExchangeRepeatsTheInputWhateverIsDrawn) {
  for (uint64_t row : {0, 1}) {
    for (uint64_t shift : {0, 1, 2, 3}) {
      TempMemory memory;
      Engine engine(memory.path(), std::make_unique<ScriptedRandom>(
                                       std::deque<uint64_t>{row, shift}));
      EXPECT_EQ(engine.Respond("hello there"), "Hello there.");
    }
  }
  EXPECT_EQ(Respond("hello", {0, 0}), "Hello.");
}

TEST_F(ReplyTest, SeedSearchAndJitterPickTheStart) {
  memory_.Fill({"The cat sat.", "A cat ran."});
  // Whatever row is drawn, the search for the seed 'The' ends on the
  // input's own 'The'; only a jitter to the earlier sentence at position 0
  // leads elsewhere.
  for (uint64_t row = 0; row < 10; ++row) {
    for (uint64_t shift : {0, 1, 2, 3}) {
      TempMemory memory;
      memory.Fill({"The cat sat.", "A cat ran."});
      Engine engine(memory.path(), std::make_unique<ScriptedRandom>(
                                       std::deque<uint64_t>{row, shift}));
      EXPECT_EQ(engine.Respond("the cat is here"),
                shift == 1 ? "A cat ran." : "The cat is here.")
          << "row " << row << ", shift " << shift;
    }
  }
}

TEST_F(ReplyTest, JitterOddsAreOneInFourOverManyRuns) {
  memory_.Fill({"The cat sat.", "A cat ran."});
  auto store = Store::Open(memory_.path(), Store::Access::kReadWrite);
  Intake intake = Learn(*store, "the cat is here");
  SeededRandom random(20261206);
  const int runs = 4000;
  int other = 0;
  for (int i = 0; i < runs; ++i) {
    std::string reply = ComposeReply(*store, random, intake);
    if (reply == "A cat ran.") {
      ++other;
    } else {
      ASSERT_EQ(reply, "The cat is here.");
    }
  }
  EXPECT_NEAR(other / double(runs), 0.25, 0.03);
}

TEST_F(ReplyTest, WalksBranchWhereAWordPairWasStoredTwice) {
  // 'cat sat' stands in both sentences, so a walk through it may go on as
  // either did. The input 'zzz' is new, so the drawn row is the start.
  const std::vector<std::string> memory = {"The cat sat on the mat.",
                                           "A cat sat by the door."};
  struct Case {
    std::deque<uint64_t> draws;
    const char* reply;
  } cases[] = {
      // Start on 'The' (row 1): the forward step from 'cat' branches.
      {{0, 0, 0}, "The cat sat on the mat."},
      {{0, 0, 1}, "The cat sat by the door."},
      // Start on the second 'sat' (row 9): the backward step branches.
      {{8, 0, 0}, "The cat sat by the door."},
      {{8, 0, 1}, "A cat sat by the door."},
  };
  for (Case& c : cases) {
    TempMemory fresh;
    fresh.Fill(memory);
    ScriptedRandom::Log log;
    Engine engine(fresh.path(),
                  std::make_unique<ScriptedRandom>(c.draws, &log));
    EXPECT_EQ(engine.Respond("zzz"), c.reply);
    // Start, jitter, then one draw per step that looks up candidates.
    EXPECT_EQ(log.bounds[0], 13u);
    EXPECT_EQ(log.bounds[1], 4u);
    EXPECT_EQ(log.bounds[2], 2u);
  }
}

TEST_F(ReplyTest, SmallMemoryAcceptsARepetition) {
  memory_.Fill({Filler(197)});
  // 199 rows with the input: one jittered attempt, accepted.
  EXPECT_EQ(Respond("hello there", {197, 0}), "Hello there.");
  EXPECT_EQ(log_.bounds, (std::vector<uint64_t>{199, 4}));
}

TEST_F(ReplyTest, LargeMemoryRejectsARepetitionAndRetriesFromFallback) {
  memory_.Fill({Filler(198)});
  // 200 rows: the first attempt is not jittered and repeats the input; the
  // second searches for the fallback 'there.' and jitters to the filler.
  std::optional<std::string> reply = Respond("hello there", {198, 0, 1});
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->rfind("W0 w1 w2", 0), 0u) << *reply;
  EXPECT_EQ(log_.bounds[0], 200u);
  EXPECT_EQ(log_.bounds[1], 200u);
  EXPECT_EQ(log_.bounds[2], 4u);
}

TEST_F(ReplyTest, InputEndingInAFullStopMayBeRepeated) {
  memory_.Fill({Filler(198)});
  EXPECT_EQ(Respond("hello there.", {198}), "Hello there.");
  EXPECT_EQ(std::count(log_.bounds.begin(), log_.bounds.end(), 200u), 1);
}

TEST_F(ReplyTest, AttemptsAreBoundedWhenEveryReplyRepeats) {
  std::vector<std::string> same(100, "Hello there.");
  memory_.Fill(same);
  EXPECT_EQ(Respond("hello there", {}), "Hello there.");
  EXPECT_EQ(std::count(log_.bounds.begin(), log_.bounds.end(), 202u),
            kMaxAttempts);
}

// Draws through a function, for walks that need the same choice repeated.
class FunctionRandom : public RandomSource {
 public:
  explicit FunctionRandom(std::function<uint64_t(uint64_t)> draw)
      : draw_(std::move(draw)) {}
  uint64_t Below(uint64_t bound) override { return draw_(bound); }

 private:
  std::function<uint64_t(uint64_t)> draw_;
};

TEST_F(ReplyTest, WalksAreBoundedOnRepeatedWords) {
  memory_.Fill({"Run run run run."});
  // Start on the second 'run', then always step to the last candidate:
  // from there that is the same row again, for ever.
  int draws = 0;
  Engine engine(memory_.path(),
                std::make_unique<FunctionRandom>([&](uint64_t bound) {
                  return draws++ == 0 ? 1 : bound - 1;
                }));
  std::optional<std::string> reply = engine.Respond("zzz");
  ASSERT_TRUE(reply);
  EXPECT_EQ(std::count(reply->begin(), reply->end(), ' '), kMaxWalkSteps + 1);
}

TEST_F(ReplyTest, EmptyMemoryHasNothingToSay) {
  std::optional<std::string> reply = Respond(".", {});
  ASSERT_TRUE(reply);
  EXPECT_NE(reply->find("nothing to reply with"), std::string::npos);
}

}  // namespace
}  // namespace quibbo
