// A conversation of 1500 made-up lines whose replies are pinned, so that no
// change made for speed can change what Quibbo answers; and memories of the
// first version, from before words were counted in a table of their own.
//
// pinned_replies.tsv holds each line, a tab and the reply it got. The lines
// repeat a small vocabulary in several letter cases, so that words and word
// pairs recur at many positions, as in a large memory.
#include <gtest/gtest.h>

#include <fstream>

#include "engine/engine.h"
#include "tests/support/child.h"
#include "tests/support/temp_memory.h"

namespace quibbo::testing {
namespace {

Strings Pinned() {
  std::ifstream in(QUIBBO_SCALE_TEST_DIR "/pinned_replies.tsv");
  Strings pinned;
  for (std::string row; std::getline(in, row);) pinned.push_back(row);
  return pinned;
}

Strings LinesOf(const Strings& exchanges) {
  Strings lines;
  for (const std::string& row : exchanges) {
    lines.push_back(row.substr(0, row.find('\t')));
  }
  return lines;
}

// Talks `lines` through quibbo-cli seeded with 7; each exchange as the line,
// a tab and the reply.
Strings Converse(const TempMemory& memory, const Strings& lines) {
  const auto replies = Replies(
      Cli({"--json", "--seed", "7", "--memory", memory.path()}, Lines(lines))
          .out);
  Strings exchanges;
  for (size_t i = 0; i < lines.size(); ++i) {
    exchanges.push_back(lines[i] + '\t' + replies.at(i).value_or("(none)"));
  }
  return exchanges;
}

// The recorded replies must never be edited to make this pass.
TEST(PinnedRepliesTest, SeededConversationAnswersAsRecorded) {
  const Strings pinned = Pinned();
  ASSERT_EQ(pinned.size(), 1500u);
  TempMemory memory;
  const Strings actual = Converse(memory, LinesOf(pinned));
  for (size_t i = 0, differences = 0; i < 1500 && differences < 5; ++i) {
    EXPECT_EQ(actual[i], pinned[i]) << "line " << i + 1;
    differences += actual[i] != pinned[i];
  }
}

// What `quibbo-cli stats` tells, but for the file's size and the letter case
// of the words, which old memories keep as they first were.
std::string Counts(const TempMemory& memory) {
  nlohmann::json counts = nlohmann::json::parse(
      Cli({"stats", "--json", "--memory", memory.path()}).out);
  for (nlohmann::json& top : counts["top_words"]) {
    std::string word = top["word"];
    for (char& c : word) c = static_cast<char>(std::tolower(c));
    top["word"] = word;
  }
  return counts["top_words"].dump() + counts["distinct_words"].dump() +
         counts["rows"].dump() + counts["sentences"].dump();
}

// A reader counts an old memory's rows itself and leaves the file as it was;
// the first writer upgrades it, and from then on it answers and counts as a
// memory that was never old.
TEST(StoreUpgradeTest, OldMemoriesAreReadAsTheyAreAndUpgradedOnFirstWrite) {
  const Strings lines = LinesOf(Pinned());
  TempMemory old, untouched;
  old.Fill({lines.begin(), lines.begin() + 300});
  untouched.Fill({lines.begin(), lines.begin() + 300});
  old.Execute(
      "DROP TABLE word_count;"
      "CREATE INDEX word_by_previous ON word (previous, middle, position) "
      "WHERE previous IS NOT NULL;"
      "PRAGMA user_version = 0;");
  const std::string bytes = FileBytes(old.path());
  EXPECT_EQ(Counts(old), Counts(untouched));
  EXPECT_EQ(FileBytes(old.path()), bytes);

  const Strings inputs(lines.begin() + 300, lines.begin() + 340);
  EXPECT_EQ(Converse(old, inputs), Converse(untouched, inputs));
  EXPECT_EQ(old.Rows(), untouched.Rows());
  Engine upgraded(old.path()), never_old(untouched.path());
  for (const char* word : {"the", "THE", "über", "strasse", "", "cat.", "zz"}) {
    EXPECT_EQ(upgraded.WordFrequency(word), never_old.WordFrequency(word));
  }
  EXPECT_EQ(Counts(old), Counts(untouched));
}

}  // namespace
}  // namespace quibbo::testing
