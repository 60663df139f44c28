// The reads reply generation needs: where a reply starts, and where each
// step of its walks may go. Each says what it is for, never how the table is
// laid out, and runs a statement or two of store_sql.h through the indexes
// the schema keeps for it. They read in the caller's transaction or kept
// snapshot (Store::Transaction), through the views that show the rows not
// stored yet (store.h), so a reply sees those as the newest rows.
#ifndef QUIBBO_ENGINE_ROWS_WALK_READS_H_
#define QUIBBO_ENGINE_ROWS_WALK_READS_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <utility>

#include "engine/rows/word_record.h"

namespace quibbo {

class Store;

class WalkReads {
 public:
  // Reads the rows of `store`, which outlives it.
  explicit WalkReads(Store& store) : store_(store) {}
  WalkReads(const WalkReads&) = delete;
  WalkReads& operator=(const WalkReads&) = delete;

  // The number of rows, or `limit` if there are more; reads at most that
  // many.
  int64_t RowsUpTo(int64_t limit);
  // The row with this id; an Error (kDamaged) when there is none.
  WordRecord Row(int64_t id);
  // The row stored right after row `id`; unset when it is the last.
  std::optional<WordRecord> RowAfter(int64_t id);

  // Picks one of `n` rows, 0 <= result < n.
  using Chooser = std::function<uint64_t(uint64_t n)>;

  // Draws one row, every row equally likely, and returns its id; at least
  // one row must exist. While ids run without gaps, as they do in a memory
  // that was only ever appended to, this is the id of the choose(rows)-th
  // row, found without counting. After rows were deleted (forget, an edit
  // by hand) it draws ids of the id range until one names a row, one lookup
  // each, and only after many misses counts the rows and reads up to the
  // k-th.
  int64_t DrawId(const Chooser& choose);

  // Nearest row after `id` whose word is `word`.
  std::optional<int64_t> NextIdWithWord(std::string_view word, int64_t id);
  // Last row whose word is `word`.
  std::optional<int64_t> LastIdWithWord(std::string_view word);
  // Nearest row before (kBackward) or after (kForward) `id` at `position`.
  // A few index lookups in a memory whose sentences each run in consecutive
  // ids, as Quibbo stores them, whatever rows were deleted since; in one
  // edited otherwise, rows that stand in no such run may be passed over.
  std::optional<int64_t> NearestIdAtPosition(int64_t position, int64_t id,
                                             Direction direction);

  // One step of a walk from `from`, which must have the neighbour on that
  // side, to one of the rows holding the same word pair:
  //  kBackward: word = from.previous, next = from.middle, position <= from's;
  //  kForward: previous = from.middle, word = from.next, position >= from's.
  // `choose` picks among them, ordered by position, then id; it is called
  // once. In a memory only Quibbo wrote, the forward candidates are the rows
  // right after those holding the pair as word and next, which one index
  // finds; in one edited by hand they are looked for as such. Throws Error
  // (kDamaged) when there is none, which only such a memory can cause.
  WordRecord Step(Direction direction, const WordRecord& from,
                  const Chooser& choose);

  // The id of the k-th row in id order, given that there are `rows`.
  int64_t IdOfRow(int64_t k, int64_t rows);

 private:
  // The smallest and the greatest id; unset when there is no row.
  std::optional<std::pair<int64_t, int64_t>> IdRange();
  // Whether the memory was edited by hand and not found consistent since.
  bool Edited();

  Store& store_;
};

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_ROWS_WALK_READS_H_
