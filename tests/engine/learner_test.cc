#include "engine/learner.h"

#include <gtest/gtest.h>

#include "engine/error.h"
#include "tests/support/temp_memory.h"

namespace quibbo {
namespace {

using testing::TempMemory;
using Strings = std::vector<std::string>;

WordRecord Record(int64_t id, std::optional<std::string> previous,
                  std::string middle, std::optional<std::string> next,
                  int64_t position) {
  return {id, std::move(previous), std::move(middle), std::move(next),
          position};
}

TEST(CutSentencesTest, NormalisesEachPieceBetweenFullStops) {
  EXPECT_EQ(CutSentences("hello there"), Strings{"Hello there."});
  EXPECT_EQ(CutSentences("hello."), (Strings{"Hello.", ""}));
  EXPECT_EQ(CutSentences("a. . b"), (Strings{"A.", "", "B."}));
  EXPECT_EQ(CutSentences("how are you?"), Strings{"How are you?."});
  EXPECT_EQ(CutSentences("3.5 apples"), (Strings{"3.", "5 apples."}));
  EXPECT_EQ(CutSentences("."), (Strings{"", ""}));
  EXPECT_EQ(CutSentences(". ."), (Strings{"", "", ""}));
  EXPECT_EQ(CutSentences("  hello   world  "), Strings{"Hello   world."});
  // Tabs and line breaks are neither trimmed nor separators.
  EXPECT_EQ(CutSentences("a\nb"), Strings{"A\nb."});
  EXPECT_EQ(CutSentences("\r\n"), Strings{"\r\n."});
  EXPECT_EQ(CutSentences("über alles"), Strings{"Über alles."});
}

TEST(SentenceRecordsTest, NeighboursAndPositions) {
  EXPECT_EQ(
      SentenceRecords("Hello there."),
      (std::vector<WordRecord>{Record(0, std::nullopt, "Hello", "there.", 0),
                               Record(0, "Hello", "there.", std::nullopt, 1)}));
  EXPECT_EQ(SentenceRecords("Hello."),
            (std::vector<WordRecord>{
                Record(0, std::nullopt, "Hello.", std::nullopt, 0)}));
  // Two spaces in a row make an empty word, stored like any other.
  EXPECT_EQ(SentenceRecords("Hello   world."),
            (std::vector<WordRecord>{
                Record(0, std::nullopt, "Hello", "", 0),
                Record(0, "Hello", "", "", 1), Record(0, "", "", "world.", 2),
                Record(0, "", "world.", std::nullopt, 3)}));
}

class LearnTest : public ::testing::Test {
 protected:
  std::unique_ptr<Store> Open() {
    return Store::Open(memory_.path(), Store::Access::kReadWrite);
  }
  TempMemory memory_;
};

TEST_F(LearnTest, StoresEachSentenceInReadingOrder) {
  auto store = Open();
  Intake intake = Learn(*store, "a. . b");
  EXPECT_EQ(intake.sentences, (Strings{"A.", "", "B."}));
  EXPECT_EQ(memory_.Rows(),
            (std::vector<WordRecord>{
                Record(1, std::nullopt, "A.", std::nullopt, 0),
                Record(2, std::nullopt, "B.", std::nullopt, 0)}));

  Learn(*store, "3.5 apples");
  EXPECT_EQ(memory_.Rows().size(), 5u);
}

TEST_F(LearnTest, NothingToStoreLeavesSeedAndFallbackUnset) {
  auto store = Open();
  for (const char* line : {".", ". .", "   .  "}) {
    Intake intake = Learn(*store, line);
    EXPECT_FALSE(intake.seed_word) << line;
    EXPECT_FALSE(intake.fallback_word) << line;
  }
  EXPECT_TRUE(memory_.Rows().empty());
}

TEST_F(LearnTest, WordFrequencyIgnoresCaseAndCountsEmptyWords) {
  auto store = Open();
  EXPECT_EQ(WordFrequency(*store, "the"), kUnknownWordCount);
  EXPECT_EQ(WordFrequency(*store, ""), kUnknownWordCount);
  Learn(*store, "the cat");
  Learn(*store, "I saw the dog");
  EXPECT_EQ(WordFrequency(*store, "the"), 2);
  EXPECT_EQ(WordFrequency(*store, "THE"), 2);
  EXPECT_EQ(WordFrequency(*store, "cat."), 1);
  EXPECT_EQ(WordFrequency(*store, "cat"), kUnknownWordCount);
  Learn(*store, "a  b");
  EXPECT_EQ(WordFrequency(*store, ""), 1);
  Learn(*store, "Über alles");
  EXPECT_EQ(WordFrequency(*store, "über"), 1);
}

TEST_F(LearnTest, SeedIsTheRarestKnownWord) {
  memory_.Fill({"Cat cat cat cat sat sat end."});
  auto store = Open();
  // 'cat' is held four times ('Cat' among them) and 'sat' twice.
  EXPECT_EQ(Learn(*store, "the cat sat down").seed_word, "sat");
}

TEST_F(LearnTest, SeedTieGoesToTheLaterWord) {
  memory_.Fill({"Cat cat sat sat end."});
  auto store = Open();
  EXPECT_EQ(Learn(*store, "the cat sat down").seed_word, "sat");
}

TEST_F(LearnTest, SeedCanBeAWordRepeatedWithinTheInput) {
  auto store = Open();
  Intake intake = Learn(*store, "we like it and they like it");
  EXPECT_EQ(intake.seed_word, "like");
  EXPECT_EQ(Learn(*store, "zebra quagga").seed_word, std::nullopt);
}

TEST_F(LearnTest, SeedComparesCommonWordsExactly) {
  // Counts past the first counting limit must still compare exactly.
  std::string many_a, many_b;
  for (int i = 0; i < 600; ++i) many_a += " a";
  for (int i = 0; i < 599; ++i) many_b += " b";
  memory_.Fill({"X" + many_a + many_b + " end."});
  auto store = Open();
  // 'a' is held 600 times, 'b' 599 times; the last words are new.
  EXPECT_EQ(Learn(*store, "b a one").seed_word, "B");
  // Now both are held 600 times: 'a' is taken first and stored once more,
  // then 'b' is fewer by one.
  EXPECT_EQ(Learn(*store, "a b two").seed_word, "b");
  EXPECT_EQ(Learn(*store, "x a b three").seed_word, "X");
}

TEST_F(LearnTest, StoredEmptyWordsCompeteWithAnUnsetSeed) {
  memory_.Fill({"A  b."});  // one empty word
  auto store = Open();
  // 'b' is held once, as many times as the empty word: not fewer.
  EXPECT_EQ(Learn(*store, "b").seed_word, std::nullopt);
}

TEST_F(LearnTest, FallbackIsTheLongestWordInCharacters) {
  auto store = Open();
  // A tie keeps the earlier word.
  EXPECT_EQ(Learn(*store, "été abcd wxy").fallback_word, "abcd");
  // 'Ééé' is longer in bytes, 'abcd.' in characters.
  EXPECT_EQ(Learn(*store, "ééé abcd").fallback_word, "abcd.");
}

TEST_F(LearnTest, AFailedSentenceIsStoredNotAtAll) {
  auto store = Open();
  store->file().connection().Execute(
      "CREATE TEMP TRIGGER refuse BEFORE INSERT ON word "
      "WHEN new.middle = 'boom' "
      "BEGIN SELECT RAISE(ABORT, 'simulated failure'); END;");
  EXPECT_THROW(Learn(*store, "first one. second boom here. third"), Error);
  EXPECT_EQ(memory_.Rows(), (std::vector<WordRecord>{
                                Record(1, std::nullopt, "First", "one.", 0),
                                Record(2, "First", "one.", std::nullopt, 1)}));
}

}  // namespace
}  // namespace quibbo
