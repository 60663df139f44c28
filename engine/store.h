// The rows of the memory and the queries that reply generation and learning
// make of them.
//
// This is the only code that reads or writes table `word` row by row. Every
// value is bound as a parameter; words compare without regard to letter case
// through the `unicase` collation, which the schema declares on the three
// text columns, so that the indexes serve every lookup below. Each query says
// what it is for, not how the table is laid out: reply generation asks for
// "the rows a walk may step to", never for SQL.
#ifndef QUIBBO_ENGINE_STORE_H_
#define QUIBBO_ENGINE_STORE_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/memory_file.h"
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

// Which way a walk heads. Used for neighbouring rows and walk candidates.
enum class Direction { kBackward, kForward };

class Store {
 public:
  using Access = MemoryFile::Access;

  // Opens the memory at `path`; see MemoryFile::Open. Throws Error.
  static std::unique_ptr<Store> Open(const std::string& path, Access access,
                                     const StoreOptions& options = {});

  explicit Store(std::unique_ptr<MemoryFile> file);
  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  MemoryFile& file() { return *file_; }
  const std::string& path() const { return file_->path(); }

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
  // The row with this id; an Error (kDamaged) when there is none.
  WordRecord Row(int64_t id);

  // The row that continues `row`'s sentence: stored right after it, holding
  // `row`'s next word with `row`'s word before it, one position on. Unset
  // when `row` ends its sentence or the row after it is no continuation (a
  // memory edited by hand).
  std::optional<WordRecord> NextInSentence(const WordRecord& row);

  // Nearest row after `id` whose word is `word`.
  std::optional<int64_t> NextIdWithWord(std::string_view word, int64_t id);
  // Last row whose word is `word`.
  std::optional<int64_t> LastIdWithWord(std::string_view word);
  // Nearest row before (kBackward) or after (kForward) `id` at `position`.
  std::optional<int64_t> NearestIdAtPosition(int64_t position, int64_t id,
                                             Direction direction);

  // Rows whose word is `word`.
  int64_t CountWord(std::string_view word);

  // Picks one of `n` rows, 0 <= result < n.
  using Chooser = std::function<uint64_t(uint64_t n)>;

  // Draws one row, every row equally likely, and returns its id; at least
  // one row must exist. While ids run without gaps, as they do in a memory
  // that was only ever appended to, this is IdOfRow(choose(RowCount())).
  // After rows were deleted (forget, an edit by hand) it draws ids of the
  // id range until one names a row, one lookup each, rather than reading
  // every row up to the k-th.
  int64_t DrawId(const Chooser& choose);

  // One step of a walk from `from`, which must have the neighbour on that
  // side, to one of the rows holding the same word pair:
  //  kBackward: word = from.previous, next = from.middle, position <= from's;
  //  kForward: previous = from.middle, word = from.next, position >= from's.
  // `choose` picks among them, ordered by position, then id; it is called
  // once, and once more only in a memory edited by hand. Throws Error
  // (kDamaged) when there is none, which only such a memory can cause.
  WordRecord Step(Direction direction, const WordRecord& from,
                  const Chooser& choose);

 private:
  friend class Transaction;
  // One of the statements listed in store.cc, prepared on first use.
  sqlite::Statement& Prepared(int which);
  // Adds the counts of the words appended since the last flush to
  // word_count.
  void FlushCounts();
  // Drops what was read once per transaction (data_version, stored counts),
  // as a transaction begins or ends.
  void ForgetSnapshot();
  int64_t DataVersion();
  // The smallest and the greatest id; unset when there is no row.
  std::optional<std::pair<int64_t, int64_t>> IdRange();
  std::vector<int64_t> Ids(int which, std::string_view first,
                           std::string_view second, int64_t position);
  std::optional<WordRecord> RowAfter(int64_t id);
  template <typename Body>
  auto Guard(Body&& body) -> decltype(body()) {
    return file_->Guard(std::forward<Body>(body));
  }

  std::unique_ptr<MemoryFile> file_;
  std::vector<std::unique_ptr<sqlite::Statement>> statements_;

  // The row count is cached while no other connection has written, as
  // counting a large table reads all of it.
  std::optional<int64_t> cached_rows_;
  int64_t cached_version_ = -1;
  // Whether cached_version_ was read inside the open transaction, whose
  // snapshot no other connection can change: a reply asks for the count a
  // few times and reads data_version once.
  bool version_current_ = false;

  // The words the current transaction appended, yet to be counted in
  // word_count.
  std::vector<std::string> pending_words_;
  // Up to this many of them are counted by CountWord without a flush.
  static constexpr size_t kPendingCountedHere = 256;
  // Counts read from word_count inside the open transaction, whose snapshot
  // no other connection can change; choosing the rarest word of a line asks
  // for the rarest so far again at every word.
  std::vector<std::pair<std::string, int64_t>> stored_counts_;
};

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_STORE_H_
