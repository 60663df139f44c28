#include "engine/store.h"

#include <sqlite3.h>

#include <unordered_map>

#include "engine/error.h"
#include "engine/schema.h"
#include "engine/store_sql.h"
#include "engine/text.h"

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

}  // namespace

std::unique_ptr<Store> Store::Open(const std::string& path, Access access,
                                   const StoreOptions& options) {
  return std::make_unique<Store>(MemoryFile::Open(path, access, options));
}

Store::Store(std::unique_ptr<MemoryFile> file)
    : file_(std::move(file)), statements_(store_sql::kStatementCount) {}

Store::~Store() = default;

Statement& Store::Prepared(int which) {
  auto& slot = statements_[which];
  if (!slot) {
    slot = std::make_unique<Statement>(file_->connection(),
                                       store_sql::kStatements[which].sql);
  }
  return *slot;
}

Store::Transaction::Transaction(Store& store, Kind kind) : store_(store) {
  store_.known_.Ended(false);
  store_.Guard([&] {
    store_.file_->connection().Execute(kind == Kind::kWrite ? "BEGIN IMMEDIATE;"
                                                            : "BEGIN;");
  });
}

Store::Transaction::~Transaction() {
  if (!open_) return;
  store_.known_.Ended(true);
  sqlite3_exec(store_.file_->connection().handle(), "ROLLBACK;", nullptr,
               nullptr, nullptr);
}

void Store::Transaction::Commit() {
  store_.Guard([&] {
    store_.FlushCounts();
    store_.file_->connection().Execute("COMMIT;");
  });
  store_.known_.Ended(false);
  open_ = false;
}

void Store::Append(const WordRecord& record) {
  Guard([&] {
    Statement& insert = Prepared(store_sql::kInsert);
    sqlite::ScopedReset scope(insert);
    // `record` outlives the statement's reset below.
    insert.BindUncopied(1, record.previous)
        .BindUncopied(2, std::string_view(record.middle))
        .BindUncopied(3, record.next)
        .Bind(4, record.position);
    insert.Run();
    if (known_.rows) ++*known_.rows;
    // Counted at the commit: a batch of many sentences updates each of its
    // words' counts once.
    known_.uncounted.push_back(record.middle);
    if (sqlite3_get_autocommit(file_->connection().handle())) FlushCounts();
  });
}

void Store::AdjustCounts(
    const std::vector<std::pair<std::string_view, int64_t>>& delta) {
  for (const auto& [word, change] : delta) {
    for (int which : {store_sql::kAddCount, store_sql::kDropCount}) {
      if (which == store_sql::kDropCount && change >= 0) continue;
      Statement& statement = Prepared(which);
      sqlite::ScopedReset scope(statement);
      statement.Bind(1, word);
      if (which == store_sql::kAddCount) statement.Bind(2, change);
      statement.Run();
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
    known_.uncounted.clear();
    known_.rows = 0;
  });
}

int64_t Store::DataVersion() {
  Statement& version = Prepared(store_sql::kDataVersion);
  sqlite::ScopedReset scope(version);
  version.Step();
  return version.ColumnInt(0);
}

int64_t Store::RowCount() {
  return Guard([&] {
    if (!known_.version_current) {
      const int64_t version = DataVersion();
      if (version != known_.version) known_.rows.reset();
      known_.version = version;
      known_.version_current =
          !sqlite3_get_autocommit(file_->connection().handle());
    }
    if (!known_.rows) {
      Statement& count = Prepared(store_sql::kCountAll);
      sqlite::ScopedReset scope(count);
      count.Step();
      known_.rows = count.ColumnInt(0);
    }
    return *known_.rows;
  });
}

std::optional<std::pair<int64_t, int64_t>> Store::IdRange() {
  Statement& range = Prepared(store_sql::kIdRange);
  sqlite::ScopedReset scope(range);
  range.Step();
  if (range.ColumnIsNull(0)) return std::nullopt;
  return std::pair(range.ColumnInt(0), range.ColumnInt(1));
}

int64_t Store::IdOfRow(int64_t k) {
  int64_t rows = RowCount();
  return Guard([&] {
    // Ids run without gaps in a memory that was only ever appended to; then
    // the k-th row is found by arithmetic instead of by reading k rows.
    auto range = IdRange();
    if (range && range->second - range->first + 1 == rows) {
      return range->first + k;
    }
    Statement& at = Prepared(store_sql::kIdAtOffset);
    sqlite::ScopedReset scope(at);
    at.Bind(1, k);
    if (std::optional<int64_t> id = ReadOptionalId(at)) return *id;
    throw MissingRow(path(), k);
  });
}

