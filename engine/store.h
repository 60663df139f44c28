// The memory: table `word` in an SQLite file, one row per stored occurrence
// of a word in a learned sentence.
//
// This is the only code that speaks SQL. Every value is bound as a parameter;
// words are compared without regard to letter case through the `unicase`
// collation, which every connection registers and the schema declares on the
// three text columns, so that the indexes serve every lookup below.
//
// Opening never creates anything: a missing file, a folder, a file that is not
// SQLite, or one without a usable table `word` is a StoreError naming the path.
// A memory locked by another program is waited for up to the busy timeout,
// then reported; nothing ever waits without bound.
#ifndef QUIBBO_ENGINE_STORE_H_
#define QUIBBO_ENGINE_STORE_H_

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/sqlite.h"

namespace quibbo {

// One row of table `word`: one occurrence of one word in one sentence.
struct WordRecord {
  int64_t id = 0;                       // assigned by the store, grows
  std::optional<std::string> previous;  // unset for a sentence's first word
  std::string middle;                   // the word itself
  std::optional<std::string> next;      // unset for a sentence's last word
  int64_t position = 0;                 // index in the sentence, from 0

  bool operator==(const WordRecord&) const = default;
};

struct StoreOptions {
  // How long to wait for another program that holds the memory.
  std::chrono::milliseconds busy_timeout{3000};
  // Page cache size; small keeps the chat's footprint low.
  int cache_kib = 8192;
  // Pages the write-ahead log may grow to before it is copied into the
  // memory file. Bulk learning rewrites the same index pages in every
  // batch, and copies each of them once per checkpoint.
  int checkpoint_pages = 1000;
};

// Which way a walk heads. Used for neighbouring rows and walk candidates.
enum class Direction { kBackward, kForward };

class Store {
 public:
  enum class Access { kReadWrite, kReadOnly };

  // Opens the memory at `path`. kReadWrite fails if the file is read-only.
  static std::unique_ptr<Store> Open(const std::string& path, Access access,
                                     const StoreOptions& options = {});

  // Creates an empty memory at `path`. Refuses when anything exists there.
  static void Create(const std::string& path);

  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  const std::string& path() const { return path_; }

  // False once `path` no longer names the file that was opened (deleted,
  // replaced), so callers reopen instead of writing into a vanished file.
  bool StillAtPath() const;

  // A transaction on this store; rolls back on destruction unless committed.
  // A write transaction takes the write lock at once (waiting for the busy
  // timeout at most), so it never fails half-way for want of the lock.
  class Transaction {
   public:
    enum class Kind { kRead, kWrite };
    Transaction(Store& store, Kind kind);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void Commit();

   private:
    Store& store_;
    bool open_ = true;
  };

  // Appends `record` as the newest row; its id is ignored. Must run inside a
  // write transaction.
  void Append(const WordRecord& record);

  // Deletes every row. Must run inside a write transaction.
  void DeleteAll();

  // Number of rows.
  int64_t RowCount();
  // The id of the k-th row in id order, 0 <= k < RowCount().
  int64_t IdOfRow(int64_t k);
  // The row with this id; a StoreError when there is none.
  WordRecord Row(int64_t id);
  // The row stored right after `id`, if any.
  std::optional<WordRecord> RowAfter(int64_t id);

  // Nearest row after `id` whose word is `word`.
  std::optional<int64_t> NextIdWithWord(std::string_view word, int64_t id);
  // Last row whose word is `word`.
  std::optional<int64_t> LastIdWithWord(std::string_view word);
  // Nearest row before (kBackward) or after (kForward) `id` at `position`.
  std::optional<int64_t> NearestIdAtPosition(int64_t position, int64_t id,
                                             Direction direction);

  // Rows whose word is `word`.
  int64_t CountWord(std::string_view word);

  // The ids of the rows a walk may step to from `from`:
  //  kBackward: word = from.previous, next = from.middle, position <= from's;
  //  kForward: previous = from.middle, word = from.next, position >= from's.
  // `from` must have the neighbour on that side. Candidates are ordered by
  // position, then id. Read in one pass, so counting them and picking one
  // costs a single look.
  std::vector<int64_t> CandidateIds(Direction direction,
                                    const WordRecord& from);

  // Statistics; each reads the whole table or one index once.
  struct WordTally {
    std::string word;
    int64_t count = 0;
  };
  // The number of distinct words, letter case ignored, and the `top` most
  // frequent ones, most frequent first (ties in word order).
  int64_t TallyWords(size_t top, std::vector<WordTally>* most_frequent);
  // Stored sentences: each has exactly one row at position 0.
  int64_t SentenceCount();
  // The size of the database, as its file has it once the write-ahead log
  // has been copied back into it.
  int64_t DatabaseBytes();

  sqlite::Connection& connection() { return *db_; }

 private:
  Store(std::string path, std::unique_ptr<sqlite::Connection> db, dev_t device,
        ino_t inode);
  void CheckSchema();
  int64_t SchemaVersion();
  void Upgrade();
  // Adds the counts of the words appended since the last flush to
  // word_count.
  void FlushCounts();
  sqlite::Statement& Prepared(int which, const char* sql);
  [[noreturn]] void Fail(const sqlite::SqliteError& error) const;
  [[noreturn]] void ChangedWhileRead() const;

  // Runs `body`, turning SQLite's failures into a StoreError that names the
  // memory file.
  template <typename Body>
  auto Guard(Body&& body) -> decltype(body()) {
    try {
      return body();
    } catch (const sqlite::SqliteError& error) {
      Fail(error);
    }
  }
  int64_t DataVersion();
  static int WaitWhileBusy(void* self, int attempt);

  std::string path_;
  std::unique_ptr<sqlite::Connection> db_;
  std::chrono::milliseconds busy_timeout_{0};
  std::chrono::steady_clock::time_point busy_since_;
  dev_t device_;
  ino_t inode_;
  std::vector<std::unique_ptr<sqlite::Statement>> statements_;

  // The row count is cached while no other connection has written, as
  // counting a large table reads all of it.
  std::optional<int64_t> cached_rows_;
  int64_t cached_version_ = -1;

  // Whether the memory keeps word_count (a read-only memory of an earlier
  // version does not), and what the current transaction has yet to add.
  bool counted_ = false;
  // In the order first appended, so a word's first spelling is kept.
  std::vector<std::pair<std::string, int64_t>> pending_counts_;
  std::unordered_map<std::string, size_t> pending_index_;
};

// Describes a failure of the SQLite file at `path` for a person.
std::string DescribeStoreFailure(int code, const std::string& message,
                                 const std::string& path);

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_STORE_H_
