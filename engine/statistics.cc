#include "engine/statistics.h"

#include <algorithm>

#include "engine/store.h"

namespace quibbo {
namespace {

using sqlite::Statement;

int64_t Count(sqlite::Connection& db, const char* sql) {
  Statement count(db, sql);
  count.Step();
  return count.ColumnInt(0);
}

// The distinct words and the `top` most frequent, from the kept counts; each
// word is shown as it was first learned.
int64_t TallyCounted(sqlite::Connection& db, size_t top,
                     std::vector<WordTally>* most) {
  Statement ranked(db,
                   "SELECT word, count FROM word_count WHERE count > 0 "
                   "ORDER BY count DESC, word LIMIT ?1");
  ranked.Bind(1, static_cast<int64_t>(top));
  while (ranked.Step()) {
    most->push_back({ranked.ColumnText(0), ranked.ColumnInt(1)});
  }
  return Count(db, "SELECT count(*) FROM word_count WHERE count > 0");
}

// The same from the rows, for a memory of an earlier version. Of a word's
// spellings, the greatest in byte order is shown: the one in lower case,
// where there is one.
int64_t TallyRows(sqlite::Connection& db, size_t top,
                  std::vector<WordTally>* most) {
  Statement groups(db,
                   "SELECT max(middle COLLATE BINARY), count(*) FROM word "
                   "GROUP BY middle COLLATE unicase");
  int64_t distinct = 0;
  // Groups arrive in word order, so keeping the first of equal counts breaks
  // ties in word order.
  auto more_frequent = [](const WordTally& a, const WordTally& b) {
    return a.count > b.count;
  };
  while (groups.Step()) {
    ++distinct;
    WordTally tally{groups.ColumnText(0), groups.ColumnInt(1)};
    if (most->size() == top &&
        (top == 0 || tally.count <= most->back().count)) {
      continue;
    }
    most->insert(
        std::upper_bound(most->begin(), most->end(), tally, more_frequent),
        std::move(tally));
    if (most->size() > top) most->pop_back();
  }
  return distinct;
}

}  // namespace

MemoryStatistics ReadStatistics(const std::string& path, size_t top) {
  Store store(MemoryFile::Open(path, MemoryFile::Access::kReadOnly));
  MemoryFile& file = store.file();
  return file.Guard([&] {
    MemoryStatistics stats;
    Store::Transaction snapshot(store, Store::Transaction::Kind::kRead);
    sqlite::Connection& db = file.connection();
    stats.rows = store.RowCount();
    stats.distinct_words = file.counted()
                               ? TallyCounted(db, top, &stats.top_words)
                               : TallyRows(db, top, &stats.top_words);
    stats.sentences = Count(db, "SELECT count(*) FROM word WHERE position = 0");
    stats.file_bytes = Count(db,
                             "SELECT page_count * page_size FROM "
                             "pragma_page_count(), pragma_page_size()");
    snapshot.Commit();
    return stats;
  });
}

}  // namespace quibbo