int64_t Store::DrawId(const Chooser& choose) {
  const int64_t rows = RowCount();
  auto range = Guard([&] { return IdRange(); });
  uint64_t span = 0;
  // Each try finds a row with a chance of rows / span: a span up to eight
  // times the rows almost never needs the last resort below.
  constexpr int kTries = 64;
  if (range && rows > 0 &&
      !__builtin_sub_overflow(range->second, range->first, &span) &&
      span < static_cast<uint64_t>(rows) * 8) {
    ++span;
    if (span == static_cast<uint64_t>(rows)) {
      return range->first + static_cast<int64_t>(choose(span));
    }
    for (int i = 0; i < kTries; ++i) {
      const int64_t id = range->first + static_cast<int64_t>(choose(span));
      const bool found = Guard([&] {
        Statement& has = Prepared(store_sql::kHasId);
        sqlite::ScopedReset scope(has);
        has.Bind(1, id);
        return has.Step();
      });
      if (found) return id;
    }
  }
  return IdOfRow(static_cast<int64_t>(choose(static_cast<uint64_t>(rows))));
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

bool Store::Edited() {
  // A memory of an earlier version, read as it is, may have been edited.
  if (!file_->marks_edits()) return true;
  if (known_.edited) return *known_.edited;
  return Guard([&] {
    Statement& edited = Prepared(store_sql::kEdited);
    sqlite::ScopedReset scope(edited);
    const bool result = edited.Step() && edited.ColumnInt(0) != 0;
    if (!sqlite3_get_autocommit(file_->connection().handle())) {
      known_.edited = result;
    }
    return result;
  });
}

std::optional<int64_t> Store::NextIdWithWord(std::string_view word,
                                             int64_t id) {
  // The index visits every row holding the word. A common word is found
  // sooner by reading the rows after `id`: a few of its average gaps on
  // there is almost surely one. When that window holds none, the index
  // answers after all.
  constexpr int64_t kGaps = 8;
  if (file_->counted()) {
    const int64_t rows = RowCount();
    const int64_t count = CountWord(word);
    if (count > 0 && kGaps * rows < count * count) {
      const int64_t window = kGaps * rows / count;
      std::optional<int64_t> near = Guard([&] {
        Statement& next = Prepared(store_sql::kNextWithWordNear);
        sqlite::ScopedReset scope(next);
        next.Bind(1, word).Bind(2, id).Bind(3, id + window);
        return ReadOptionalId(next);
      });
      if (near) return near;
    }
  }
  return Guard([&] {
    Statement& next = Prepared(store_sql::kNextWithWord);
    sqlite::ScopedReset scope(next);
    next.Bind(1, word).Bind(2, id);
    return ReadOptionalId(next);
  });
}

std::optional<int64_t> Store::LastIdWithWord(std::string_view word) {
  return Guard([&] {
    Statement& last = Prepared(store_sql::kLastWithWord);
    sqlite::ScopedReset scope(last);
    last.Bind(1, word);
    return ReadOptionalId(last);
  });
}

std::optional<int64_t> Store::NearestIdAtPosition(int64_t position, int64_t id,
                                                  Direction direction) {
  return Guard([&] {
    const bool backward = direction == Direction::kBackward;
    Statement& nearest =
        Prepared(position >= schema::kLatePosition
                     ? (backward ? store_sql::kPreviousAtLatePosition
                                 : store_sql::kNextAtLatePosition)
                     : (backward ? store_sql::kPreviousAtPosition
                                 : store_sql::kNextAtPosition));
    sqlite::ScopedReset scope(nearest);
    nearest.Bind(1, position).Bind(2, id);
    return ReadOptionalId(nearest);
  });
}

int64_t Store::CountWord(std::string_view word) {
  return Guard([&] {
    // A line's words are counted one by one as they are appended: the few
    // not yet in word_count are counted here rather than flushed one by one.
    if (known_.uncounted.size() > kUncountedCountedHere) FlushCounts();
    Statement& select = Prepared(file_->counted() ? store_sql::kCountedWord
                                                  : store_sql::kCountWord);
    sqlite::ScopedReset scope(select);
    select.Bind(1, word);
    int64_t count = select.Step() ? select.ColumnInt(0) : 0;
    for (const std::string& uncounted : known_.uncounted) {
      if (SameWord(uncounted, word)) ++count;
    }
    return count;
  });
}

std::vector<int64_t> Store::Ids(int which, std::string_view first,
                                std::string_view second, int64_t position) {
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
    if (ids.empty()) throw BrokenSentence(path(), from, direction);
    return Row(ids[choose(ids.size())]);
  }
  if (!Edited()) {
    // The rows after those holding the pair as word and next: in a memory
    // that only Quibbo wrote, in the same order as the candidates.
    std::vector<int64_t> before = Ids(store_sql::kForwardBeforeIds, from.middle,
                                      Text(from.next), from.position);
    if (before.empty()) throw BrokenSentence(path(), from, direction);
    std::optional<WordRecord> after = RowAfter(before[choose(before.size())]);
    if (!after ||
        !Continues(*after, from.middle, Text(from.next), from.position)) {
      throw BrokenSentence(path(), from, direction);
    }
    return *after;
  }
  std::vector<int64_t> ids =
      Ids(store_sql::kForwardIds, from.middle, Text(from.next), from.position);
  if (ids.empty()) throw BrokenSentence(path(), from, direction);
  return Row(ids[choose(ids.size())]);
}

}  // namespace quibbo
