// What a memory holds, in figures: rows, distinct words, sentences, the most
// frequent words and the size of the file.
#include "engine/rows/store.h"
#include "quibbo/memory.h"

namespace quibbo {

MemoryStatistics ReadStatistics(const std::string& path, size_t top) {
  Store store(MemoryFile::Open(path, MemoryFile::Access::kReadOnly));
  MemoryFile& file = store.file();
  MemoryStatistics stats;
  Store::Transaction snapshot(store, Store::Transaction::Kind::kRead);
  stats.rows = store.RowCount();
  stats.distinct_words = store.DistinctWordCount();
  stats.top_words = store.MostFrequentWords(top);
  stats.sentences = store.SentenceCount();
  stats.file_bytes = file.Guard([&] {
    return file.connection().QueryInt(
        "SELECT page_count * page_size FROM pragma_page_count(), "
        "pragma_page_size()");
  });
  snapshot.Commit();
  return stats;
}

}  // namespace quibbo
