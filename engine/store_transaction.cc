// Transactions and savepoints on the store, and what the store knows that
// lives only as long as one.
#include <sqlite3.h>

#include "engine/pending_rows.h"
#include "engine/store.h"

namespace quibbo {

Store::Transaction::Transaction(Store& store, Kind kind)
    : store_(store), pending_(store.PendingCount()) {
  store_.known_.Ended(false);
  store_.Guard([&] {
    store_.file_->connection().Execute(kind == Kind::kWrite ? "BEGIN IMMEDIATE;"
                                                            : "BEGIN;");
  });
  store_.known_.later = kind == Kind::kLater;
}

Store::Transaction::~Transaction() {
  RestoreCache();
  if (!open_) return;
  if (store_.known_.later) store_.pending_->Truncate(pending_);
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
    : store_(store),
      uncounted_(store.known_.uncounted.size()),
      pending_(store.PendingCount()) {
  if (!store_.known_.later) {
    store_.Guard([&] { store_.file_->connection().Execute("SAVEPOINT s;"); });
  }
}

Store::Savepoint::~Savepoint() {
  if (!open_) return;
  if (store_.known_.later) {
    store_.pending_->Truncate(pending_);
    return;
  }
  store_.known_.Forget(uncounted_);
  store_.known_.last_id.reset();
  // After some failures SQLite has ended the transaction itself.
  sqlite3_exec(store_.file_->connection().handle(), "ROLLBACK TO s; RELEASE s;",
               nullptr, nullptr, nullptr);
}

void Store::Savepoint::Release() {
  if (!store_.known_.later) {
    store_.Guard([&] { store_.file_->connection().Execute("RELEASE s;"); });
  }
  open_ = false;
}

bool Store::InTransaction() {
  return !sqlite3_get_autocommit(file_->connection().handle());
}

}  // namespace quibbo
