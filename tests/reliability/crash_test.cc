// quibbo-cli killed with SIGKILL at random moments, in a conversation and in
// a bulk learn: after every kill the memory is sound, every sentence in it
// is whole, nothing acknowledged is missing, and the memory still answers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <random>

#include "engine/engine.h"
#include "engine/learner.h"
#include "tests/reliability/child_process.h"
#include "tests/reliability/memory_check.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_memory.h"

namespace quibbo {
namespace {

using testing::Child;
using ::testing::IsEmpty;
using testing::IsTrouble;
using testing::MemoryState;
using testing::ReadMemory;
using testing::TempMemory;
using namespace std::chrono_literals;

constexpr int kKills = 12;  // of each kind

std::string Cli() { return testing::ProgramDir() + "/quibbo-cli"; }

// Lines of two or three sentences, each sentence unique to its line.
std::vector<std::string> Script(const std::string& tag, int lines) {
  std::vector<std::string> script;
  for (int i = 0; i < lines; ++i) {
    std::string n = tag + "x" + std::to_string(i);
    script.push_back("line " + n + " begins with words. it " + n +
                     " goes on for a while" +
                     (i % 3 ? ". and " + n + " ends" : ""));
  }
  return script;
}

// The sentences a memory holds beyond the first `skip` rows.
std::vector<std::string> SentencesAfter(const MemoryState& state, size_t skip) {
  return testing::StoredSentences(
      {state.rows.begin() + std::min(skip, state.rows.size()),
       state.rows.end()});
}

// Checks the memory after a kill; returns its rows after one more reply.
size_t CheckAfterKill(const std::string& path) {
  const MemoryState state = ReadMemory(path);
  EXPECT_EQ(state.integrity, "ok");
  EXPECT_THAT(testing::SentenceProblems(state.rows), IsEmpty());
  Engine engine(path, std::make_unique<SeededRandom>(1));
  engine.SetReportErrors(true);
  std::optional<std::string> reply = engine.Respond("are you still there");
  EXPECT_TRUE(reply && !IsTrouble(*reply)) << reply.value_or("(none)");
  return state.rows.size() + 4;
}

class CrashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    seed_ = std::random_device()();
    RecordProperty("seed", std::to_string(seed_));
    random_.seed(seed_);
  }

  // A moment to kill at, from the program's start on: while it opens the
  // memory, learns, answers or closes.
  std::chrono::microseconds KillMoment(int most_ms) {
    std::uniform_int_distribution<int> moment(0, most_ms * 1000);
    return std::chrono::microseconds(moment(random_));
  }

  uint32_t seed_ = 0;
  std::mt19937 random_;
};

TEST_F(CrashTest, KilledConversationKeepsEveryAnsweredLine) {
  TempMemory memory;
  size_t rows = 0;
  for (int kill = 0; kill < kKills; ++kill) {
    SCOPED_TRACE("kill " + std::to_string(kill) + ", seed " +
                 std::to_string(seed_));
    std::vector<std::string> script = Script("c" + std::to_string(kill), 3000);
    Child chat(Cli(), {"--json", "--memory", memory.path()});
    for (const std::string& line : script) chat.Send(line + "\n");
    chat.Pump(Child::Clock::now() + KillMoment(150));
    chat.Kill();
    chat.Wait(Child::Clock::now() + 10s);

    // Answered lines are stored; of the line in hand, its first sentences
    // at most; of later lines, nothing.
    const size_t answered = chat.OutputLines();
    ASSERT_LT(answered, script.size()) << "killed too late to matter";
    std::vector<std::string> expected;
    for (size_t i = 0; i < answered; ++i) {
      for (const std::string& s : CutSentences(script[i])) {
        if (!s.empty()) expected.push_back(s);
      }
    }
    std::vector<std::string> learned =
        SentencesAfter(ReadMemory(memory.path()), rows);
    ASSERT_GE(learned.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), learned.begin()));
    std::vector<std::string> in_hand = CutSentences(script[answered]);
    ASSERT_LE(learned.size() - expected.size(), in_hand.size());
    EXPECT_TRUE(std::equal(learned.begin() + expected.size(), learned.end(),
                           in_hand.begin()));
    rows = CheckAfterKill(memory.path());
  }
}

TEST_F(CrashTest, KilledBulkLearnKeepsWholeSentencesInOrder) {
  for (int kill = 0; kill < kKills; ++kill) {
    SCOPED_TRACE("kill " + std::to_string(kill) + ", seed " +
                 std::to_string(seed_));
    // A memory of its own each time keeps the checks quick.
    TempMemory memory;
    std::vector<std::string> script = Script("b" + std::to_string(kill), 20000);
    const std::string file = memory.folder() + "/book.txt";
    {
      std::ofstream out(file);
      for (const std::string& line : script) out << line << "\n";
    }
    Child learn(Cli(), {"learn", file, "--memory", memory.path()});
    learn.Pump(Child::Clock::now() + KillMoment(250));
    learn.Kill();
    learn.Wait(Child::Clock::now() + 10s);

    // Batches are committed in order, so what is stored is the book's
    // sentences from its first on.
    std::vector<std::string> learned =
        SentencesAfter(ReadMemory(memory.path()), 0);
    std::vector<std::string> sentences;
    for (size_t i = 0; sentences.size() < learned.size() && i < script.size();
         ++i) {
      for (const std::string& s : CutSentences(script[i])) {
        if (!s.empty()) sentences.push_back(s);
      }
    }
    ASSERT_LE(learned.size(), sentences.size());
    EXPECT_TRUE(std::equal(learned.begin(), learned.end(), sentences.begin()));
    CheckAfterKill(memory.path());
  }
}

}  // namespace
}  // namespace quibbo
