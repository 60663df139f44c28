// Transactions and savepoints on the store, and the cache a transaction
// keeps while it is open.
#include <sqlite3.h>

#include "engine/rows/store.h"
#include "engine/rows/store_sql.h"

namespace quibbo {
namespace {

void RollBack(MemoryFile& file) {
  // Best effort: after some failures SQLite has ended the transaction
  // itself.
  sqlite3_exec(file.connection().handle(), "ROLLBACK;", nullptr, nullptr,
               nullptr);
}

}  // namespace

void Store::Transaction::Cache::TakeBack(size_t from) {
  for (size_t i = from; i < tallied; ++i) tally.Remove(uncounted[i]);
  tallied = std::min(tallied, from);
  uncounted.resize(from);
}

Store::Transaction::Transaction(Store& store, Kind kind, int64_t line)
    : store_(store), kind_(kind), line_(line) {
  Begin();
}

void Store::Transaction::Begin() {
  cache_ = {};
  store_.Guard([&] {
    store_.file_->connection().Execute(
        kind_ == Kind::kWrite ? "BEGIN IMMEDIATE;" : "BEGIN;");
    store_.open_ = this;
    store_.AlignPending();
    // Shown before any savepoint, which could take the views back.
    if (kind_ == Kind::kLater) {
      store_.file_->connection().Execute(store_sql::kShowPending);
    }
  });
  open_ = true;
}

void Store::Transaction::End() {
  if (store_.open_ == this) store_.open_ = nullptr;
}

void Store::Transaction::Restart() {
  RollBack(*store_.file_);
  End();
  Begin();
}

Store::Transaction::~Transaction() {
  if (kept_) store_.statements_.Prepared(store_sql::kHoldSnapshot).Reset();
  End();
  RestoreCache();
  if (open_) RollBack(*store_.file_);
}

void Store::Transaction::Commit() {
  store_.Guard([&] {
    store_.FlushCounts();
    store_.file_->connection().Execute("COMMIT;");
  });
  open_ = false;
  // A kept snapshot reads on as the transaction did, and keeps its cache.
  if (!kept_) End();
  RestoreCache();
}

void Store::Transaction::CommitKeepingSnapshot() {
  store_.Guard([&] {
    // A statement that has read a row and is not reset keeps its read
    // transaction open through the COMMIT: SQLite releases the write lock
    // and the connection reads on from the state it just committed.
    sqlite::Statement& hold =
        store_.statements_.Prepared(store_sql::kHoldSnapshot);
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
    : store_(store), uncounted_(store.open_->cache_.uncounted.size()) {
  store_.Guard([&] { store_.file_->connection().Execute("SAVEPOINT s;"); });
}

Store::Savepoint::~Savepoint() {
  if (!open_) return;
  if (store_.open_) store_.open_->cache_.TakeBack(uncounted_);
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
