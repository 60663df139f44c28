// The rows a conversation answered but could not store yet: a TEMP table of
// the store's own connection, shown beside the stored rows by TEMP views
// while it holds any (store_sql.h). Moving rows from there into the memory
// happens inside one write transaction on that connection, so no read ever
// sees a row both pending and stored, or neither.
#include "engine/rows/store.h"
#include "engine/rows/store_sql.h"

namespace quibbo {

using sqlite::Statement;

void Store::AlignPending() {
  if (!holds_pending_) return;
  Statement& shift = Prepared(store_sql::kPendingShift);
  int64_t by = 0;
  {
    sqlite::ScopedReset scope(shift);
    if (!shift.Step() || shift.ColumnIsNull(0)) return;
    by = shift.ColumnInt(0);
  }
  if (by == 0) return;
  Statement& negate = Prepared(store_sql::kNegatePendingIds);
  Statement& move = Prepared(store_sql::kShiftPendingIds);
  sqlite::ScopedReset negating(negate);
  negate.Run();
  sqlite::ScopedReset moving(move);
  move.Bind(1, by);
  move.Run();
}

void Store::AppendPending(const WordRecord& record, int64_t line) {
  Guard([&] {
    Statement& insert = Prepared(store_sql::kInsertPending);
    sqlite::ScopedReset scope(insert);
    insert.BindUncopied(1, record.previous)
        .BindUncopied(2, std::string_view(record.middle))
        .BindUncopied(3, record.next)
        .Bind(4, record.position)
        .Bind(5, line);
    insert.Run();
    // The count read through the views, kept for the transaction, has one
    // row more now.
    if (auto kept = known_.stored_counts.find(record.middle);
        kept != known_.stored_counts.end()) {
      ++kept->second;
    }
  });
}

int64_t Store::PendingLines() {
  if (!holds_pending_) return 0;
  return Guard([&] {
    Statement& lines = Prepared(store_sql::kPendingLines);
    sqlite::ScopedReset scope(lines);
    lines.Step();
    return lines.ColumnInt(0);
  });
}

std::vector<PendingRow> Store::PendingRows() {
  std::vector<PendingRow> rows;
  if (!holds_pending_) return rows;
  Guard([&] {
    Statement& read = Prepared(store_sql::kPendingRows);
    sqlite::ScopedReset scope(read);
    while (read.Step()) {
      PendingRow& row = rows.emplace_back();
      row.record.previous = read.ColumnOptionalText(0);
      row.record.middle = read.ColumnText(1);
      row.record.next = read.ColumnOptionalText(2);
      row.record.position = read.ColumnInt(3);
      row.line = read.ColumnInt(4);
    }
  });
  return rows;
}

void Store::AddPending(const std::vector<PendingRow>& rows) {
  if (rows.empty()) return;
  Transaction later(*this, Transaction::Kind::kLater);
  for (const PendingRow& row : rows) AppendPending(row.record, row.line);
  later.Commit();
}

int64_t Store::StorePending() {
  std::vector<PendingRow> rows = PendingRows();
  for (const PendingRow& row : rows) Append(row.record);
  if (!rows.empty()) DropPending();
  return static_cast<int64_t>(rows.size());
}

void Store::DropPending() {
  if (!holds_pending_) return;
  Guard([&] {
    Statement& remove = Prepared(store_sql::kDeletePending);
    sqlite::ScopedReset scope(remove);
    remove.Run();
    file_->connection().Execute(store_sql::kHidePending);
  });
}

}  // namespace quibbo
