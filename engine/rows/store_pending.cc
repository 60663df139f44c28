// The rows a conversation answered but could not store yet: a TEMP table of
// the store's own connection, shown beside the stored rows by TEMP views
// while it holds any (store_sql.h). Moving rows from there into the memory
// happens inside one write transaction on that connection, so no read ever
// sees a row both pending and stored, or neither.
#include "engine/rows/store.h"
#include "engine/rows/store_sql.h"

namespace quibbo {

using namespace store_sql;

void Store::AlignPending() {
  if (!holds_pending_) return;
  const std::optional<int64_t> by = statements_.Id(kPendingShift);
  if (!by || *by == 0) return;
  statements_.Run(kNegatePendingIds);
  statements_.Run(kShiftPendingIds, {*by});
}

void Store::AppendPending(const WordRecord& record, int64_t line) {
  statements_.Run(kInsertPending, {record.previous, record.middle, record.next,
                                   record.position, line});
  // A count read through the views has one row more now.
  if (Transaction::Cache* cache = ReadCache()) {
    if (auto kept = cache->counts.find(record.middle);
        kept != cache->counts.end()) {
      ++kept->second;
    }
  }
}

int64_t Store::PendingLines() {
  return holds_pending_ ? statements_.Number(kPendingLines) : 0;
}

std::vector<PendingRow> Store::PendingRows() {
  std::vector<PendingRow> rows;
  if (!holds_pending_) return rows;
  statements_.ForEachRow(kPendingRows, {}, [&](const sqlite::Statement& read) {
    PendingRow& row = rows.emplace_back();
    row.record.previous = read.ColumnOptionalText(0);
    row.record.middle = read.ColumnText(1);
    row.record.next = read.ColumnOptionalText(2);
    row.record.position = read.ColumnInt(3);
    row.line = read.ColumnInt(4);
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
  statements_.Run(kDeletePending);
  Guard([&] { file_->connection().Execute(kHidePending); });
}

}  // namespace quibbo
