// The rows of the memory: the only code that reads or writes tables `word`
// and `word_count` (besides the schema and its triggers, schema.h).
//
// Everything else asks the store: learning appends rows, reply generation
// asks for "the rows a walk may step to", and the commands on the memory as a
// whole read, count and delete it sentence by sentence (store_sentences.cc).
// Each query says what it is for, never how the table is laid out. Every
// value is bound as a parameter, and every statement is listed in
// store_sql.h. Words compare without regard to letter case through the
// `unicase` collation, which the schema declares on the three text columns,
// so that the indexes serve every lookup below.
//
// word_count holds the number of rows of each word. Quibbo's connections run
// no triggers, so the store keeps the counts itself: rows appended are
// counted at the commit, in one pass, and rows deleted lower the counts by
// exactly what went.
//
// A sentence is the run of rows from one at position 0 up to the next such
// row, in id order; rows before the first row at position 0 (an edit by
// hand) make a sentence of their own. That rule lives here only.
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
#include "engine/word_record.h"

namespace quibbo {

// The rows with ids first <= id < end: a sentence, say.
struct IdSpan {
  int64_t first = 0;
  int64_t end = 0;

  bool operator==(const IdSpan&) const = default;
};

// A word and the number of its rows.
struct WordTally {
  std::string word;
  int64_t count = 0;
};

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

  // Deletes every row, and every count. Must run inside a write transaction.
  void DeleteAll();

  // Number of rows.
  int64_t RowCount();
  // The id of the k-th row in id order, 0 <= k < RowCount().
  int64_t IdOfRow(int64_t k);
  // The row with this id; an Error (kDamaged) when there is none.
  WordRecord Row(int64_t id);

  // The row stored right after row `id`; unset when it is the last.
  std::optional<WordRecord> RowAfter(int64_t id);

  // Nearest row after `id` whose word is `word`.
  std::optional<int64_t> NextIdWithWord(std::string_view word, int64_t id);
  // Last row whose word is `word`.
  std::optional<int64_t> LastIdWithWord(std::string_view word);
  // Nearest row before (kBackward) or after (kForward) `id` at `position`.
  std::optional<int64_t> NearestIdAtPosition(int64_t position, int64_t id,
                                             Direction direction);

  // Rows whose word is `word`, those appended in the open transaction
  // included.
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
  // once. In a memory only Quibbo wrote, the forward candidates are the rows
  // right after those holding the pair as word and next, which one index
  // finds; in one edited by hand they are looked for as such. Throws Error
  // (kDamaged) when there is none, which only such a memory can cause.
  WordRecord Step(Direction direction, const WordRecord& from,
                  const Chooser& choose);

  // The memory sentence by sentence (store_sentences.cc).

  // Calls `each` with the text of every sentence, its words joined by
  // single spaces (the sentence exactly as it was stored), and its number of
  // rows; oldest first. Whatever `each` throws goes to the caller.
  using EachSentence =
      std::function<void(const std::string& text, int64_t rows)>;
  void ForEachSentence(const EachSentence& each);
  // The same for the sentences `spans` name, in their order.
  void ForEachSentenceIn(const std::vector<IdSpan>& spans,
                         const EachSentence& each);
  // The sentences that hold a row whose word is one of `words` (letter case
  // ignored), each once, in id order.
  std::vector<IdSpan> SentencesHolding(const std::vector<std::string>& words);
  // Deletes the rows of `spans` and lowers word_count by exactly the rows
  // deleted; returns their number. Must run inside a write transaction.
  int64_t DeleteSentences(const std::vector<IdSpan>& spans);
  int64_t SentenceCount();

  // Every distinct word (letter case ignored), each with its number of
  // rows, in word order.
  void ForEachWord(const std::function<void(const WordTally&)>& each);
  int64_t DistinctWordCount();
  // The `top` most frequent words, most frequent first, ties in word order.
  std::vector<WordTally> MostFrequentWords(size_t top);

 private:
  friend class Transaction;
  // One of the statements listed in store_sql.h, prepared on first use.
  sqlite::Statement& Prepared(int which);
  // Adds `delta` rows to the count of each word, dropping the counts that
  // reach zero.
  void AdjustCounts(
      const std::vector<std::pair<std::string_view, int64_t>>& delta);
  // Counts the words appended since the last flush into word_count.
  void FlushCounts();
  int64_t DataVersion();
  // The smallest and the greatest id; unset when there is no row.
  std::optional<std::pair<int64_t, int64_t>> IdRange();
  std::vector<int64_t> Ids(int which, std::string_view first,
                           std::string_view second, int64_t position);
  // Whether the memory was edited by hand and not found consistent since.
  bool Edited();
  template <typename Body>
  auto Guard(Body&& body) -> decltype(body()) {
    return file_->Guard(std::forward<Body>(body));
  }

  std::unique_ptr<MemoryFile> file_;
  std::vector<std::unique_ptr<sqlite::Statement>> statements_;

  // What the store knows that the tables do not tell at once. Every write
  // goes through the store, so it alone keeps these right; Transaction
  // calls Ended() as a transaction begins and ends.
  struct Known {
    // The row count, while data_version is `version`: counting a large
    // table reads all of it, and no other connection has written meanwhile.
    std::optional<int64_t> rows;
    int64_t version = -1;
    // Whether `version` was read inside the open transaction, whose
    // snapshot no other connection can change: a reply asks for the count a
    // few times and reads data_version once.
    bool version_current = false;
    // Edited(), as read in the open transaction.
    std::optional<bool> edited;
    // The words the open transaction appended, not yet counted in
    // word_count.
    std::vector<std::string> uncounted;

    // A transaction begins or ends; what it wrote is gone if `rolled_back`.
    void Ended(bool rolled_back) {
      version_current = false;
      edited.reset();
      if (!rolled_back) return;
      rows.reset();
      uncounted.clear();
    }
  } known_;
  // Up to this many uncounted words are counted by CountWord itself rather
  // than flushed into word_count first.
  static constexpr size_t kUncountedCountedHere = 256;
};

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_STORE_H_
