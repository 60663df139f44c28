// quibbo-cli killed with SIGKILL at random moments, in a conversation and in
// a bulk learn: after every kill the memory is sound, every sentence in it
// whole, nothing answered is missing, and the memory still answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>

#include "engine/engine.h"
#include "tests/reliability/support.h"
#include "tests/support/temp_memory.h"

namespace quibbo::testing {
namespace {

struct Crash {
  const char* name;
  bool bulk_learn;  // or a conversation
  int lines;
  int latest_kill_ms;  // after the start
};

void PrintTo(const Crash& crash, std::ostream* out) { *out << crash.name; }

class CrashTest : public ::testing::TestWithParam<Crash> {};

TEST_P(CrashTest, EveryKillLeavesWholeSentencesInOrder) {
  const Crash& crash = GetParam();
  const uint32_t seed = std::random_device()();
  RecordProperty("seed", std::to_string(seed));
  std::mt19937 random(seed);
  for (int kill = 0; kill < 12; ++kill) {
    SCOPED_TRACE("kill " + std::to_string(kill) + ", seed " +
                 std::to_string(seed));
    TempMemory memory;
    const std::vector<std::string> script = Script("k", crash.lines);
    std::vector<std::string> arguments = {"--json", "--memory", memory.path()};
    if (crash.bulk_learn) {
      arguments = {"learn", memory.folder() + "/book.txt", "--memory",
                   memory.path()};
      std::ofstream(arguments[1]) << Input(script);
    }
    Child child(arguments, crash.bulk_learn ? "" : Input(script));
    // While it opens the memory, learns, answers or closes.
    child.Pump(Clock::now() +
               std::chrono::microseconds(std::uniform_int_distribution(
                   0, crash.latest_kill_ms * 1000)(random)));
    child.Kill();
    child.Wait(Clock::now() + std::chrono::seconds(10));

    // Lines are learned in order: every answered line is stored, then the
    // next lines' sentences from the first on, for a conversation only of
    // the line in hand.
    const size_t answered =
        crash.bulk_learn ? 0 : std::ranges::count(child.out(), '\n');
    ASSERT_LT(answered, script.size()) << "killed too late to matter";
    const std::vector<std::string> learned =
        StoredSentences(SoundRows(memory.path()));
    const std::vector<std::string> sentences = SentencesOf(
        {script.begin(),
         crash.bulk_learn ? script.end() : script.begin() + answered + 1});
    EXPECT_GE(learned.size(),
              SentencesOf({script.begin(), script.begin() + answered}).size());
    ASSERT_LE(learned.size(), sentences.size());
    EXPECT_TRUE(std::equal(learned.begin(), learned.end(), sentences.begin()));

    Engine engine(memory.path(), std::make_unique<SeededRandom>(1));
    engine.SetReportErrors(true);
    std::optional<std::string> reply = engine.Respond("are you still there");
    EXPECT_TRUE(reply && !IsTrouble(*reply)) << reply.value_or("no reply");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Kills, CrashTest,
    ::testing::Values(Crash{"Conversation", false, 3000, 150},
                      Crash{"BulkLearn", true, 20000, 250}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace quibbo::testing
