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
// A conversation beside a bulk learner holds the rows of the lines it
// answered but could not store yet ("pending"), in a TEMP table of its own
// connection, until StorePending stores them. While any wait, TEMP views put
// them beside the stored rows (store_sql.h): every read below sees them as
// the newest rows, numbered on from the newest stored one, exactly as it
// would see them stored. They live only as long as this Store.
//
// A sentence is the run of rows from one at position 0 up to the next such
// row, in id order; rows before the first row at position 0 (an edit by
// hand) make a sentence of their own. That rule lives here only.
#ifndef QUIBBO_ENGINE_ROWS_STORE_H_
#define QUIBBO_ENGINE_ROWS_STORE_H_

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/file/memory_file.h"
#include "engine/file/sqlite.h"
#include "engine/rows/word_record.h"
#include "engine/text/text.h"
#include "quibbo/memory.h"

namespace quibbo {

// The rows with ids first <= id < end: a sentence, say.
struct IdSpan {
  int64_t first = 0;
  int64_t end = 0;

  bool operator==(const IdSpan&) const = default;
};

// A row not stored yet, and the number of the line it came from.
struct PendingRow {
  WordRecord record;
  int64_t line = 0;
};

class Store {
 public:
  using Access = MemoryFile::Access;

  // Opens the memory at `path` (MemoryFile::Open), checks that it holds
  // Quibbo's tables and, opened for writing, brings them up to date.
  // Throws Error.
  static std::unique_ptr<Store> Open(const std::string& path, Access access,
                                     const StoreOptions& options = {});

  // The same on a file already open.
  explicit Store(std::unique_ptr<MemoryFile> file);
  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  MemoryFile& file() { return *file_; }
  const std::string& path() const { return file_->path(); }

  // A transaction on this store; rolls back on destruction unless committed.
  // Every read inside it sees one snapshot of the memory. A write
  // transaction takes the write lock at once (waiting for the busy timeout at
  // most), so it never fails half-way for want of the lock. kLater reads like
  // kRead, and appends to the pending rows instead of the memory, as line
  // `line`, without the write lock.
  class Transaction {
   public:
    enum class Kind { kRead, kWrite, kLater };
    Transaction(Store& store, Kind kind, int64_t line = 0);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void Commit();
    // Commits, then goes on reading the memory exactly as the commit left
    // it, whatever other programs store meanwhile, until this object is
    // destroyed: a reply composed after its line's commit reads what the
    // line was learned against.
    void CommitKeepingSnapshot();
    // Begins again after SQLite ended the transaction itself (after a full
    // disk, say); whatever it held is gone.
    void Restart();

    // Lets this transaction keep up to `kib` KiB of pages in memory, so that
    // a large one writes each page it changes once; the cache is as before
    // once it ends.
    void GrowCache(int kib);

   private:
    void Begin();
    void RestoreCache();

    Store& store_;
    Kind kind_;
    int64_t line_;
    std::optional<int64_t> cache_size_;  // to restore, as PRAGMA gives it
    bool open_ = true;
    bool kept_ = false;  // a snapshot is kept after the commit
  };

  // Marks a point inside a write or kLater transaction; unless released,
  // its destruction takes back every row appended since, and nothing else.
  class Savepoint {
   public:
    explicit Savepoint(Store& store);
    ~Savepoint();
    Savepoint(const Savepoint&) = delete;
    Savepoint& operator=(const Savepoint&) = delete;
    void Release();

   private:
    Store& store_;
    size_t uncounted_;
    bool open_ = true;
  };

  // Whether a transaction is open on this store's connection: SQLite ends
  // one itself after some failures (a full disk, say).
  bool InTransaction();

  // Appends `record` as the newest row; its id is ignored. Must run inside a
  // write or kLater transaction.
  void Append(const WordRecord& record);

  // The rows not stored yet (see above).

  // The number of lines whose rows wait.
  int64_t PendingLines();
  // Stores every pending row, in order, and forgets them; returns their
  // number. Must run inside a write transaction, so that its commit is the
  // one moment they move from pending to stored.
  int64_t StorePending();
  // Forgets the pending rows without storing them: a wipe takes them too.
  // Must run inside a write transaction.
  void DropPending();
  // The pending rows with their lines, oldest first, to move them to
  // another Store (AddPending) when the memory is opened anew.
  std::vector<PendingRow> PendingRows();
  void AddPending(const std::vector<PendingRow>& rows);

  // Deletes every row, and every count. Must run inside a write transaction.
  void DeleteAll();

  // Number of rows. Reads every row: use RowsUpTo where it will do.
  int64_t RowCount();
  // The number of rows, or `limit` if there are more; reads at most that
  // many.
  int64_t RowsUpTo(int64_t limit);
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
  // Nearest row before (kBackward) or after (kForward) `id` at `position`
  // (store_position.cc). A few index lookups in a memory whose sentences
  // each run in consecutive ids, as Quibbo stores them, whatever rows were
  // deleted since; in one edited otherwise, rows that stand in no such run
  // may be passed over.
  std::optional<int64_t> NearestIdAtPosition(int64_t position, int64_t id,
                                             Direction direction);

