// Stores the rows a conversation said beside a bulk learner (pending_rows.h)
// on a thread and a connection of its own, as soon as the memory is free:
// between two of the learner's batches. It does not ask the learner to end a
// batch early, so the learner keeps its long batches; only a program that
// waits for the rows to be stored (WaitUntilStored, the end) asks it.
//
// Each time, it stores every row pending in one transaction, a savepoint per
// sentence, and syncs the log to the disk.
#ifndef QUIBBO_ENGINE_PENDING_WRITER_H_
#define QUIBBO_ENGINE_PENDING_WRITER_H_

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "engine/error.h"
#include "engine/pending_rows.h"
#include "engine/store.h"

namespace quibbo {

class PendingWriter {
 public:
  // Stores `rows` into the memory at `memory_path`; a failure to store them
  // drops them. Stops waiting for a memory held by a program that is no
  // learner after `timeout`.
  PendingWriter(std::string memory_path, std::shared_ptr<PendingRows> rows,
                std::chrono::milliseconds timeout);
  // Stores what is left first, asking a learner to make way.
  ~PendingWriter();
  PendingWriter(const PendingWriter&) = delete;
  PendingWriter& operator=(const PendingWriter&) = delete;

  // Rows were added.
  void Wake();

  // Waits until no row is pending, asking a learner to make way, for at
  // most the timeout; returns whether none is.
  bool WaitUntilStored();

  // The failure that dropped rows since the last call, if any.
  std::optional<Error> TakeFailure();

 private:
  void Run();
  // Stores the rows pending now, opening the memory first if need be.
  // Throws Error.
  void StorePending(std::unique_ptr<Store>& store);
  bool Stored();

  std::string path_;
  std::shared_ptr<PendingRows> rows_;
  std::chrono::milliseconds timeout_;
  std::mutex mutex_;  // guards what follows
  std::condition_variable wake_;
  std::condition_variable stored_;
  bool woken_ = false;
  int waiting_ = 0;  // programs waiting for the rows to be stored
  bool stopping_ = false;
  std::optional<Error> failure_;
  std::thread thread_;
};

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_PENDING_WRITER_H_
