#include "engine/text.h"

#include <gtest/gtest.h>

namespace quibbo {
namespace {

TEST(TextTest, TrimSpacesRemovesOnlyTheSpaceCharacter) {
  EXPECT_EQ(TrimSpaces("  a b  "), "a b");
  EXPECT_EQ(TrimSpaces("\ta\n "), "\ta\n");
  EXPECT_EQ(TrimSpaces("    "), "");
  EXPECT_EQ(TrimSpaces(""), "");
}

TEST(TextTest, CutKeepsEveryPiece) {
  EXPECT_EQ(Cut("a. . b", '.'), (std::vector<std::string>{"a", " ", " b"}));
  EXPECT_EQ(Cut("hello.", '.'), (std::vector<std::string>{"hello", ""}));
  EXPECT_EQ(Cut("a  b", ' '), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(Cut("", ' '), (std::vector<std::string>{""}));
}

TEST(TextTest, UpperCasingWorksOnWholeCharacters) {
  EXPECT_EQ(UpperFirst("hello there"), "Hello there");
  EXPECT_EQ(UpperFirst("über"), "Über");
  EXPECT_EQ(UpperFirst("été"), "Été");
  EXPECT_EQ(UpperFirst("дом"), "Дом");
  EXPECT_EQ(UpperFirst("3.5"), "3.5");
  EXPECT_EQ(UpperFirst(""), "");
  EXPECT_EQ(UpperCase("été à l'ouest"), "ÉTÉ À L'OUEST");
  EXPECT_EQ(UpperCase("дом"), "ДОМ");
  // A stray byte is kept as it is rather than mangling its neighbours.
  EXPECT_EQ(UpperCase("a\xff"
                      "b"),
            "A\xff"
            "B");
}

TEST(TextTest, CompareIgnoringCaseIsUnicodeAware) {
  EXPECT_EQ(CompareIgnoringCase("Über", "über"), 0);
  EXPECT_EQ(CompareIgnoringCase("ÉTÉ", "été"), 0);
  EXPECT_EQ(CompareIgnoringCase("Дом", "дом"), 0);
  EXPECT_EQ(CompareIgnoringCase("The", "tHE"), 0);
  EXPECT_EQ(CompareIgnoringCase("STRASSE", "straße"), 0);
  EXPECT_NE(CompareIgnoringCase("the", "then"), 0);
  EXPECT_NE(CompareIgnoringCase("", "a"), 0);
  EXPECT_EQ(CompareIgnoringCase("", ""), 0);
}

TEST(TextTest, CompareIgnoringCaseIsAConsistentOrder) {
  const std::vector<std::string> words = {
      "",     "a", "A",  "ab",   "b",     "Über", "uber",   "ünd",    "дом",
      "Дома", "ß", "ss", "\xff", "z\x80", "Z",    "straße", "strasse"};
  for (const std::string& x : words) {
    for (const std::string& y : words) {
      int xy = CompareIgnoringCase(x, y);
      EXPECT_EQ(xy, -CompareIgnoringCase(y, x)) << x << " / " << y;
      for (const std::string& z : words) {
        if (xy <= 0 && CompareIgnoringCase(y, z) <= 0) {
          EXPECT_LE(CompareIgnoringCase(x, z), 0) << x << y << z;
        }
      }
    }
  }
}

TEST(TextTest, ValidUtf8AndCharacterCounts) {
  EXPECT_TRUE(IsValidUtf8("plain, été, дом, 日本, 🙂"));
  EXPECT_TRUE(IsValidUtf8(std::string("nul\0inside", 10)));
  EXPECT_FALSE(IsValidUtf8("\xff"));
  EXPECT_FALSE(IsValidUtf8("\xc3"));          // cut short
  EXPECT_FALSE(IsValidUtf8("\xc0\xaf"));      // overlong
  EXPECT_FALSE(IsValidUtf8("\xed\xa0\x80"));  // a lone surrogate
  EXPECT_EQ(CharacterCount("été"), 3u);
  EXPECT_EQ(CharacterCount("🙂a"), 2u);
  EXPECT_EQ(CharacterCount(""), 0u);
}

}  // namespace
}  // namespace quibbo
