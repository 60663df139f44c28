// Test support: a power cut, simulated in the test program without root.
//
// While a PowerCut records, an SQLite VFS of its own is the default one, so
// every connection opened meanwhile (a checkpointing thread's too) goes
// through it. It passes every call on to the VFS that was the default, and
// logs in order each opening, creation, write, truncation and deletion of
// the files opened through it. Syncs are logged where they reach the system,
// in fsync and fdatasync, whoever makes them: SQLite, Quibbo, any thread;
// and so are renames, in rename and renameat2.
// While a PowerCut lives, before Stop() and after, no sync reaches the disk:
// no file of a test need survive a real power cut, and the tests run faster.
//
// StateAfter(n) gives every file as a power cut after the first n events
// would leave it on the disk:
//  - a file holds what it held at its last sync; later writes are lost, or
//    with `torn`, the first kTornBytes of the last of them survive;
//  - a sync keeps the writes logged before it began, not those beside it;
//  - a file that was not there when recording began exists only once its
//    folder was synced after it was created (or first opened, when it was
//    created outside SQLite), as SQLite itself assumes; the unix VFS syncs
//    the folder at a new log's first sync. A deletion holds at once;
//  - a file renamed keeps its content, and takes its new name (leaving its
//    old one) once the folder is synced after the rename; a name it
//    replaces is taken to have been free;
//  - the -shm file never reaches the log: SQLite rebuilds it.
#ifndef QUIBBO_TESTS_SUPPORT_POWER_CUT_H_
#define QUIBBO_TESTS_SUPPORT_POWER_CUT_H_

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace quibbo::testing {

class PowerCut {
 public:
  struct Event {
    enum Kind { kOpen, kCreate, kWrite, kTruncate, kSync, kDelete, kRename };
    Kind kind;
    std::string path;
    int64_t offset = 0;   // of a write; the new size for a truncation
    std::string bytes{};  // written; the new name of a rename
    size_t covers = 0;    // a sync keeps the writes before this event
  };
  static constexpr size_t kTornBytes = 512;

  // Takes the files in `folder` as they are now to be on the disk, and
  // starts recording. One PowerCut records at a time.
  explicit PowerCut(const std::string& folder);
  // Stops, if Stop() was not called, and lets syncs through again.
  ~PowerCut();
  PowerCut(const PowerCut&) = delete;
  PowerCut& operator=(const PowerCut&) = delete;

  // Stops recording and restores the default VFS. Call it once every
  // connection opened meanwhile is closed.
  void Stop();

  size_t events();
  // The log; only once stopped.
  const std::vector<Event>& log() const { return log_; }
  // Path to content of every file on the disk after a cut after `n` events.
  std::map<std::string, std::string> StateAfter(size_t n, bool torn) const;

  // Called by the VFS and the sync wrappers.
  void Add(Event event);

 private:
  std::map<std::string, std::string> initial_;
  std::mutex mutex_;
  std::vector<Event> log_;
  bool recording_ = false;
};

}  // namespace quibbo::testing

#endif  // QUIBBO_TESTS_SUPPORT_POWER_CUT_H_