  // Rows whose word is `word`, those appended in the open transaction
  // included.
  int64_t CountWord(std::string_view word);

  // Picks one of `n` rows, 0 <= result < n.
  using Chooser = std::function<uint64_t(uint64_t n)>;

  // Draws one row, every row equally likely, and returns its id; at least
  // one row must exist. While ids run without gaps, as they do in a memory
  // that was only ever appended to, this is IdOfRow(choose(RowCount())),
  // without counting. After rows were deleted (forget, an edit by hand) it
  // draws ids of the id range until one names a row, one lookup each, and
  // only after many misses reads the rows up to the k-th.
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
  // One sentence: the rows it spans, `first` being the id of its first row,
  // and its text as ForEachSentence gives it.
  struct Sentence {
    IdSpan span;
    std::string text;
    int64_t rows = 0;
  };
  // The sentence that holds row `id`; unset when no row has that id. A
  // pending row's sentence is one of the pending rows' (ids change once
  // stored). The last stored sentence's span ends after every id.
  std::optional<Sentence> SentenceHolding(int64_t id);

  // Every distinct word (letter case ignored), each with its number of
  // rows, in word order.
  void ForEachWord(const std::function<void(const WordTally&)>& each);
  int64_t DistinctWordCount();
  // The `top` most frequent words, most frequent first, ties in word order.
  std::vector<WordTally> MostFrequentWords(size_t top);

 private:
  friend class Transaction;
  friend class Savepoint;
  // One of the statements listed in store_sql.h, prepared on first use.
  sqlite::Statement& Prepared(int which);
  // Adds `delta` rows to the count of each word, dropping the counts that
  // reach zero.
  void AdjustCounts(
      const std::vector<std::pair<std::string_view, int64_t>>& delta);
  // Counts the words appended since the last flush into word_count.
  void FlushCounts();
  // The smallest and the greatest id of the stored rows; unset when there
  // is no row.
  std::optional<std::pair<int64_t, int64_t>> IdRange();
  std::vector<int64_t> Ids(int which, std::string_view first,
                           std::string_view second, int64_t position);
  // The id statement `which` finds for its one or two parameters.
  std::optional<int64_t> SeekId(int which, int64_t first,
                                std::optional<int64_t> second = std::nullopt);
  // IdOfRow, given the number of stored rows.
  int64_t IdOfRow(int64_t k, int64_t stored);
  // Whether the memory was edited by hand and not found consistent since.
  bool Edited();
  // Moves the pending rows, if any, to follow the newest stored row at once,
  // as a learner may have stored rows since they were numbered. Run as a
  // transaction begins.
  void AlignPending();
  // Appends `record` to the pending rows as part of line `line`.
  void AppendPending(const WordRecord& record, int64_t line);
  template <typename Body>
  auto Guard(Body&& body) -> decltype(body()) {
    return file_->Guard(std::forward<Body>(body));
  }

  std::unique_ptr<MemoryFile> file_;
  std::vector<std::unique_ptr<sqlite::Statement>> statements_;
  // Whether the connection may hold pending rows: it may write.
  bool holds_pending_ = false;
  // Whether the memory keeps the count of every word in table word_count
  // (always when opened for writing, which brings it up to date; a memory of
  // an earlier version opened for reading does not), marks edits by hand
  // (schema.h), and indexes its sentences' last rows.
  bool counted_ = false;
  bool marks_edits_ = false;
  bool indexes_sentence_ends_ = false;

  // What the store knows that the tables do not tell at once. Every write
  // goes through the store, so it alone keeps these right; Transaction
  // calls Ended() as a transaction begins and ends.
  struct Known {
    // The open transaction appends to the pending rows, as this line.
    std::optional<int64_t> later_line;
    // Edited(), as read in the open transaction.
    std::optional<bool> edited;
    // The words the open transaction appended, not yet counted in
    // word_count, and the number of each, letter case ignored, for the
    // first `tallied` of them.
    std::vector<std::string> uncounted;
    size_t tallied = 0;
    CaseBlindCounts tally;
    // Counts of word_count, as the open transaction read them.
    std::unordered_map<std::string, int64_t, CaseBlindHash, CaseBlindEqual>
        stored_counts;

    // The words from the `from`-th on were taken back.
    void Forget(size_t from) {
      for (size_t i = from; i < tallied; ++i) tally.Remove(uncounted[i]);
      tallied = std::min(tallied, from);
      uncounted.resize(from);
    }
    // A transaction begins or ends; what it wrote is gone if `rolled_back`.
    void Ended(bool rolled_back) {
      later_line.reset();
      edited.reset();
      stored_counts.clear();
      if (rolled_back) Forget(0);
    }
  } known_;
};

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_ROWS_STORE_H_
