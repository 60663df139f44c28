// Rows a conversation said while a bulk learner held the memory, not yet
// stored.
//
// A line said beside `quibbo-cli learn` is not kept waiting for the end of
// the learner's batch (seconds): its rows are held here, in this program,
// and the store reads them as the newest rows of the memory, right after
// its last stored row, so the reply is the one the line would get if it
// were stored. PendingWriter stores them, in order, as soon as the learner
// lets go. Until then they live only in this program's memory.
//
// Whoever reads or changes the rows holds mutex(): a conversation for the
// whole of a reply, and PendingWriter while it commits the rows it stored
// and drops them here, so a reply never sees a row twice or not at all.
#ifndef QUIBBO_ENGINE_PENDING_ROWS_H_
#define QUIBBO_ENGINE_PENDING_ROWS_H_

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "engine/store.h"
#include "engine/text.h"

namespace quibbo {

class PendingRows {
 public:
  std::mutex& mutex() { return mutex_; }

  // Whole sentences, oldest first, their ids unset: each sentence's first
  // row is at position 0. A sentence being added is whole once its line's
  // transaction commits (Store::Transaction::Kind::kLater).
  const std::vector<WordRecord>& rows() const { return rows_; }

  void Add(const WordRecord& row) {
    rows_.push_back(row);
    counts_.Add(row.middle);
  }
  // Keeps the first `size` rows only: what a failed sentence added goes.
  void Truncate(size_t size) { Drop(size, rows_.size()); }
  // The first `count` rows were stored.
  void DropFirst(size_t count) { Drop(0, count); }

  // The rows whose word is `word`, letter case ignored.
  int64_t Count(std::string_view word) const { return counts_.Count(word); }

 private:
  void Drop(size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) counts_.Remove(rows_[i].middle);
    rows_.erase(rows_.begin() + static_cast<ptrdiff_t>(begin),
                rows_.begin() + static_cast<ptrdiff_t>(end));
  }

  std::mutex mutex_;
  std::vector<WordRecord> rows_;
  CaseBlindCounts counts_;
};

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_PENDING_ROWS_H_
