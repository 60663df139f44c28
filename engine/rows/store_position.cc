// Moving to the same position in a neighbouring sentence, as a reply's
// retry does, in a few index lookups whatever the memory holds.
#include "engine/rows/schema.h"
#include "engine/rows/store.h"
#include "engine/rows/store_sql.h"

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
  std::optional<int64_t> found;
  if (position >= late) {
    found = SeekId(backward ? kPreviousAtLatePosition : kNextAtLatePosition,
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
        if (!found || (backward ? candidate > *found : candidate < *found)) {
          found = candidate;
        }
      }
    }
    // Only an edit by hand breaks a sentence's run of ids; then the rows
    // are read one by one after all.
    std::optional<WordRecord> row;
    if (found) row = RowAfter(*found - 1);
    if (found && !(row && row->id == *found && row->position == position)) {
      found = SeekId(backward ? kPreviousAtPosition : kNextAtPosition, position,
                     id);
    }
  } else {
    found =
        SeekId(backward ? kPreviousAtPosition : kNextAtPosition, position, id);
  }
  return found;
}

}  // namespace quibbo
