// How a program waiting for the memory asks a long writer to make way.
//
// A bulk learner holds the write lock for about four seconds per batch
// (quibbo/learn.h): the longer its batches, the fewer times it rewrites
// each index page. While it
// runs it keeps an empty file `<memory>-wait`. A program that finds the
// memory busy appends a byte to that file (AskToMakeWay); the learner looks
// at its size between sentences, and when it is not empty, empties it,
// commits what it has stored so far and pauses, so the waiting program gets
// its turn within a few milliseconds.
//
// Asking is best effort and never creates the file: where no learner runs
// it costs one failed open(). Only whether the file is empty matters, so a
// stale request (from a program that gave up or died) costs one early
// commit, and the file a killed learner leaves behind is taken over by the
// next one. Neither side follows a symbolic link or writes to anything but a
// regular file, and the learner only uses a file its own user owns.
//
// The learner also holds a shared lock (flock) on the file while it runs,
// which the system drops when it ends, however it ends; so others can tell
// a learner at work from a file left behind (LearnerAtWork). A conversation
// does not ask a learner at work to make way: it answers at once and stores
// its lines later (store.h, "pending"), between two of the learner's
// batches: after each commit the learner touches the file's times, which
// wakes the conversation's worker (worker.h). It leaves the log copy to the
// learner too.
#ifndef QUIBBO_ENGINE_FILE_WAIT_SIGNAL_H_
#define QUIBBO_ENGINE_FILE_WAIT_SIGNAL_H_

#include <chrono>
#include <memory>
#include <string>

struct sqlite3;

namespace quibbo {

// The file through which programs ask the writer of the memory at
// `memory_path` to make way.
std::string WaitSignalPath(const std::string& memory_path);

// Asks a learner working on the memory at `memory_path`, if any, to commit
// and let others in. Never fails.
void AskToMakeWay(const std::string& memory_path);

// Whether a learner works on the memory at `memory_path` now, in this
// program or another. Never fails; false when it cannot tell.
bool LearnerAtWork(const std::string& memory_path);

// The waiting side: SQLite's busy handler on a connection to the memory at
// `memory_path`. It waits up to `timeout` for the other program, trying
// every millisecond and asking a learner to make way now and then; nothing
// ever waits without bound.
class BusyWait {
 public:
  BusyWait(std::string memory_path, std::chrono::milliseconds timeout)
      : memory_path_(std::move(memory_path)), timeout_(timeout) {}
  BusyWait(const BusyWait&) = delete;
  BusyWait& operator=(const BusyWait&) = delete;

  // Becomes the busy handler of `db`; must outlive it.
  void Install(sqlite3* db);

  // While one lives, the handler does not wait at all. Only for the thread
  // that uses the connection.
  class Suspended {
   public:
    explicit Suspended(BusyWait& wait) : wait_(wait) {
      wait_.suspended_ = true;
    }
    ~Suspended() { wait_.suspended_ = false; }
    Suspended(const Suspended&) = delete;
    Suspended& operator=(const Suspended&) = delete;

   private:
    BusyWait& wait_;
  };

 private:
  static int Handle(void* self, int attempt);

  std::string memory_path_;
  std::chrono::milliseconds timeout_;
  std::chrono::steady_clock::time_point since_;
  bool suspended_ = false;
};

// The learner's side.
class WaitSignal {
 public:
  // Makes `<memory_path>-wait`, or takes over the one a learner left behind,
  // and holds its lock. Null when it cannot (a folder it may not write to, a
  // file of another user); nobody can ask then.
  static std::unique_ptr<WaitSignal> Create(const std::string& memory_path);

  // Removes the file, unless it is no longer this learner's.
  ~WaitSignal();
  WaitSignal(const WaitSignal&) = delete;
  WaitSignal& operator=(const WaitSignal&) = delete;

  // Whether a program asked since the last call.
  bool TakeRequest();

  // Tells whoever watches the file that a batch was committed and the
  // memory is free for a moment (Worker): touches the file's times.
  void Committed();

  // Makes the file anew if it was removed, as another learner on the same
  // memory does when it finishes. Best effort.
  void Renew();

 private:
  WaitSignal(std::string path, int fd);

  std::string path_;
  int fd_;
};

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_FILE_WAIT_SIGNAL_H_
