// Transactions and savepoints on the store, and what the store knows that
// lives only as long as one.
#include <sqlite3.h>

#include "engine/rows/store.h"
#include "engine/rows/store_sql.h"

namespace quibbo {

Store::Transaction::Transaction(Store& store, Kind kind, int64_t line)
    : store_(store), kind_(kind), line_(line) {
  Begin();
}

void Store::Transaction::Begin() {
  store_.known_.Ended(false);
  store_.Guard([&] {
    store_.file_->connection().Execute(
        kind_ == Kind::kWrite ? "BEGIN IMMEDIATE;" : "BEGIN;");
    store_.AlignPending();
    // Shown before any savepoint, which could take the views back.
    if (kind_ == Kind::kLater) {
      store_.file_->connection().Execute(store_sql::kShowPending);
    }
  });
  if (kind_ == Kind::kLater) store_.known_.later_line = line_;
  open_ = true;
}

void Store::Transaction::Restart() {
  sqlite3_exec(store_.file_->connection().handle(), "ROLLBACK;", nullptr,
               nullptr, nullptr);
  store_.known_.Ended(true);
  Begin();
}

Store::Transaction::~Transaction() {
  if (kept_) store_.Prepared(store_sql::kHoldSnapshot).Reset();
  RestoreCache();
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
  RestoreCache();
}

void Store::Transaction::CommitKeepingSnapshot() {
  store_.Guard([&] {
    // A statement that has read a row and is not reset keeps its read
    // transaction open through the COMMIT: SQLite releases the write lock
    // and the connection reads on from the state it just committed.
    sqlite::Statement& hold = store_.Prepared(store_sql::kHoldSnapshot);
    hold.Reset();
    hold.Step();
  });
  kept_ = true;
  Commit();
}

void Store::Transaction::GrowCache(int kib) {
  store_.Guard([&] {
    sqlite::Connection& db = store_.file_->connection();
    cache_size_ = db.QueryInt("PRAGMA cache_size");
    std::string grow = "PRAGMA cache_size = -";
    grow += std::to_string(kib);
    db.Execute(grow.c_str());
  });
}

void Store::Transaction::RestoreCache() {
  if (!cache_size_) return;
  // Best effort: a failure leaves a larger cache, nothing worse.
  std::string restore = "PRAGMA cache_size = ";
  restore += std::to_string(*cache_size_);
  sqlite3_exec(store_.file_->connection().handle(), restore.c_str(), nullptr,
               nullptr, nullptr);
  cache_size_.reset();
}

Store::Savepoint::Savepoint(Store& store)
    : store_(store), uncounted_(store.known_.uncounted.size()) {
  store_.Guard([&] { store_.file_->connection().Execute("SAVEPOINT s;"); });
}

Store::Savepoint::~Savepoint() {
  if (!open_) return;
  store_.known_.Forget(uncounted_);
  // After some failures SQLite has ended the transaction itself.
  sqlite3_exec(store_.file_->connection().handle(), "ROLLBACK TO s; RELEASE s;",
               nullptr, nullptr, nullptr);
}

void Store::Savepoint::Release() {
  store_.Guard([&] { store_.file_->connection().Execute("RELEASE s;"); });
  open_ = false;
}

bool Store::InTransaction() {
  return !sqlite3_get_autocommit(file_->connection().handle());
}

}  // namespace quibbo
