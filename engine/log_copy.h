// When the write-ahead log is copied back into the memory file, and by whom.
//
// In write-ahead-log mode every commit appends to the log. SQLite would copy
// the log back inside whichever commit crosses its threshold, and that one
// reply would pay for all of them. Instead, the policy here:
//  - Once the log holds `checkpoint_pages`, a thread of its own (Checkpointer)
//    copies the bulk beside readers and writers; nothing waits for it.
//  - The log starts afresh only once a copy has reached its very end with no
//    transaction open, which a copy beside a conversation seldom manages. So
//    the last few pages (at most 1/kFinishShare of checkpoint_pages) are
//    copied when the program says it is idle: while its user reads a reply,
//    or between a learner's batches.
//  - Should the log still grow, past kLogBound / 2 times checkpoint_pages an
//    idle moment finishes the copy whatever it costs, and past kLogBound
//    times a commit copies it itself, so the log stays bounded however the
//    copies fall behind (a reader holding old pages, say).
//  - While a bulk learner works on the memory, it alone copies the log, as
//    its batches let it (Lead): others would copy its pages inside their
//    own commits and idle moments.
// The programs only say two things: a commit happened (SQLite's log hook,
// through MemoryFile), and the program is idle (Idle).
#ifndef QUIBBO_ENGINE_LOG_COPY_H_
#define QUIBBO_ENGINE_LOG_COPY_H_

#include <memory>
#include <string>

#include "engine/checkpointer.h"

struct sqlite3;

namespace quibbo {

// How far past checkpoint_pages the log may grow while the background copy
// lags before a commit copies it itself.
inline constexpr int kLogBound = 8;

// At most this share of checkpoint_pages is left for an idle moment to copy;
// the background copies the rest.
inline constexpr int kFinishShare = 8;

class LogCopy {
 public:
  // Copies the log of `db`, a connection to the memory at `path`, in place
  // of SQLite's own automatic checkpoint, which the log hook replaces.
  LogCopy(sqlite3* db, const std::string& path, int checkpoint_pages);
  // Lets a running background copy finish.
  ~LogCopy();
  LogCopy(const LogCopy&) = delete;
  LogCopy& operator=(const LogCopy&) = delete;

  // The program is idle: nobody waits for it now. Finishes a copy that is
  // due, so that the next commit starts the log afresh. Call it between
  // transactions. Returns whether nothing is left to do. Best effort, never
  // throws: a copy under way in the background, or a failure, leaves it for
  // the next idle moment, and the log stays bounded anyway.
  bool Idle();

  // A commit left the log of database `name` `pages` long.
  void Committed(const char* name, int pages);

  // This program learns in bulk: it copies the log for every program on the
  // memory while it runs, and they leave the copy to it.
  void Lead() { leads_ = true; }

  // Copies the whole log back now, as far as readers let it, and returns
  // whether it did. Best effort, never throws.
  bool Finish();

  // Copies the whole log back and empties it, waiting for other programs as
  // the busy handler allows: a deletion's old rows live on in the log's
  // earlier frames until then. Returns whether the log is empty.
  bool Empty();

 private:
  // Whether a bulk learner copies the log meanwhile.
  bool LeftToLearner() const;
  // Copies the log back with checkpoint `mode`; whether it reached the end.
  bool CopyAll(int mode);

  sqlite3* db_;
  std::string path_;
  bool leads_ = false;
  int checkpoint_pages_;
  int log_pages_ = 0;  // as the last commit left it
  std::unique_ptr<Checkpointer> checkpointer_;
};

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_LOG_COPY_H_
