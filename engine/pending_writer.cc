#include "engine/pending_writer.h"

#include "engine/wait_signal.h"

namespace quibbo {

using Clock = std::chrono::steady_clock;

PendingWriter::PendingWriter(std::string memory_path,
                             std::shared_ptr<PendingRows> rows,
                             std::chrono::milliseconds timeout)
    : path_(std::move(memory_path)),
      rows_(std::move(rows)),
      timeout_(timeout),
      thread_(&PendingWriter::Run, this) {}

PendingWriter::~PendingWriter() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    woken_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void PendingWriter::Wake() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    woken_ = true;
  }
  wake_.notify_one();
}

bool PendingWriter::Stored() {
  std::lock_guard<std::mutex> lock(rows_->mutex());
  return rows_->rows().empty();
}

bool PendingWriter::WaitUntilStored() {
  if (Stored()) return true;
  std::unique_lock<std::mutex> lock(mutex_);
  ++waiting_;
  woken_ = true;
  wake_.notify_one();
  const bool stored =
      stored_.wait_for(lock, timeout_, [this] { return Stored(); });
  --waiting_;
  return stored;
}

std::optional<Error> PendingWriter::TakeFailure() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(failure_, std::nullopt);
}

void PendingWriter::StorePending(std::unique_ptr<Store>& store) {
  if (!store || !store->file().StillAtPath()) {
    store.reset();
    // No busy wait: the learner's batch is not waited for here, but
    // tried again in a moment.
    store = Store::Open(path_, Store::Access::kReadWrite,
                        {.busy_timeout = std::chrono::milliseconds(0)});
  }
  std::vector<WordRecord> rows;
  {
    std::lock_guard<std::mutex> lock(rows_->mutex());
    rows = rows_->rows();
  }
  Store::Transaction batch(*store, Store::Transaction::Kind::kWrite);
  auto commit = [&] {
    // Under the lock, so that no reply reads the rows both stored and
    // pending, or neither.
    std::lock_guard<std::mutex> lock(rows_->mutex());
    batch.Commit();
    rows_->DropFirst(rows.size());
  };
  try {
    for (size_t begin = 0; begin < rows.size();) {
      Store::Savepoint sentence(*store);
      do {
        store->Append(rows[begin++]);
      } while (begin < rows.size() && rows[begin].position != 0);
      sentence.Release();
    }
  } catch (const Error&) {
    // The sentences before the failed one are kept; it and the rest go
    // (Run).
    try {
      if (store->InTransaction()) commit();
    } catch (const Error&) {
    }
    throw;
  }
  commit();
  store->file().Durable();
}

void PendingWriter::Run() {
  std::unique_ptr<Store> store;
  // Since when the memory was found busy, and the program is stopping.
  std::optional<Clock::time_point> stopping_since;
  Clock::time_point busy_since;
  bool busy = false;
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    wake_.wait(lock, [this] { return woken_; });
    woken_ = false;
    if (stopping_ && !stopping_since) stopping_since = Clock::now();
    const bool asking = waiting_ > 0 || stopping_;
    lock.unlock();
    std::optional<Error> failure;
    if (!Stored()) {
      try {
        StorePending(store);
        busy = false;
      } catch (const Error& error) {
        const Clock::time_point now = Clock::now();
        if (!std::exchange(busy, true)) busy_since = now;
        // A learner's batch is waited for; a program that is no learner
        // only as long as a reply would wait, and so is anyone once this
        // program stops.
        const bool given_up =
            error.kind() != Error::Kind::kBusy ||
            (stopping_since
                 ? now - *stopping_since >= timeout_
                 : !LearnerAtWork(path_) && now - busy_since >= timeout_);
        if (given_up) {
          std::lock_guard<std::mutex> rows(rows_->mutex());
          rows_->DropFirst(rows_->rows().size());
          failure = error;
          busy = false;
        } else {
          if (asking) AskToMakeWay(path_);
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
      }
    }
    const bool left = !Stored();
    lock.lock();
    if (failure) failure_ = failure;
    stored_.notify_all();
    if (left) {
      woken_ = true;  // new rows, or the memory was busy: again
    } else if (stopping_) {
      break;
    }
  }
}

}  // namespace quibbo
