// The store: both searches that read rows near an id find the row reading
// every row would, and a drawn row is one that exists.
#include <gmock/gmock.h>

#include <map>

#include "quibbo/memory.h"
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
  using enum Direction;
  for (int i = 0; i < 300; ++i) {
    const std::string& word = words[random.Below(words.size())];
    const auto id = static_cast<int64_t>(random.Below(rows.back().id + 10));
    const int64_t position = static_cast<int64_t>(random.Below(26));
    std::optional<int64_t> next_with_word, previous_at, next_at;
    for (const WordRecord& row : rows) {
      const bool same = CompareIgnoringCase(row.middle, word) == 0;
      if (row.id > id && !next_with_word && same) next_with_word = row.id;
      if (row.position != position) continue;
      if (row.id < id) previous_at = row.id;
      if (row.id > id && !next_at) next_at = row.id;
    }
    SCOPED_TRACE(word + " or position " + std::to_string(position) + " near " +
                 std::to_string(id));
    EXPECT_EQ(store->walk().NextIdWithWord(word, id), next_with_word);
    EXPECT_EQ(store->walk().NearestIdAtPosition(position, id, kBackward),
              previous_at);
    EXPECT_EQ(store->walk().NearestIdAtPosition(position, id, kForward),
              next_at);
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

}  // namespace
}  // namespace quibbo::testing
