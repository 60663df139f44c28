// The seed search finds the same row whichever way it reads the memory, word
// counts stay exact however rows arrive, and a memory edited by hand, as the
// sqlite3 shell allows, is walked as far as its sentences still hold.
#include <map>
#include <set>

#include "engine/forget.h"
#include "engine/learner.h"
#include "engine/pending_rows.h"
#include "engine/reply.h"
#include "tests/support/child.h"

namespace quibbo::testing {
namespace {

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
  auto pending = std::make_shared<PendingRows>();
  for (int i = 0; i < 400; ++i) {
    if (i == 340) {
      memory.Execute("DELETE FROM word WHERE id % 5 = 1 AND position = 0;");
      Forget(memory.path(), {"zebra"});
      store = Store::Open(memory.path(), Store::Access::kReadWrite);
      store->SetPending(pending);
    }
    std::string line;
    for (int w = 0; w < (i % 5 ? 2 + i % 4 : 1 + i * 7 % 24); ++w)
      line += words[random.Below(1 + i % 7)] + " ";
    Learn(*store, line, i >= 340);
  }
  std::vector<WordRecord> rows = memory.Rows();
  for (WordRecord row : pending->rows()) {
    row.id = rows.back().id + 1;
    rows.push_back(row);
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
    EXPECT_EQ(store->NextIdWithWord(word, id), next_with_word)
        << word << " " << id;
    EXPECT_EQ(store->NearestIdAtPosition(position, id, Direction::kBackward),
              previous_at)
        << position << " " << id;
    EXPECT_EQ(store->NearestIdAtPosition(position, id, Direction::kForward),
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
      ++drawn[store->DrawId([&](uint64_t n) { return random.Below(n); })];
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
        EXPECT_TRUE(!reply.empty() && reply.find("  ") == std::string::npos &&
                    reply.front() != ' ' && reply.back() != ' ')
            << reply;
      } catch (const Error& error) {
        ASSERT_EQ(error.kind(), Error::Kind::kDamaged) << error.what();
        ++damaged;
      }
    }
    EXPECT_EQ(damaged > 0, breaks) << sql;
  }
}

// After an edit that gives a row another word before it, a forward step
// reaches it as it reaches the rows Quibbo wrote: it holds the word pair.
// Starting where the edit left a row's next word without a row behind it
// that names it, the walk goes on from the row stored after it.
TEST(EditedMemoryTest, TheForwardStepFollowsTheWordPairs) {
  TempMemory memory({"X A b c.", "Q b d."});
  memory.Execute("UPDATE word SET previous = 'A' WHERE id = 6;");
  auto store = Store::Open(memory.path(), Store::Access::kReadWrite);
  std::set<int64_t> reached;
  for (uint64_t pick : {0, 1}) {
    reached.insert(store
                       ->Step(Direction::kForward, store->Row(2),
                              [pick](uint64_t n) { return pick % n; })
                       .id);
  }
  EXPECT_EQ(reached, (std::set<int64_t>{3, 6}));
  SeededRandom random(5);
  for (int i = 0; i < 40; ++i) {
    EXPECT_NO_THROW(ComposeReply(*store, random, {{"Q."}, "Q", "Q"}));
  }
}

}  // namespace
}  // namespace quibbo::testing
