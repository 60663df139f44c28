// Reply generation with every draw scripted: where a reply starts, how it
// walks, when a repetition is rejected, and that it always ends.
#include "engine/reply.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "engine/engine.h"
#include "tests/support/engine_peer.h"
#include "tests/support/failure.h"
#include "tests/support/temp_memory.h"

namespace quibbo::testing {
namespace {

// Returns the draws it is given, then 0, or with `then_last` the largest the
// bound allows, and records every bound asked for.
struct ScriptedRandom : RandomSource {
  ScriptedRandom(std::vector<uint64_t> draws, bool then_last = false)
      : draws(std::move(draws)), then_last(then_last) {}
  uint64_t Below(uint64_t bound) override {
    bounds.push_back(bound);
    const size_t next = bounds.size() - 1;
    if (next >= draws.size()) return then_last ? bound - 1 : 0;
    if (draws[next] >= bound) throw std::range_error("scripted draw too big");
    return draws[next];
  }
  std::vector<uint64_t> draws, bounds;
  bool then_last;
};

// One sentence of `words` distinct words, none of them used by the inputs.
std::string Filler(int words) {
  std::string sentence = "W0";
  for (int i = 1; i < words; ++i) sentence += " w" + std::to_string(i);
  return sentence + ".";
}

// The reply to `input` on a memory that learned `lines`, and the bounds
// the draws were asked for.
std::pair<std::string, std::vector<uint64_t>> Respond(const Strings& lines,
                                                      const std::string& input,
                                                      ScriptedRandom random) {
  TempMemory memory;
  memory.Fill(lines);
  auto owned = std::make_unique<ScriptedRandom>(std::move(random));
  const std::vector<uint64_t>& bounds = owned->bounds;
  Engine engine(memory.path(), std::move(owned));
  engine.SetReportErrors(true);
  return {engine.Respond(input).value_or("(none)"), bounds};
}

TEST(ReplyTest, ScriptedDrawsGiveTheseReplies) {
  const Strings cats = {"The cat sat.", "A cat ran."};
  // 'cat sat' stands in both, so a walk through it may go on as either did.
  const Strings branches = {"The cat sat on the mat.",
                            "A cat sat by the door."};
  const struct {
    Strings memory;
    std::string input;
    std::vector<uint64_t> draws;  // start row, jitter, then one per step
    std::string reply;
    std::vector<uint64_t> bounds;  // the first three asked for
  } cases[] = {
      // The first exchange repeats the input, whatever is drawn.
      {{}, "hello there", {0, 0}, "Hello there.", {2, 4}},
      {{}, "hello there", {1, 1}, "Hello there.", {2, 4, 1}},
      // The seed 'The' leads to the input's own 'The', whichever row is
      // drawn; a jitter of 1 moves to the sentence before, 2 to the one
      // after (there is none), 0 and 3 stay.
      {cats, "the cat is here", {0, 0}, "The cat is here.", {10, 4, 1}},
      {cats, "the cat is here", {9, 3}, "The cat is here.", {10, 4, 1}},
      {cats, "the cat is here", {5, 1}, "A cat ran.", {10, 4, 1}},
      {cats, "the cat is here", {0, 2}, "The cat is here.", {10, 4, 1}},
      // No 'The' after the drawn 'dog.': the search goes on from the first.
      {cats, "the cat. big dog", {9, 0}, "The cat.", {10, 4}},
      // The input 'zzz' is new, so the drawn row is the start. From 'The'
      // the forward step branches; from the second 'sat' the backward one.
      {branches, "zzz", {0, 0, 0}, "The cat sat on the mat.", {13, 4, 2}},
      {branches, "zzz", {0, 0, 1}, "The cat sat by the door.", {13, 4, 2}},
      {branches, "zzz", {8, 0, 0}, "The cat sat by the door.", {13, 4, 2}},
      {branches, "zzz", {8, 0, 1}, "A cat sat by the door.", {13, 4, 2}},
      // Below 200 rows the first reply is taken, repetition or not.
      {{Filler(197)}, "hello there", {197, 0}, "Hello there.", {199, 4}},
      // From 200 rows a repetition is rejected, without a jitter the first
      // time; the second attempt starts from the fallback 'there.', and
      // here jitters to the filler.
      {{Filler(198)}, "hello there", {198, 0, 1}, Filler(198), {200, 200, 4}},
      // The last sentence of this input is the empty one after its stop.
      {{Filler(198)}, "hello there.", {198}, "Hello there.", {200}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input + ", draws from " + std::to_string(c.draws[0]));
    auto [reply, bounds] = Respond(c.memory, c.input, {c.draws});
    EXPECT_EQ(reply, c.reply);
    bounds.resize(std::min<size_t>(bounds.size(), 3));
    EXPECT_EQ(bounds, c.bounds);
  }
}

// The start row is drawn from the rows as they are now: with gaps in the
// ids, after another program wrote, and after a sentence was rolled back.
TEST(ReplyTest, DrawsCoverTheRowsAsTheyAreNow) {
  TempMemory memory;
  memory.Fill({"A b.", "C d.", "E f."});
  memory.Execute("DELETE FROM word WHERE id IN (5, 6);");
  auto random = std::make_unique<ScriptedRandom>(
      std::vector<uint64_t>{2, 0, 6, 0, 0, 8, 0});
  const std::vector<uint64_t>& bounds = random->bounds;
  Engine engine(memory.path(), std::move(random));
  engine.SetReportErrors(true);
  EXPECT_EQ(engine.Respond("zzz"), "C d.");  // the third of 5 rows
  memory.Fill({"G h."});
  // Quibbo's connections run only TEMP triggers.
  testing::EnginePeer::Memory(engine).file().connection().Execute(
      "CREATE TEMP TRIGGER refuse BEFORE INSERT ON main.word "
      "WHEN new.middle = 'boom' BEGIN SELECT RAISE(ABORT, 'refused'); END;");
  EXPECT_EQ(engine.Respond("yyy"), "G h.");  // the seventh of 8
  EXPECT_TRUE(IsTrouble(*engine.Respond("ok boom here")));
  EXPECT_EQ(engine.Respond("xxx"), "Xxx.");  // the ninth of 9
  EXPECT_EQ(bounds, (std::vector<uint64_t>{5, 4, 8, 4, 1, 9, 4}));
}

TEST(ReplyTest, GenerationEndsOnAnyMemory) {
  // Every attempt repeats the input, so each is rejected, up to the bound.
  const auto [reply, bounds] =
      Respond(Strings(100, "Hello there."), "hello there", {{}});
  EXPECT_EQ(reply, "Hello there.");
  EXPECT_EQ(std::ranges::count(bounds, 202), kMaxAttempts);
  // Start on the second 'run', then always step to the last candidate:
  // from there that is the same row again, for ever.
  const std::string walk =
      Respond({"Run run run run."}, "zzz", {{1, 0}, true}).first;
  EXPECT_EQ(std::ranges::count(walk, ' '), kMaxWalkSteps + 1);
  EXPECT_EQ(KindOf(Respond({}, ".", {{}}).first), Kind::kEmpty);
}

}  // namespace
}  // namespace quibbo::testing
