// What a memory holds, in figures: rows, distinct words, sentences, the most
// frequent words and the size of the file.
#ifndef QUIBBO_ENGINE_STATISTICS_H_
#define QUIBBO_ENGINE_STATISTICS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "engine/store.h"

namespace quibbo {

struct MemoryStatistics {
  int64_t rows = 0;
  int64_t distinct_words = 0;        // letter case ignored
  int64_t sentences = 0;             // each has exactly one row at position 0
  std::vector<WordTally> top_words;  // most frequent first, ties in word order
  int64_t file_bytes = 0;            // once the write-ahead log is copied back
};

// Reads the figures of the memory at `path` in one snapshot, opening it only
// for reading, with the `top` most frequent words. Each figure reads the
// table or one index once. Throws Error.
MemoryStatistics ReadStatistics(const std::string& path, size_t top);

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_STATISTICS_H_
