// Learning many lines at once, as from a book, without composing replies.
//
// Every line is cut and stored exactly as Respond stores it: the same
// sentences, words and rows in the same order. The difference is that many
// sentences share one write transaction. Sentences are cut and collected
// without holding the memory; a batch of whole sentences is then stored in
// one transaction. Batches are long, about four seconds, because every batch
// rewrites each index page it touches: a long batch touches each page once
// for many rows. The larger the memory, the more pages a batch touches, and
// the more a short batch would cost per row. A program that wants the memory
// meanwhile asks the learner to make way through a file beside the memory,
// `<memory>-wait`; the learner then commits at the next sentence boundary and
// pauses; the program waits for that commit only. A conversation does not
// ask: it answers beside the learner and stores its lines between two
// batches, so the batches stay long. Where nobody can ask, the learner's
// batches are short, as a commit takes longer the more pages it writes.
// While it runs, the learner copies the write-ahead log back for every
// program on the memory. An interrupted run leaves whole sentences behind.
#ifndef QUIBBO_LEARN_H_
#define QUIBBO_LEARN_H_

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "quibbo/memory.h"

namespace quibbo {

class Store;
class WaitSignal;

// How a memory is opened for bulk learning: a page cache large enough to
// hold the index of a memory of millions of rows, and a write-ahead log
// allowed to grow to 64 MiB between checkpoints. The log is copied into the
// file on a thread of its own, beside the learning, and finished between
// batches.
inline constexpr StoreOptions kBulkStoreOptions = {.cache_kib = 256 * 1024,
                                                   .checkpoint_pages = 16384};

struct BatchLimits {
  // How long a batch should hold the write lock. Batches grow or shrink
  // towards it, between the two bounds below.
  std::chrono::milliseconds target{4000};
  // The target where no program can ask to come in: a commit then costs
  // the waiting program less.
  std::chrono::milliseconds short_target{100};
  int64_t min_rows = 1000;
  int64_t max_rows = 1000000;
  // Rows stored between two looks for a program that asked to come in.
  int64_t check_rows = 512;
  // Collected sentences are stored at the latest after this long, so a slow
  // input is not held back.
  std::chrono::milliseconds max_wait{500};
  // The write lock is left free this long after each commit.
  std::chrono::milliseconds pause{5};
};

struct LearnedCounts {
  int64_t lines = 0;
  int64_t sentences = 0;
  int64_t words = 0;  // rows stored

  LearnedCounts& operator+=(const LearnedCounts& other) {
    lines += other.lines;
    sentences += other.sentences;
    words += other.words;
    return *this;
  }
  LearnedCounts& operator-=(const LearnedCounts& other) {
    lines -= other.lines;
    sentences -= other.sentences;
    words -= other.words;
    return *this;
  }
};

class BulkLearner {
 public:
  // Opens the memory at `path` with kBulkStoreOptions for this learner
  // alone. Throws Error.
  static std::unique_ptr<BulkLearner> Open(const std::string& path,
                                           BatchLimits limits = {});

  // Learns into `store`, which outlives the learner.
  explicit BulkLearner(Store& store, BatchLimits limits = {});
  // Drops the sentences not yet stored; call Commit() to keep them.
  ~BulkLearner();
  BulkLearner(const BulkLearner&) = delete;
  BulkLearner& operator=(const BulkLearner&) = delete;

  // Collects the sentences of `line` and stores a batch when one is due.
  // The line must be valid UTF-8. Throws Error; then the batch is not
  // stored, while the batches stored before it stay.
  void Learn(std::string_view line);

  // Stores the sentences collected so far, copies the log back, and returns
  // once every sentence stored is on the disk (each batch's sync starts at
  // its commit and runs beside the next batch). Call it before reporting or
  // stopping.
  void Commit();

  // What is stored for good: the sentences of stored batches, and the lines
  // all of whose sentences were stored.
  const LearnedCounts& committed() const { return committed_; }
  // Stored or still collected.
  LearnedCounts learned() const {
    LearnedCounts all = committed_;
    return all += pending_;
  }

 private:
  // A collected sentence, kept as text until it is stored: a batch holds a
  // million rows, and their records would take a hundred times the memory.
  struct PendingSentence {
    std::string text;
    int64_t words;
    int64_t lines;  // that end with it
  };

  // Stores the sentences collected so far, in batches, without waiting for
  // the disk.
  void StoreCollected();
  // Stores sentences_ from `begin` on, in the current transaction, until the
  // end, until a program asks to come in, or once `limit` rows are stored;
  // returns the first sentence not stored.
  size_t StorePart(size_t begin, int64_t limit);
  // Rows that take about as long as the current target to store.
  int64_t BatchRows() const;

  std::unique_ptr<Store> owned_store_;  // set by Open
  Store& store_;
  BatchLimits limits_;
  std::unique_ptr<WaitSignal> wait_signal_;  // null where nobody can ask
  double rows_per_second_ = 0;               // as measured at the last commit
  std::vector<PendingSentence> sentences_;
  std::chrono::steady_clock::time_point first_pending_;
  LearnedCounts pending_;
  LearnedCounts committed_;
};

}  // namespace quibbo

#endif  // QUIBBO_LEARN_H_
