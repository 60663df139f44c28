// Words: how a line becomes sentences, and the comparison of words that
// learning, the counts and the memory's collation rest on.
#include <gmock/gmock.h>

#include "tests/support/child.h"

namespace quibbo::testing {
namespace {

TEST(LearnerTest, CutsAndNormalisesEveryPieceBetweenFullStops) {
  const std::pair<const char*, Strings> cases[] = {
      {"hello.", {"Hello.", ""}},
      {"a. . b", {"A.", "", "B."}},
      {"how are you?", {"How are you?."}},
      {"  hi   you  ", {"Hi   you."}},
      // Tabs and line breaks are neither trimmed nor separators.
      {" \ta\n ", {"\ta\n."}},
      {"über", {"Über."}}};
  for (const auto& [line, sentences] : cases)
    EXPECT_EQ(CutSentences(line), sentences) << line;
}

// Letter case ignored, equal texts compare equal, and the comparison is a
// total order over all words made of two of these pieces, as an SQLite
// collation must be. The cheap ASCII grouping never joins words it holds
// apart.
TEST(LearnerTest, WordsCompareIgnoringCaseInATotalOrder) {
  EXPECT_EQ(CompareIgnoringCase("Über STRASSE дом", "über straße ДОМ"), 0);
  Strings words;
  for (const char* a :
       {"", "a", "B", "ß", "SS", "Ü", "\xff", "z\x80", "e\u0301", "ı"}) {
    for (const char* b :
         {"", "a", "ß", "SS", "ss", "ü", "\xff", "\u0301", "\u0323\u0301", "I"})
      words.push_back(std::string(a) + b);
  }
  for (const std::string& x : words) {
    for (const std::string& y : words) {
      SCOPED_TRACE(x + " " + y);
      const int xy = CompareIgnoringCase(x, y);
      ASSERT_TRUE(!AsciiCaseEqual()(x, y) ||
                  (xy == 0 && AsciiCaseHash()(x) == AsciiCaseHash()(y)));
      ASSERT_EQ((xy < 0), (CompareIgnoringCase(y, x) > 0));
      for (const std::string& z : words) {
        ASSERT_TRUE(xy > 0 || CompareIgnoringCase(y, z) > 0 ||
                    CompareIgnoringCase(x, z) <= 0)
            << z;
      }
    }
  }
}

// Unicode forms: a word compares and hashes as one whether typed composed
// or decomposed, with its marks in any order, and however upper-casing the
// first letter of a sentence changed it; a property over every character
// of the first three planes, alone and followed by a mark that sorts before
// most others.
TEST(UnicodeFormsTest, EveryCharacterIsOneWordInEachOfItsSpellings) {
  for (int32_t c = 0x80; c < 0x30000; ++c) {
    if (utf8proc_category(c) == UTF8PROC_CATEGORY_CN ||
        (c >= 0xD800 && c < 0xE000))
      continue;
    utf8proc_uint8_t bytes[4];
    const std::string word(reinterpret_cast<char*>(bytes),
                           utf8proc_encode_char(c, bytes));
    const std::string marked = word + "\u0323x";
    for (const auto& [one, other] : {std::pair{marked, Form(marked)},
                                     {marked, Form(marked, true)},
                                     {word + "x", UpperFirst(word + "x")}}) {
      ASSERT_EQ(CompareIgnoringCase(one, other), 0) << std::hex << c;
      ASSERT_EQ(CaseBlindHash()(one), CaseBlindHash()(other)) << c;
    }
  }
}

}  // namespace
}  // namespace quibbo::testing
