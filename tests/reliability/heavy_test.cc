// The slow runs, on large inputs, labelled "heavy": quibbo-cli killed at
// random moments, two programs on one memory at once, and huge lines. After
// each, the memory is sound, every sentence in it whole and in the order it
// was said, and nothing answered is missing.
#include <signal.h>

#include <fstream>
#include <random>

#include "tests/support/child.h"

namespace quibbo::testing {
namespace {

// quibbo-cli learning `script` from a file, or talking it through.
Child Start(const TempMemory& memory, bool learn, const Strings& script) {
  if (learn) std::ofstream(memory.folder() + "/book") << Lines(script);
  return Child(Program("quibbo-cli"),
               Words(learn ? "learn @/book" : "chat --json", memory),
               learn ? "" : Lines(script));
}

// Kills while the program opens the memory, learns, answers or closes, at
// moments drawn from a seed that every failure names; QUIBBO_TEST_SEED set
// to it replays them.
TEST(HeavyTest, EveryKillLeavesWholeSentencesInOrder) {
  const char* chosen = std::getenv("QUIBBO_TEST_SEED");
  const uint32_t seed =
      chosen ? std::strtoul(chosen, nullptr, 10) : std::random_device()();
  std::mt19937 random(seed);
  for (int kill = 0; kill < 24; ++kill) {
    SCOPED_TRACE("kill " + std::to_string(kill) +
                 "; replay with QUIBBO_TEST_SEED=" + std::to_string(seed));
    const bool learn = kill % 2;  // a bulk learn, or a conversation
    const Strings script = Script("k", learn ? 20000 : 3000);
    TempMemory memory;
    Child child = Start(memory, learn, script);
    std::this_thread::sleep_for(std::chrono::microseconds(
        std::uniform_int_distribution(0, learn ? 250000 : 150000)(random)));
    child.Signal(SIGKILL);
    child.Wait(std::chrono::seconds(10));
    // Every answered line is stored, then the next lines' sentences from the
    // first on: in a conversation only of the line in hand.
    const size_t answered = learn ? 0 : std::ranges::count(child.out(), '\n');
    ASSERT_LT(answered, script.size()) << "killed too late to matter";
    const Strings stored = memory.Sentences();
    const Strings said = SentencesOf(
        {script.begin(), learn ? script.end() : script.begin() + answered + 1});
    EXPECT_GE(stored.size(),
              SentencesOf({script.begin(), script.begin() + answered}).size());
    ASSERT_LE(stored.size(), said.size());
    EXPECT_TRUE(std::equal(stored.begin(), stored.end(), said.begin()));
    TalkThrough(memory, {"hi"}, std::chrono::seconds(60));
  }
}

// Both finish without an error that waiting briefly would have avoided.
TEST(HeavyTest, TwoProgramsOnOneMemoryStoreEverySentenceOnce) {
  for (const bool learn : {true, false}) {  // beside a conversation
    TempMemory memory({"Something to start with."});
    const Strings scripts[] = {Script("1x", learn ? 40000 : 400),
                               Script("2x", 400)};
    Child first = Start(memory, learn, scripts[0]);
    Child second = Start(memory, false, scripts[1]);
    EXPECT_EQ(first.Wait(std::chrono::minutes(3)), 0) << first.err();
    EXPECT_EQ(second.Wait(std::chrono::minutes(3)), 0) << second.err();
    const std::string out = (learn ? "" : first.out()) + second.out();
    EXPECT_EQ(Failures(out), Kinds(Replies(out).size())) << out;
    // Each program's sentences are there once, whole, in the order said.
    const Strings stored = memory.Sentences(4);
    for (const char* tag : {"1x", "2x"}) {
      Strings mine;
      std::ranges::copy_if(stored, std::back_inserter(mine), [&](auto& s) {
        return s.find(tag) != std::string::npos;
      });
      EXPECT_EQ(mine, SentencesOf(scripts[*tag == '2']));
    }
    EXPECT_EQ(stored.size(),
              SentencesOf(scripts[0]).size() + SentencesOf(scripts[1]).size());
  }
}

// Lines of a megabyte, checked as the hostile lines are. Large memories
// are bench/'s, on Debian's fortunes.
TEST(HeavyTest, MegabyteLinesAreAnsweredAndStoredAsTyped) {
  for (const std::string piece : {"x", "a ", "ab cd. ", ". "}) {
    SCOPED_TRACE(piece);
    std::string line;
    while (line.size() + piece.size() <= (1 << 20)) line += piece;
    TempMemory memory({"Something to start with."});
    TalkThrough(memory, {line}, std::chrono::seconds(1000));
  }
}

}  // namespace
}  // namespace quibbo::testing
