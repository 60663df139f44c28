#include "engine/rows/store.h"

#include <limits>
#include <unordered_map>

#include "engine/failure/failures.h"
#include "engine/rows/schema.h"
#include "engine/rows/store_sql.h"
#include "engine/text/text.h"

namespace quibbo {
namespace {

using sqlite::Statement;

WordRecord ReadRecord(const Statement& row) {
  WordRecord record;
  record.id = row.ColumnInt(0);
  record.previous = row.ColumnOptionalText(1);
  record.middle = row.ColumnText(2);
  record.next = row.ColumnOptionalText(3);
  record.position = row.ColumnInt(4);
  return record;
}

std::optional<int64_t> ReadOptionalId(Statement& statement) {
  if (!statement.Step() || statement.ColumnIsNull(0)) return std::nullopt;
  return statement.ColumnInt(0);
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

std::string_view Text(const std::optional<std::string>& word) {
  return word ? std::string_view(*word) : std::string_view();
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

}  // namespace

std::unique_ptr<Store> Store::Open(const std::string& path, Access access,
                                   const StoreOptions& options) {
  return std::make_unique<Store>(MemoryFile::Open(path, access, options));
}

Store::Store(std::unique_ptr<MemoryFile> file)
    : file_(std::move(file)),
      statements_(store_sql::kStatementCount),
      holds_pending_(file_->access() == Access::kReadWrite) {
  Guard([&] {
    sqlite::Connection& db = file_->connection();
    schema::Check(db, path());
    if (holds_pending_) {
      schema::Upgrade(db);
      db.Execute(store_sql::kPendingTable);
    }
    const int64_t version = schema::Version(db);
    counted_ = version >= schema::kCountedVersion;
    marks_edits_ = version >= schema::kMarkedVersion;
    indexes_sentence_ends_ = version >= schema::kSentenceEndVersion;
  });
}

Store::~Store() = default;

Statement& Store::Prepared(int which) {
  auto& slot = statements_[which];
  if (!slot) {
    slot = std::make_unique<Statement>(file_->connection(),
                                       store_sql::kStatements[which].sql);
  }
  return *slot;
}

void Store::Append(const WordRecord& record) {
  if (known_.later_line) return AppendPending(record, *known_.later_line);
  Guard([&] {
    Statement& insert = Prepared(store_sql::kInsert);
    sqlite::ScopedReset scope(insert);
    // `record` outlives the statement's reset below.
    insert.BindUncopied(1, record.previous)
        .BindUncopied(2, std::string_view(record.middle))
        .BindUncopied(3, record.next)
        .Bind(4, record.position);
    insert.Run();
    // Counted at the commit: a batch of many sentences updates each of its
    // words' counts once.
    known_.uncounted.push_back(record.middle);
    if (!InTransaction()) FlushCounts();
  });
}

void Store::AdjustCounts(
    const std::vector<std::pair<std::string_view, int64_t>>& delta) {
  known_.stored_counts.clear();
  Statement& add = Prepared(store_sql::kAddCount);
  Statement& drop = Prepared(store_sql::kDropCount);
  for (const auto& [word, change] : delta) {
    {
      sqlite::ScopedReset scope(add);
      add.Bind(1, word).Bind(2, change);
      add.Run();
    }
    if (change < 0) {
      sqlite::ScopedReset scope(drop);
      drop.Bind(1, word);
      drop.Run();
    }
  }
}

void Store::FlushCounts() {
  if (known_.uncounted.empty()) return;
  // Tallied in one pass, which keeps the tally in the processor's cache,
  // and in the order first appended, so a word's first spelling is kept.
  // Spellings that differ in ASCII case alone ("The", "the") share one
  // update; the rest meet in word_count's own case-blind key.
  std::vector<std::pair<std::string_view, int64_t>> counts;
  std::unordered_map<std::string_view, size_t, AsciiCaseHash, AsciiCaseEqual>
      index;
  for (const std::string& word : known_.uncounted) {
    auto [at, added] = index.try_emplace(word, counts.size());
    if (added) counts.emplace_back(word, 0);
    ++counts[at->second].second;
  }
  AdjustCounts(counts);
  known_.uncounted.clear();
  known_.tally.Clear();
  known_.tallied = 0;
}

void Store::DeleteAll() {
  Guard([&] {
    // An empty memory is consistent, however it was edited before.
    for (int which : {store_sql::kDeleteAll, store_sql::kDeleteCounts,
                      store_sql::kForgetEdits}) {
      Statement& remove = Prepared(which);
      sqlite::ScopedReset scope(remove);
      remove.Run();
    }
    known_.Forget(0);
    known_.stored_counts.clear();
  });
}

int64_t Store::RowCount() {
  return Guard([&] {
    Statement& count = Prepared(store_sql::kCountAll);
    sqlite::ScopedReset scope(count);
    count.Step();
    return count.ColumnInt(0);
  });
}

int64_t Store::RowsUpTo(int64_t limit) {
  return Guard([&] {
    Statement& count = Prepared(store_sql::kCountUpTo);
    sqlite::ScopedReset scope(count);
    count.Bind(1, limit);
    count.Step();
    return count.ColumnInt(0);
  });
}

std::optional<std::pair<int64_t, int64_t>> Store::IdRange() {
  return Guard([&]() -> std::optional<std::pair<int64_t, int64_t>> {
    Statement& range = Prepared(store_sql::kIdRange);
    sqlite::ScopedReset scope(range);
    range.Step();
    if (range.ColumnIsNull(0)) return std::nullopt;
    return std::pair(range.ColumnInt(0), range.ColumnInt(1));
  });
}

int64_t Store::IdOfRow(int64_t k) { return IdOfRow(k, RowCount()); }

int64_t Store::IdOfRow(int64_t k, int64_t rows) {
  auto range = IdRange();
  // Ids run without gaps in a memory that was only ever appended to; then
  // the k-th row is found by arithmetic instead of by reading k rows.
  if (range && range->second - range->first + 1 == rows) {
    return range->first + k;
  }
  return Guard([&] {
    Statement& at = Prepared(store_sql::kIdAtOffset);
    sqlite::ScopedReset scope(at);
    at.Bind(1, k);
    if (std::optional<int64_t> id = ReadOptionalId(at)) return *id;
    throw MissingRow(path(), k);
  });
}

int64_t Store::DrawId(const Chooser& choose) {
  auto range = IdRange();
  uint64_t span = 0;
  // Each try finds a row with a chance of rows / span: even a span eight
  // times the rows almost never needs the last resort below.
  constexpr int kTries = 64;
  if (range && !__builtin_sub_overflow(range->second, range->first, &span) &&
      span < std::numeric_limits<uint64_t>::max()) {
    for (int i = 0; i < kTries; ++i) {
      const int64_t id = range->first + static_cast<int64_t>(choose(span + 1));
      if (SeekId(store_sql::kHasId, id)) return id;
    }
  }
  const int64_t rows = RowCount();
  return IdOfRow(static_cast<int64_t>(choose(rows)), rows);
}

WordRecord Store::Row(int64_t id) {
  return Guard([&] {
    Statement& row = Prepared(store_sql::kRow);
    sqlite::ScopedReset scope(row);
    row.Bind(1, id);
    if (!row.Step()) throw MissingRow(path(), id);
    return ReadRecord(row);
  });
}

std::optional<WordRecord> Store::RowAfter(int64_t id) {
  return Guard([&] {
    Statement& row = Prepared(store_sql::kRowAfter);
    sqlite::ScopedReset scope(row);
    row.Bind(1, id);
    return row.Step() ? std::optional<WordRecord>(ReadRecord(row))
                      : std::nullopt;
  });
}

std::optional<int64_t> Store::SeekId(int which, int64_t first,
                                     std::optional<int64_t> second) {
  return Guard([&] {
    Statement& seek = Prepared(which);
    sqlite::ScopedReset scope(seek);
    seek.Bind(1, first);
    if (second) seek.Bind(2, *second);
    return ReadOptionalId(seek);
  });
}

bool Store::Edited() {
  // A memory of an earlier version, read as it is, may have been edited.
  if (!marks_edits_) return true;
  if (known_.edited) return *known_.edited;
  return Guard([&] {
    Statement& edited = Prepared(store_sql::kEdited);
    sqlite::ScopedReset scope(edited);
    const bool result = edited.Step() && edited.ColumnInt(0) != 0;
    if (InTransaction()) known_.edited = result;
    return result;
  });
}

std::optional<int64_t> Store::NextIdWithWord(std::string_view word,
                                             int64_t id) {
  // The index visits every row holding the word. A common word is found
  // sooner by reading the rows after `id`: a few of its average gaps on
  // there is almost surely one. When that window holds none, the index
  // answers after all. The id range stands in for the number of rows,
  // which would take reading them all.
  constexpr int64_t kGaps = 8;
  std::optional<int64_t> found;
  auto range = IdRange();
  if (counted_ && range) {
    const int64_t rows = range->second - range->first + 1;
    const int64_t count = CountWord(word);
    if (count > 0 && kGaps * rows < count * count) {
      const int64_t window = kGaps * rows / count;
      found = Guard([&] {
        Statement& next = Prepared(store_sql::kNextWithWordNear);
        sqlite::ScopedReset scope(next);
        next.Bind(1, word).Bind(2, id).Bind(3, id + window);
        return ReadOptionalId(next);
      });
    }
  }
  if (!found) {
    found = Guard([&] {
      Statement& next = Prepared(store_sql::kNextWithWord);
      sqlite::ScopedReset scope(next);
      next.Bind(1, word).Bind(2, id);
      return ReadOptionalId(next);
    });
  }
  return found;
}

std::optional<int64_t> Store::LastIdWithWord(std::string_view word) {
  return Guard([&] {
    Statement& last = Prepared(store_sql::kLastWithWord);
    sqlite::ScopedReset scope(last);
    last.Bind(1, word);
    return ReadOptionalId(last);
  });
}

int64_t Store::CountWord(std::string_view word) {
  return Guard([&] {
    // What the table holds is read once per transaction, whose snapshot
    // keeps it: a long line asks for the same words again and again.
    const bool keep = InTransaction();
    auto kept = known_.stored_counts.find(word);
    int64_t count = 0;
    if (keep && kept != known_.stored_counts.end()) {
      count = kept->second;
    } else {
      Statement& select =
          Prepared(counted_ ? store_sql::kCountedWord : store_sql::kCountWord);
      sqlite::ScopedReset scope(select);
      select.Bind(1, word);
      count = select.Step() ? select.ColumnInt(0) : 0;  // Null reads 0
      if (keep) known_.stored_counts.emplace(word, count);
    }
    // The words appended but not yet in word_count, a line's words one by
    // one as they are appended, say: tallied as they are first asked for.
    for (; known_.tallied < known_.uncounted.size(); ++known_.tallied) {
      known_.tally.Add(known_.uncounted[known_.tallied]);
    }
    count += known_.tally.Count(word);
    return count;
  });
}

std::vector<int64_t> Store::Ids(int which, std::string_view first,
                                std::string_view second, int64_t position) {
  // Ordered by position, then id, as the statements order them.
  return Guard([&] {
    Statement& select = Prepared(which);
    sqlite::ScopedReset scope(select);
    select.Bind(1, first).Bind(2, second).Bind(3, position);
    std::vector<int64_t> ids;
    while (select.Step()) ids.push_back(select.ColumnInt(0));
    return ids;
  });
}

WordRecord Store::Step(Direction direction, const WordRecord& from,
                       const Chooser& choose) {
  if (direction == Direction::kBackward) {
    std::vector<int64_t> ids = Ids(store_sql::kBackwardIds, Text(from.previous),
                                   from.middle, from.position);
    if (ids.empty()) throw Broken(path(), from, direction);
    return Row(ids[choose(ids.size())]);
  }
  if (!Edited()) {
    // The rows after those holding the pair as word and next: in a memory
    // that only Quibbo wrote, in the same order as the candidates.
    std::vector<int64_t> before = Ids(store_sql::kForwardBeforeIds, from.middle,
                                      Text(from.next), from.position);
    if (before.empty()) throw Broken(path(), from, direction);
    std::optional<WordRecord> after = RowAfter(before[choose(before.size())]);
    if (!after ||
        !Continues(*after, from.middle, Text(from.next), from.position)) {
      throw Broken(path(), from, direction);
    }
    return *after;
  }
  std::vector<int64_t> ids =
      Ids(store_sql::kForwardIds, from.middle, Text(from.next), from.position);
  if (ids.empty()) throw Broken(path(), from, direction);
  return Row(ids[choose(ids.size())]);
}

}  // namespace quibbo
