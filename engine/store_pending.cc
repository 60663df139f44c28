// The store's view of the rows this program said but has not stored yet
// (pending_rows.h): the newest rows, numbered on from the last stored id,
// as SQLite numbers rows appended.
#include <algorithm>

#include "engine/pending_rows.h"
#include "engine/store.h"

namespace quibbo {

size_t Store::PendingCount() const {
  return pending_ ? pending_->rows().size() : 0;
}

int64_t Store::FirstPendingId() {
  if (known_.last_id) return *known_.last_id + 1;
  auto range = IdRange();
  const int64_t last = range ? range->second : 0;
  // Another program may store rows between two statements outside a
  // transaction.
  if (InTransaction()) known_.last_id = last;
  return last + 1;
}

std::optional<WordRecord> Store::PendingRow(int64_t id) {
  const size_t count = PendingCount();
  int64_t index = 0;
  if (count == 0 || __builtin_sub_overflow(id, FirstPendingId(), &index) ||
      index < 0 || static_cast<uint64_t>(index) >= count) {
    return std::nullopt;
  }
  WordRecord row = pending_->rows()[index];
  row.id = id;
  return row;
}

std::optional<int64_t> Store::PendingNear(
    int64_t id, Direction direction,
    const std::function<bool(const WordRecord&)>& matches) {
  const auto count = static_cast<int64_t>(PendingCount());
  if (count == 0) return std::nullopt;
  const int64_t first = FirstPendingId();
  // The index of `id` among the pending rows, held within -1 and `count`.
  int64_t from = 0;
  if (__builtin_sub_overflow(id, first, &from)) from = id > first ? count : -1;
  from = std::clamp<int64_t>(from, -1, count);
  const std::vector<WordRecord>& rows = pending_->rows();
  const int64_t step = direction == Direction::kForward ? 1 : -1;
  for (int64_t i = from + step; i >= 0 && i < count; i += step) {
    if (matches(rows[i])) return first + i;
  }
  return std::nullopt;
}

}  // namespace quibbo
