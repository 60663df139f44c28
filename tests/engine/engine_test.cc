// The engine as programs use it: what it stores and answers, how it reports
// failures, how it follows a memory file that was replaced, the wipe, that
// a reply ends however the draws fall, and that the write-ahead log is
// copied back into the memory off the reply path. Learning: how a line
// becomes sentences, the comparison of words it rests on, and a bulk
// learner beside other programs. What replies say, and which words become
// the seed and the fallback of a reply, is pinned by the seeded
// conversation in tests/scale. The store: the seed search finds the same
// row whichever way it reads the memory, word counts stay exact however
// rows arrive, and a memory edited by hand, as the sqlite3 shell allows, is
// walked as far as its sentences still hold.
#include "quibbo/engine.h"

#include <gmock/gmock.h>
#include <sqlite3.h>

#include <atomic>
#include <map>
#include <set>

#include "engine/language/learner.h"
#include "engine/language/reply.h"
#include "quibbo/learn.h"
#include "quibbo/memory.h"
#include "tests/support/child.h"
#include "tests/support/engine_peer.h"

namespace quibbo::testing {
namespace {

std::unique_ptr<Engine> Open(const std::string& path) {
  return std::make_unique<Engine>(path, std::make_unique<SeededRandom>(1));
}

// A memory deleted while the engine has it open, and a new one made in its
// place: the engine follows the file, and the old memory never leaks into
// the new one. Meanwhile it reports a failure with no text, and makes no
// memory of its own; blank input needs none.
TEST(EngineTest, FollowsAMemoryFileThatWasReplaced) {
  TempMemory memory(Strings(200, "Old words here."));
  Engine engine(memory.path(), std::make_unique<SeededRandom>(1));
  EXPECT_EQ(KindOf(engine.Respond("bad \xff")), Kind::kInvalidText);
  EXPECT_EQ(KindOf(engine.Respond("more old words")), std::nullopt);
  std::filesystem::remove(memory.path());
  const Response lost = engine.Respond("lost words");
  EXPECT_EQ(lost.text, std::nullopt);
  EXPECT_EQ(KindOf(lost), Kind::kMissing);
  EXPECT_EQ(engine.Respond("   ").text, kEmptyInputReply);
  EXPECT_FALSE(std::filesystem::exists(memory.path()));
  CreateMemory(memory.path());
  EXPECT_EQ(Open(memory.path())->Respond("new words").text, "New words.");
  EXPECT_EQ(KindOf(engine.Respond("the engine goes on")), std::nullopt);
  EXPECT_EQ(memory.Sentences(), (Strings{"New words.", "The engine goes on."}));
}

// Nothing half done: a sentence that fails leaves the ones before it and
// nothing of itself, and nothing is deleted with no one to ask, nor by a
// wipe that fails half-way. The questions themselves are tried through
// quibbo-cli and the window.
TEST(EngineTest, AFailureLeavesNothingHalfDone) {
  TempMemory memory({"Keep this."});
  Engine(memory.path()).WipeMemory();
  auto engine = Open(memory.path());
  engine->SetConfirm([](WipeQuestion) { return true; });
  // Quibbo's connections run no triggers of the file's own, only TEMP ones.
  EnginePeer::Memory(*engine).file().connection().Execute(
      "CREATE TEMP TRIGGER refuse BEFORE INSERT ON main.word "
      "WHEN new.middle = 'boom' BEGIN SELECT RAISE(ABORT, 'refused'); END;"
      "CREATE TEMP TRIGGER keep BEFORE DELETE ON word_count "
      "BEGIN SELECT RAISE(ABORT, 'kept'); END;");
  EXPECT_EQ(KindOf(engine->Respond("one two. three boom here. four")),
            Kind::kDamaged);
  EXPECT_EQ(engine->WordFrequency("three"), kUnknownWordCount);
  EXPECT_THROW(engine->WipeMemory(), Error);
  EXPECT_EQ(memory.Sentences(), (Strings{"Keep this.", "One two."}));
  EXPECT_EQ(KindOf(engine->Respond("three")), std::nullopt);
}

// The log never grows without bound, however the copies fall behind: in a
// conversation that idles after each line, as programs do, in one whose
// lines come back to back, and beside a bulk learner in short batches,
// which copies the log for everyone.
TEST(CheckpointTest, TheLogStaysBoundedOverManyCommits) {
  constexpr int kPages = 16;
  constexpr uintmax_t kFrame = 4096 + 24;
  enum How { kIdle, kBusy, kLearn };
  for (const How how : {kIdle, kBusy, kLearn}) {
    TempMemory memory;
    const StoreOptions options = {.checkpoint_pages = kPages};
    Engine engine(memory.path(), std::make_unique<SeededRandom>(1), nullptr,
                  options);
    auto store = Store::Open(memory.path(), Store::Access::kReadWrite, options);
    std::optional<BulkLearner> learner;
    if (how == kLearn)
      learner.emplace(*store, BatchLimits{.min_rows = 20, .max_rows = 20});
    for (int i = 0; i < (learner ? 1000 : 200); ++i) {
      const std::string line = "Line " + std::to_string(i) + " of a talk.";
      if (learner) learner->Learn(line);
      if (learner) continue;
      ASSERT_FALSE(engine.Respond(line).failure);
      if (how == kBusy) continue;
      ASSERT_TRUE(
          WaitUntil([&] { return engine.Idle(); }, std::chrono::seconds(5)))
          << "the background copy never caught up";
    }
    // Without copies the log would hold every page of every commit.
    EXPECT_LT(std::filesystem::file_size(memory.path() + "-wal"),
              (how == kIdle ? 2 : Worker::kLogBound + 4) * kPages * kFrame)
        << how;
  }
}

// Draws the numbers it is given, then 0, or with `then_last` the largest
// the bound allows; records every bound asked for.
struct ScriptedRandom : RandomSource {
  ScriptedRandom(std::vector<uint64_t> draws, bool then_last = false)
      : draws(std::move(draws)), then_last(then_last) {}
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
// the drawn row, memories of just under and just at 200 rows, and draws
// that would go on for ever.
TEST(ReplyTest, ScriptedDrawsGiveTheseRepliesAndGenerationEnds) {
  // The memory, the input, the draws (start row, jitter, then one per
  // step) and the reply.
  const std::tuple<Strings, std::string, std::vector<uint64_t>, std::string>
      kCases[] = {
          // No 'The' after the drawn 'dog.': the start is the last 'The'.
          {{"The cat sat.", "A cat ran."},
           "the cat. big dog",
           {9, 0},
           "The cat."},
          // Below 200 rows the first reply is taken, repetition or not.
          {{Filler(197)}, "hello there", {197, 0}, "Hello there."},
          // From 200 rows a repetition is rejected; the second attempt starts
          // from the fallback 'there.', and here jitters to the filler.
          {{Filler(198)}, "hello there", {198, 0, 1}, Filler(198)},
          // A repetition in another Unicode form is a repetition all the same.
          {{Filler(196), "Café there."},
           "cafe\u0301 there",
           {195, 0, 0, 1},
           Filler(196)},
      };
  for (const auto& [lines, input, draws, reply] : kCases) {
    EXPECT_EQ(Respond(lines, input, {draws}).first.text, reply) << input;
  }
  // Every attempt repeats the input, so each is rejected, up to the bound.
  const auto [reply, bounds] =
      Respond(Strings(100, "Hello there."), "hello there", {{}});
  EXPECT_EQ(reply.text, "Hello there.");
  EXPECT_EQ(std::ranges::count(bounds, 202), kMaxAttempts);
  // Start on the second 'run', then always step to the last candidate:
  // from there that is the same row again, for ever.
  const std::string walk =
      Respond({"Run run run run."}, "zzz", {{1, 0}, true}).first.text.value();
  EXPECT_EQ(std::ranges::count(walk, ' '), kMaxWalkSteps + 1);
  EXPECT_EQ(KindOf(Respond({}, ".", {{}}).first), Kind::kEmpty);
}

// The seed an explanation names and the rule it came by, for draws that
// reach each rule; explaining asks for the same draws, and the reply stays.
TEST(ExplainTest, NamesTheSeedAndItsRuleWithTheSameDraws) {
  // The memory, the input, the draws, then the seed, its rule and whether
  // the start moved to a nearby sentence.
  const std::tuple<Strings, std::string, std::vector<uint64_t>, std::string,
                   SeedRule, bool>
      kCases[] = {
          {{"The cat sat.", "A cat ran."},
           "the cat. big dog",
           {9, 0},
           "The",
           SeedRule::kRarestWord,
           false},
          {{Filler(198)},
           "hello there",
           {198, 0, 1},
           "there.",
           SeedRule::kFallbackWord,
           true},
          // No word known: the drawn row's.
          {{"Hello there."}, "zzz", {1, 0}, "there.", SeedRule::kChance, false},
      };
  for (const auto& [lines, input, draws, seed, rule, moved] : kCases) {
    const auto [plain, plain_bounds] = Respond(lines, input, {draws});
    const auto [explained, bounds] = Respond(lines, input, {draws}, true);
    EXPECT_EQ(bounds, plain_bounds) << input;
    EXPECT_EQ(explained.text, plain.text) << input;
    EXPECT_EQ(plain.explanation, std::nullopt);
    ASSERT_TRUE(explained.explanation) << input;
    EXPECT_EQ(explained.explanation->seed, seed);
    EXPECT_EQ(explained.explanation->rule, rule) << input;
    EXPECT_EQ(explained.explanation->moved, moved) << input;
  }
}

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

// A program that finds the memory held by a bulk learner asks it to make
// way, and gets in at the next sentence boundary, long before the batch would
// end; the learner commits once more than it would have. A conversation does
// not ask: it is answered while the batch goes on, and its lines are stored
// after it, each once, whole and in order. Asking never creates the signal
// file, which lives as long as the learner.
TEST(LearnerTest, BulkLearnerMakesWayForAWaitingProgramAndAnswersATalk) {
  const Strings lines = Script("w", 40);
  const Strings talk = {"talk one. and two", "talk three"};
  int64_t rows = 0;
  for (const std::string& line : lines) rows += RowsLearnedFrom(line);
  for (const bool talking : {false, true}) {
    TempMemory memory;
    auto store = Store::Open(memory.path(), Store::Access::kReadWrite);
    sqlite3* db = store->file().connection().handle();
    struct Seen {
      std::atomic<int> rows = 0;
      int commits = 0;
    } seen;
    sqlite3_commit_hook(
        db, [](void* s) { return ++static_cast<Seen*>(s)->commits, 0; }, &seen);
    // Each row takes a while, so that the batch holds the memory far longer
    // than the other program waits.
    sqlite3_update_hook(
        db,
        [](void* s, int, const char*, const char*, sqlite3_int64) {
          ++static_cast<Seen*>(s)->rows;
          std::this_thread::sleep_for(std::chrono::milliseconds(3));
        },
        &seen);
    {
      BulkLearner learner(*store, {.min_rows = 100000, .check_rows = 10});
      Engine engine(memory.path(), std::make_unique<SeededRandom>(1));
      std::thread other([&] {
        while (seen.rows < 20) std::this_thread::yield();
        if (!talking) {
          auto mine =
              Store::Open(memory.path(), Store::Access::kReadWrite,
                          {.busy_timeout = std::chrono::milliseconds(300)});
          EXPECT_NO_THROW(Learn(*mine, "the other program.")) << "in vain";
        }
        for (const std::string& line : talking ? talk : Strings()) {
          EXPECT_FALSE(engine.Respond(line).failure);
          EXPECT_LT(seen.rows, rows) << "answered only after the batch";
        }
      });
      for (const std::string& line : lines) learner.Learn(line);
      learner.Commit();
      EXPECT_EQ(learner.committed().lines, 40);
      other.join();
    }  // the engine stores what the talk said, then the learner ends
    EXPECT_EQ(seen.commits, talking ? 1 : 2);
    const Strings said =
        talking ? SentencesOf(talk) : Strings{"The other program."};
    const Strings stored = memory.Sentences();
    Strings learned, others;
    for (const std::string& sentence : stored) {
      (std::ranges::count(said, sentence) ? others : learned)
          .push_back(sentence);
    }
    EXPECT_EQ(learned, SentencesOf(lines));
    EXPECT_EQ(others, said);
    if (talking) {  // after the batch
      EXPECT_EQ(Strings(stored.end() - 3, stored.end()), said);
    }
    AskToMakeWay(memory.path());
    EXPECT_FALSE(std::filesystem::exists(WaitSignalPath(memory.path())));
  }
}

// Both searches that read rows near an id rather than an index find the row
// reading every row would: the seed search for common words, and the move
// to the same position in a neighbouring sentence, with rows pending too.
TEST(StoreTest, SearchesNearAnIdFindWhatReadingEveryRowFinds) {
  // Words from very common to rare, in mixed letter case, sentences of 2 to
  // 5 words and now and then of up to 24, and ids with gaps: sentences
  // forgotten, first rows deleted.
  const Strings words = {"the", "The", "cat", "CAT", "sat", "mat", "zebra"};
  TempMemory memory;
  SeededRandom random(7);
  auto store = Store::Open(memory.path(), Store::Access::kReadWrite);
  for (int i = 0; i < 400; ++i) {
    if (i == 340) {
      store.reset();  // Forget empties the log, which must be free for it
      memory.Execute("DELETE FROM word WHERE id % 5 = 1 AND position = 0;");
      Forget(memory.path(), {"zebra"});
      store = Store::Open(memory.path(), Store::Access::kReadWrite);
    }
    std::string line;
    for (int w = 0; w < (i % 5 ? 2 + i % 4 : 1 + i * 7 % 24); ++w)
      line += words[random.Below(1 + i % 7)] + " ";
    Store::Transaction transaction(*store,
                                   i < 340 ? Store::Transaction::Kind::kWrite
                                           : Store::Transaction::Kind::kLater);
    Learn(*store, transaction, line);
    transaction.Commit();
  }
  std::vector<WordRecord> rows = memory.Rows();
  for (const PendingRow& pending : store->PendingRows()) {
    rows.push_back(pending.record);
    rows.back().id = rows[rows.size() - 2].id + 1;
  }
  for (int i = 0; i < 300; ++i) {
    const std::string& word = words[random.Below(words.size())];
    const auto id = static_cast<int64_t>(random.Below(rows.back().id + 10));
    const int64_t position = static_cast<int64_t>(random.Below(26));
    std::optional<int64_t> next_with_word, previous_at, next_at;
    for (const WordRecord& row : rows) {
      if (row.id > id && !next_with_word &&
          CompareIgnoringCase(row.middle, word) == 0) {
        next_with_word = row.id;
      }
      if (row.position == position) {
        if (row.id < id) previous_at = row.id;
        if (row.id > id && !next_at) next_at = row.id;
      }
    }
    EXPECT_EQ(store->walk().NextIdWithWord(word, id), next_with_word)
        << word << " " << id;
    EXPECT_EQ(
        store->walk().NearestIdAtPosition(position, id, Direction::kBackward),
        previous_at)
        << position << " " << id;
    EXPECT_EQ(
        store->walk().NearestIdAtPosition(position, id, Direction::kForward),
        next_at)
        << position << " " << id;
  }
}

// A drawn row is one of the rows, each as likely, however far apart their
// ids lie: when most ids of the range name no row, the draw falls back on
// counting rows.
TEST(StoreTest, DrawsOnlyRowsThatExist) {
  for (const int64_t stride : {1, 3, 50}) {
    TempMemory memory({"One two three four."});
    memory.Execute("UPDATE word SET id = id * " + std::to_string(stride) +
                   " + 1000;");
    auto store = Store::Open(memory.path(), Store::Access::kReadOnly);
    SeededRandom random(stride);
    std::map<int64_t, int> drawn;
    for (int i = 0; i < 400; ++i)
      ++drawn[store->walk().DrawId(
          [&](uint64_t n) { return random.Below(n); })];
    ASSERT_EQ(drawn.size(), 4u) << stride;
    for (const auto& [id, times] : drawn) {
      EXPECT_EQ((id - 1000) % stride, 0);
      EXPECT_GT(times, 60) << stride;
    }
  }
}

// Counts asked for word by word while a transaction appends, as choosing
// the rarest word of a line does, between transactions in which another
// program stores rows.
TEST(StoreTest, CountWordFollowsEveryAppendAndOtherPrograms) {
  TempMemory memory;
  auto mine = Store::Open(memory.path(), Store::Access::kReadWrite);
  auto other = Store::Open(memory.path(), Store::Access::kReadWrite);
  SeededRandom random(3);
  const Strings words = {"b", "B", "c"};
  int64_t b = 0, c = 0;
  for (int round = 0; round < 20; ++round) {
    Store::Transaction reading(*mine, Store::Transaction::Kind::kRead);
    ASSERT_EQ(mine->CountWord("b"), b);
    reading.Commit();
    Learn(*other, "b C d");
    ++b, ++c;
    Store::Transaction transaction(*mine, Store::Transaction::Kind::kWrite);
    for (int i = 0; i < 6; ++i) {
      ASSERT_EQ(mine->CountWord("B"), b) << round << " " << i;
      ASSERT_EQ(mine->CountWord("c"), c) << round << " " << i;
      const std::string& word = words[random.Below(words.size())];
      mine->Append({.previous = {}, .middle = word, .next = {}, .position = i});
      ++(word == "c" ? c : b);
    }
    transaction.Commit();
  }
  EXPECT_EQ(other->CountWord("b"), b);
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
      // Rows gone from the middle of sentences: every word pair they held
      // is held elsewhere too, so walks step around them.
      {"DELETE FROM word WHERE id % 17 = 3;", false},
      // Words that no row before or after them leads to any more.
      {"UPDATE word SET middle = 'dog' WHERE id % 13 = 2;", true}};
  Strings sentences;
  for (int i = 0; i < 60; ++i) {
    sentences.push_back("The cat " + std::to_string(i % 7) + " sat on the " +
                        std::to_string(i % 5) + " mat.");
  }
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
