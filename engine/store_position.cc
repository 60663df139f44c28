// Moving to the same position in a neighbouring sentence, as a reply's
// retry does, in a few index lookups whatever the memory holds.
#include "engine/schema.h"
#include "engine/store.h"
#include "engine/store_sql.h"

namespace quibbo {
namespace {

// `id` + `offset`, held within the range of ids.
int64_t Shifted(int64_t id, int64_t offset) {
  int64_t sum = 0;
  if (!__builtin_add_overflow(id, offset, &sum)) return sum;
  return offset > 0 ? std::numeric_limits<int64_t>::max()
                    : std::numeric_limits<int64_t>::min();
}

}  // namespace

std::optional<int64_t> Store::NearestIdAtPosition(int64_t position, int64_t id,
                                                  Direction direction) {
  using namespace store_sql;
  const bool backward = direction == Direction::kBackward;
  const int64_t late = schema::kLatePosition;
  auto at_position = [&](const WordRecord& row) {
    return row.position == position;
  };
  // The pending rows come after every stored one.
  if (backward) {
    if (auto pending = PendingNear(id, direction, at_position)) return pending;
  }
  std::optional<int64_t> stored;
  if (position >= late) {
    stored = SeekId(backward ? kPreviousAtLatePosition : kNextAtLatePosition,
                    position, id);
  } else if (indexes_sentence_ends_) {
    // A row at `position` belongs to a sentence that either ends at some
    // position q below `late`, q - position ids after the row, or reaches
    // `late`, as many ids after it. The nearest sentence of each kind gives
    // one candidate; the nearest candidate is the row.
    for (int64_t q = position; q <= late; ++q) {
      const int64_t offset = q - position;
      const int which =
          q < late ? (backward ? kPreviousSentenceEnd : kNextSentenceEnd)
                   : (backward ? kPreviousAtLatePosition : kNextAtLatePosition);
      if (auto end = SeekId(which, q, Shifted(id, offset))) {
        const int64_t candidate = *end - offset;
        if (!stored || (backward ? candidate > *stored : candidate < *stored)) {
          stored = candidate;
        }
      }
    }
    // Only an edit by hand breaks a sentence's run of ids; then the rows
    // are read one by one after all.
    std::optional<WordRecord> row;
    if (stored) row = RowAfter(*stored - 1);
    if (stored && !(row && row->id == *stored && row->position == position)) {
      stored = SeekId(backward ? kPreviousAtPosition : kNextAtPosition,
                      position, id);
    }
  } else {
    stored =
        SeekId(backward ? kPreviousAtPosition : kNextAtPosition, position, id);
  }
  if (stored || backward) return stored;
  return PendingNear(id, direction, at_position);
}

}  // namespace quibbo
