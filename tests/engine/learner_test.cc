// Learning: how a line becomes sentences, and the comparison of words it
// rests on. Which words become the seed and the fallback of a reply
// is pinned by the seeded conversation in tests/scale.
#include "engine/learner.h"

#include <gtest/gtest.h>

#include "engine/text.h"
#include "tests/support/temp_memory.h"

namespace quibbo::testing {
namespace {

TEST(LearnerTest, CutsAndNormalisesEveryPieceBetweenFullStops) {
  const std::pair<const char*, Strings> cases[] = {
      {"hello there", {"Hello there."}},
      {"hello.", {"Hello.", ""}},
      {"a. . b", {"A.", "", "B."}},
      {"how are you?", {"How are you?."}},
      {"  hi   you  ", {"Hi   you."}},
      // Tabs and line breaks are neither trimmed nor separators.
      {" \ta\n ", {"\ta\n."}},
      {"über", {"Über."}}};
  for (const auto& [line, sentences] : cases) {
    EXPECT_EQ(CutSentences(line), sentences) << line;
  }
}

// Letter case ignored, equal texts compare equal, and the comparison is a
// total order over all words made of two of these pieces, as an SQLite
// collation must be.
TEST(LearnerTest, WordsCompareIgnoringCaseInATotalOrder) {
  EXPECT_EQ(CompareIgnoringCase("Über STRASSE дом", "über straße ДОМ"), 0);
  Strings words;
  for (const char* a : {"", "a", "B", "ß", "SS", "Ü", "\xff", "z\x80"}) {
    for (const char* b : {"", "a", "ß", "SS", "ü", "\xff"}) {
      words.push_back(std::string(a) + b);
    }
  }
  for (const std::string& x : words) {
    for (const std::string& y : words) {
      const int xy = CompareIgnoringCase(x, y);
      ASSERT_EQ(xy<0, CompareIgnoringCase(y, x)> 0) << x << " " << y;
      for (const std::string& z : words) {
        ASSERT_TRUE(xy > 0 || CompareIgnoringCase(y, z) > 0 ||
                    CompareIgnoringCase(x, z) <= 0)
            << x << " " << y << " " << z;
      }
    }
  }
}

}  // namespace
}  // namespace quibbo::testing
