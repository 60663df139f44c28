// The rows of the memory: the only code that reads or writes tables `word`
// and `word_count` (besides the schema and its triggers, schema.h).
//
// Everything else asks the store: learning appends rows and counts words,
// reply generation asks for "the rows a walk may step to" (walk(),
// walk_reads.h), and the commands on the memory as a whole read, count and
// delete it sentence by sentence (store_sentences.cc). Each query says what
// it is for, never how the table is laid out. Every statement is listed in
// store_sql.h and run through the statement layer (statements.h), every
// value bound as a parameter. Words compare without regard to letter case
// or Unicode form through the `unicase` collation, which the schema declares
// on the three text columns, so that the indexes serve every lookup.
//
// word_count holds the number of rows of each word. Quibbo's connections run
// no triggers, so the store keeps the counts itself: rows appended are
// counted at the commit, in one pass, and rows deleted lower the counts by
// exactly what went.
//
// What the store learns within a transaction that the tables do not tell at
// once (the counts it read, the words it appended and has not counted yet)
// is kept by that transaction (Transaction::Cache): born with it, gone with
// it.
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
#include "engine/rows/statements.h"
#include "engine/rows/walk_reads.h"
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
  // `line`, without the write lock. One is open at a time on a store.
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
    friend class Store;
    friend class WalkReads;

    // What the store learns in this transaction that the tables do not tell
    // at once; it lives and dies with the transaction, so no one resets it.
    struct Cache {
      // Counts read through word_count, kept up to date with what the store
      // adds and removes meanwhile.
      std::unordered_map<std::string, int64_t, CaseBlindHash, CaseBlindEqual>
          counts;
      // Whether the memory was edited by hand.
      std::optional<bool> edited;
      // The words appended, not yet counted in word_count, and the number of
      // each, letter case ignored, for the first `tallied` of them.
      std::vector<std::string> uncounted;
      size_t tallied = 0;
      CaseBlindCounts tally;

      // The words appended from the `from`-th on were taken back.
      void TakeBack(size_t from);
    };

    void Begin();
    // This transaction is over: the store forgets it.
    void End();
    void RestoreCache();

    Store& store_;
    Kind kind_;
    int64_t line_;
    Cache cache_;
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

  // Rows whose word is `word`, those appended in the open transaction
  // included.
  int64_t CountWord(std::string_view word);

  // Number of rows. Reads every row: use walk().RowsUpTo where it will do.
  int64_t RowCount();

  // Deletes every row, and every count. Must run inside a write transaction.
  void DeleteAll();

  // The reads a reply's walks need (walk_reads.h).
  WalkReads& walk() { return walk_; }

  // The rows not stored yet (store_pending.cc).

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
  // The sentence that holds row `id`; unset when no row has that id. The
  // last sentence's span ends after every id.
  std::optional<Sentence> SentenceHolding(int64_t id);

  // The words and their counts.

  // Every distinct word (letter case ignored), each with its number of
  // rows, in word order.
  void ForEachWord(const std::function<void(const WordTally&)>& each);
  int64_t DistinctWordCount();
  // The `top` most frequent words, most frequent first, ties in word order.
  std::vector<WordTally> MostFrequentWords(size_t top);

 private:
  friend class WalkReads;

  // The open transaction's cache, for reads that may be kept: unset
  // outside a transaction, whose reads may each see another memory.
  Transaction::Cache* ReadCache();
  // Adds `delta` rows to the count of each word, dropping the counts that
  // reach zero.
  void AdjustCounts(
      const std::vector<std::pair<std::string_view, int64_t>>& delta);
  // Counts the words appended since the last flush into word_count.
  void FlushCounts();
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
  Statements statements_;
  WalkReads walk_;
  Transaction* open_ = nullptr;  // the transaction open on this store
  // Whether the connection may hold pending rows: it may write.
  bool holds_pending_ = false;
  // Whether the memory keeps the count of every word in table word_count
  // (always when opened for writing, which brings it up to date; a memory of
  // an earlier version opened for reading does not), marks edits by hand
  // (schema.h), and indexes its sentences' last rows.
  bool counted_ = false;
  bool marks_edits_ = false;
  bool indexes_sentence_ends_ = false;
};

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_ROWS_STORE_H_
