#include "engine/rows/walk_reads.h"

#include <limits>

#include "engine/failure/failures.h"
#include "engine/rows/schema.h"
#include "engine/rows/store.h"
#include "engine/rows/store_sql.h"
#include "engine/text/text.h"

namespace quibbo {
namespace {

using sqlite::Statement;
using namespace store_sql;

WordRecord ReadRecord(const Statement& row) {
  WordRecord record;
  record.id = row.ColumnInt(0);
  record.previous = row.ColumnOptionalText(1);
  record.middle = row.ColumnText(2);
  record.next = row.ColumnOptionalText(3);
  record.position = row.ColumnInt(4);
  return record;
}

bool SameWord(std::string_view word, std::string_view other) {
  return CompareIgnoringCase(word, other) == 0;
}

// Whether `row` holds the word pair (`previous`, `middle`), letter case
// ignored, at `position` or later.
bool Continues(const WordRecord& row, std::string_view previous,
               std::string_view middle, int64_t position) {
  return row.previous && SameWord(*row.previous, previous) &&
         SameWord(row.middle, middle) && row.position >= position;
}

// The failure of a step from `from` toward `direction`.
Error Broken(const std::string& path, const WordRecord& from,
             Direction direction) {
  const bool forward = direction == Direction::kForward;
  return BrokenSentence(path, from.id,
                        forward
                            ? from.middle + " " + from.next.value_or("")
                            : from.previous.value_or("") + " " + from.middle,
                        forward);
}

// `id` + `offset`, held within the range of ids.
int64_t Shifted(int64_t id, int64_t offset) {
  int64_t sum = 0;
  if (!__builtin_add_overflow(id, offset, &sum)) return sum;
  return offset > 0 ? std::numeric_limits<int64_t>::max()
                    : std::numeric_limits<int64_t>::min();
}

}  // namespace

int64_t WalkReads::RowsUpTo(int64_t limit) {
  return store_.statements_.Number(kCountUpTo, {limit});
}

std::optional<std::pair<int64_t, int64_t>> WalkReads::IdRange() {
  return store_.statements_
      .FirstRow(kIdRange, {},
                [](const Statement& range)
                    -> std::optional<std::pair<int64_t, int64_t>> {
                  if (range.ColumnIsNull(0)) return std::nullopt;
                  return std::pair(range.ColumnInt(0), range.ColumnInt(1));
                })
      .value_or(std::nullopt);
}

int64_t WalkReads::IdOfRow(int64_t k, int64_t rows) {
  auto range = IdRange();
  // Ids run without gaps in a memory that was only ever appended to; then
  // the k-th row is found by arithmetic instead of by reading k rows.
  if (range && range->second - range->first + 1 == rows) {
    return range->first + k;
  }
  if (std::optional<int64_t> id = store_.statements_.Id(kIdAtOffset, {k})) {
    return *id;
  }
  throw MissingRow(store_.path(), k);
}

int64_t WalkReads::DrawId(const Chooser& choose) {
  auto range = IdRange();
  uint64_t span = 0;
  // Each try finds a row with a chance of rows / span: even a span eight
  // times the rows almost never needs the last resort below.
  constexpr int kTries = 64;
  if (range && !__builtin_sub_overflow(range->second, range->first, &span) &&
      span < std::numeric_limits<uint64_t>::max()) {
    for (int i = 0; i < kTries; ++i) {
      const int64_t id = range->first + static_cast<int64_t>(choose(span + 1));
      if (store_.statements_.Id(kHasId, {id})) return id;
    }
  }
  const int64_t rows = store_.RowCount();
  return IdOfRow(static_cast<int64_t>(choose(rows)), rows);
}

WordRecord WalkReads::Row(int64_t id) {
  std::optional<WordRecord> row =
      store_.statements_.FirstRow(kRow, {id}, ReadRecord);
  if (!row) throw MissingRow(store_.path(), id);
  return *row;
}

std::optional<WordRecord> WalkReads::RowAfter(int64_t id) {
  return store_.statements_.FirstRow(kRowAfter, {id}, ReadRecord);
}

bool WalkReads::Edited() {
  // A memory of an earlier version, read as it is, may have been edited.
  if (!store_.marks_edits_) return true;
  Store::Transaction::Cache* cache = store_.ReadCache();
  if (cache && cache->edited) return *cache->edited;
  const bool edited = store_.statements_.Number(kEdited) != 0;
  if (cache) cache->edited = edited;
  return edited;
}

std::optional<int64_t> WalkReads::NextIdWithWord(std::string_view word,
                                                 int64_t id) {
  // The index visits every row holding the word. A common word is found
  // sooner by reading the rows after `id`: a few of its average gaps on
  // there is almost surely one. When that window holds none, the index
  // answers after all. The id range stands in for the number of rows,
  // which would take reading them all.
  constexpr int64_t kGaps = 8;
  auto range = IdRange();
  if (store_.counted_ && range) {
    const int64_t rows = range->second - range->first + 1;
    const int64_t count = store_.CountWord(word);
    if (count > 0 && kGaps * rows < count * count) {
      const int64_t last = id + kGaps * rows / count;
      if (auto found =
              store_.statements_.Id(kNextWithWordNear, {word, id, last})) {
        return found;
      }
    }
  }
  return store_.statements_.Id(kNextWithWord, {word, id});
}

std::optional<int64_t> WalkReads::LastIdWithWord(std::string_view word) {
  return store_.statements_.Id(kLastWithWord, {word});
}

std::optional<int64_t> WalkReads::NearestIdAtPosition(int64_t position,
                                                      int64_t id,
                                                      Direction direction) {
  Statements& statements = store_.statements_;
  const bool backward = direction == Direction::kBackward;
  const int late_statement =
      backward ? kPreviousAtLatePosition : kNextAtLatePosition;
  const int any_statement = backward ? kPreviousAtPosition : kNextAtPosition;
  const int64_t late = schema::kLatePosition;
  if (position >= late) return statements.Id(late_statement, {position, id});
  if (!store_.indexes_sentence_ends_) {
    return statements.Id(any_statement, {position, id});
  }
  // A row at `position` belongs to a sentence that either ends at some
  // position q below `late`, q - position ids after the row, or reaches
  // `late`, as many ids after it. The nearest sentence of each kind gives
  // one candidate; the nearest candidate is the row.
  std::optional<int64_t> found;
  for (int64_t q = position; q <= late; ++q) {
    const int64_t offset = q - position;
    const int which = q < late
                          ? (backward ? kPreviousSentenceEnd : kNextSentenceEnd)
                          : late_statement;
    if (auto end = statements.Id(which, {q, Shifted(id, offset)})) {
      const int64_t candidate = *end - offset;
      if (!found || (backward ? candidate > *found : candidate < *found)) {
        found = candidate;
      }
    }
  }
  // Only an edit by hand breaks a sentence's run of ids; then the rows are
  // read one by one after all.
  if (!found) return found;
  std::optional<WordRecord> row = RowAfter(*found - 1);
  if (row && row->id == *found && row->position == position) return found;
  return statements.Id(any_statement, {position, id});
}

WordRecord WalkReads::Step(Direction direction, const WordRecord& from,
                           const Chooser& choose) {
  Statements& statements = store_.statements_;
  const std::string& path = store_.path();
  const std::string_view word = from.middle;
  if (direction == Direction::kBackward) {
    std::vector<int64_t> ids = statements.Ids(
        kBackwardIds, {WordOrEmpty(from.previous), word, from.position});
    if (ids.empty()) throw Broken(path, from, direction);
    return Row(ids[choose(ids.size())]);
  }
  if (!Edited()) {
    // The rows after those holding the pair as word and next: in a memory
    // that only Quibbo wrote, in the same order as the candidates.
    std::vector<int64_t> before = statements.Ids(
        kForwardBeforeIds, {word, WordOrEmpty(from.next), from.position});
    if (before.empty()) throw Broken(path, from, direction);
    std::optional<WordRecord> after = RowAfter(before[choose(before.size())]);
    if (!after ||
        !Continues(*after, word, WordOrEmpty(from.next), from.position)) {
      throw Broken(path, from, direction);
    }
    return *after;
  }
  std::vector<int64_t> ids = statements.Ids(
      kForwardIds, {word, WordOrEmpty(from.next), from.position});
  if (ids.empty()) throw Broken(path, from, direction);
  return Row(ids[choose(ids.size())]);
}

}  // namespace quibbo
