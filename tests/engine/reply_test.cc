// Replies: what scripted draws give, the seed and rule an explanation names
// for them, that generation ends however the draws fall, and walks over a
// memory edited by hand, as the sqlite3 shell allows, as far as its
// sentences still hold. What replies say, and which words become the seed
// and the fallback of a reply, is pinned by the seeded conversation in
// tests/scale.
#include "engine/language/reply.h"

#include <gmock/gmock.h>

#include <set>

#include "tests/support/child.h"

namespace quibbo::testing {
namespace {

// Draws the numbers it is given ("9 0"), then 0, or with `then_last` the
// largest the bound allows; records every bound asked for.
struct ScriptedRandom : RandomSource {
  ScriptedRandom(const std::string& numbers, bool then_last = false)
      : then_last(then_last) {
    for (const std::string& n : Cut(numbers, ' '))
      if (!n.empty()) draws.push_back(std::stoull(n));
  }
  uint64_t Below(uint64_t bound) override {
    bounds.push_back(bound);
    if (bounds.size() <= draws.size()) return draws[bounds.size() - 1];
    return then_last ? bound - 1 : 0;
  }
  std::vector<uint64_t> draws, bounds;
  bool then_last;
};

// The reply to `input` on a memory that learned `lines`, explained if
// asked, and the bounds the draws were asked for.
std::pair<Response, std::vector<uint64_t>> Respond(const Strings& lines,
                                                   const std::string& input,
                                                   ScriptedRandom random,
                                                   bool explain = false) {
  TempMemory memory(lines);
  auto owned = std::make_unique<ScriptedRandom>(std::move(random));
  const std::vector<uint64_t>& bounds = owned->bounds;
  Engine engine(memory.path(), std::move(owned));
  engine.SetExplaining(explain);
  return {engine.Respond(input), bounds};
}

// One sentence of `words` distinct words, none of them used by the inputs.
std::string Filler(int words) {
  std::string sentence = "W0";
  for (int i = 1; i < words; ++i) sentence += " w" + std::to_string(i);
  return sentence + ".";
}

// What the seeded conversation does not reach: a seed word held only before
// the drawn row, memories of just under and just at 200 rows, a memory that
// holds no word of the input, and draws that would go on for ever.
// Explaining asks for the same draws, and the reply stays.
TEST(ReplyTest, ScriptedDrawsGiveTheseRepliesAndGenerationEnds) {
  // The memory's lines, the input, the draws (start row, jitter, then one
  // per step), the reply, then the seed, its rule and whether the start
  // moved to a nearby sentence.
  using enum SeedRule;
  const std::tuple<std::string, std::string, std::string, std::string,
                   std::string, SeedRule, bool>
      kCases[] = {
          // No 'The' after the drawn 'dog.': the start is the last 'The'.
          {"The cat sat.\nA cat ran.", "the cat. big dog", "9 0", "The cat.",
           "The", kRarestWord, false},
          // Below 200 rows the first reply is taken, repetition or not.
          {Filler(197), "hello there", "197 0", "Hello there.", "Hello",
           kChance, false},
          // From 200 rows a repetition is rejected; the second attempt starts
          // from the fallback 'there.', and here jitters to the filler.
          {Filler(198), "hello there", "198 0 1", Filler(198), "there.",
           kFallbackWord, true},
          // A repetition in another Unicode form is a repetition all the same.
          {Filler(196) + "\nCafé there.", "cafe\u0301 there", "195 0 0 1",
           Filler(196), "there.", kFallbackWord, true},
          // No word known: the seed is the drawn row's word.
          {"Hello there.", "zzz", "1 0", "Hello there.", "there.", kChance,
           false},
      };
  for (const auto& [lines, input, draws, reply, seed, rule, moved] : kCases) {
    const auto [plain, plain_bounds] = Respond(Cut(lines, '\n'), input, draws);
    const auto [explained, bounds] =
        Respond(Cut(lines, '\n'), input, draws, true);
    EXPECT_EQ(plain.text, reply) << input;
    EXPECT_EQ(explained.text, reply) << input;
    EXPECT_EQ(bounds, plain_bounds) << input;
    EXPECT_EQ(plain.explanation, std::nullopt);
    ASSERT_TRUE(explained.explanation) << input;
    EXPECT_EQ(explained.explanation->seed, seed) << input;
    EXPECT_EQ(explained.explanation->rule, rule) << input;
    EXPECT_EQ(explained.explanation->moved, moved) << input;
  }
  // Every attempt repeats the input, so each is rejected, up to the bound.
  const auto [reply, bounds] =
      Respond(Strings(100, "Hello there."), "hello there", {""});
  EXPECT_EQ(reply.text, "Hello there.");
  EXPECT_EQ(std::ranges::count(bounds, 202), kMaxAttempts);
  // Start on the second 'run', then always step to the last candidate:
  // from there that is the same row again, for ever.
  const std::string walk =
      Respond({"Run run run run."}, "zzz", {"1 0", true}).first.text.value();
  EXPECT_EQ(std::ranges::count(walk, ' '), kMaxWalkSteps + 1);
  EXPECT_EQ(KindOf(Respond({}, ".", {""}).first), Kind::kEmpty);
}

// Replies go on after an edit, and when a sentence has lost a word the
// failure says so. No edit may pass for another program changing the file.
TEST(EditedMemoryTest, RepliesOrNamesTheBrokenSentence) {
  const std::pair<std::string, bool> edits[] = {
      // Each edit and whether it breaks. Gaps in the ids, then one-word
      // sentences between the words of others:
      {"UPDATE word SET id = id + 1000000;"
       "UPDATE word SET id = (id - 1000000) * 3;"
       "INSERT INTO word SELECT id + 1, NULL, 'Cat.', NULL, 0 FROM word "
       "WHERE position = 2;",
       false},
      // Words that no row before or after them leads to any more.
      {"UPDATE word SET middle = 'dog' WHERE id % 13 = 2;", true}};
  Strings sentences;
  for (int i = 0; i < 60; ++i)
    sentences.push_back("The cat " + std::to_string(i % 7) + " sat on the " +
                        std::to_string(i % 5) + " mat.");
  for (const auto& [sql, breaks] : edits) {
    TempMemory memory(sentences);
    memory.Execute(sql);
    auto store = Store::Open(memory.path(), Store::Access::kReadWrite);
    SeededRandom random(3);
    int damaged = 0;
    for (int i = 0; i < 300; ++i) {
      const std::string seed = std::to_string(i % 9);
      try {
        // Every word a walk adds is a stored word, and none is empty here.
        const std::string reply = ComposeReply(
            *store, random, {{"The cat " + seed + "."}, seed, "cat"});
        EXPECT_THAT(reply, ::testing::MatchesRegex("[^ ]+( [^ ]+)*"));
      } catch (const Error& error) {
        ASSERT_EQ(error.kind(), Error::Kind::kDamaged) << error.what();
        ++damaged;
      }
    }
    EXPECT_EQ(damaged > 0, breaks) << sql;
  }
}

// After an edit by hand that gives a word pair another row (a changed
// neighbour, an inserted row), a forward step reaches that row as it
// reaches the rows Quibbo wrote. An insertion marks the memory as edited.
// Starting where the edit left a row's next word without a row behind it
// that names it, the walk goes on from the row stored after it.
TEST(EditedMemoryTest, TheForwardStepFollowsTheWordPairs) {
  const std::pair<const char*, int64_t> edits[] = {
      {"UPDATE word SET previous = 'A' WHERE id = 6;", 6},
      {"INSERT INTO word (previous, middle, next, position) "
       "VALUES ('A', 'b', NULL, 1);",
       8}};
  for (const auto& [edit, other] : edits) {
    TempMemory memory({"X A b c.", "Q b d."});
    memory.Execute(edit);
    auto store = Store::Open(memory.path(), Store::Access::kReadWrite);
    auto step = [&](uint64_t pick) {
      const auto choose = [pick](uint64_t n) { return pick % n; };
      return store->walk()
          .Step(Direction::kForward, store->walk().Row(2), choose)
          .id;
    };
    EXPECT_EQ(std::set<int64_t>({step(0), step(1)}),
              (std::set<int64_t>{3, other}))
        << edit;
    SeededRandom random(5);
    for (int i = 0; i < 40; ++i) {
      EXPECT_NO_THROW(ComposeReply(*store, random, {{"Q."}, "Q", "Q"}));
    }
  }
}

}  // namespace
}  // namespace quibbo::testing
