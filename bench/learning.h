// Bulk learning, timed as `quibbo-cli learn` works, and the same rows
// inserted into a bare SQLite table for scale.
#ifndef QUIBBO_BENCH_LEARNING_H_
#define QUIBBO_BENCH_LEARNING_H_

#include <cstdint>
#include <string>

#include "bench/corpus.h"

namespace quibbo::bench {

struct LearnRun {
  int64_t words = 0;
  double seconds = 0;
  double words_per_second() const { return words / seconds; }
};

// Learns training lines into a new memory at `path` as `quibbo-cli learn`
// does (batches, word counts, closing the memory) until it holds at least
// `rows` rows. The memory stays for the measurements that follow.
LearnRun BulkLearn(const Corpus& corpus, const std::string& path, int64_t rows);

// The same rows, made ahead of time, inserted by one prepared statement in
// one transaction into a table without indexes at `path`, which is removed
// afterwards.
LearnRun RawSqlite(const Corpus& corpus, const std::string& path, int64_t rows);

}  // namespace quibbo::bench

#endif  // QUIBBO_BENCH_LEARNING_H_
