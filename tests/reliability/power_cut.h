// A power cut simulated in this program, without root, which is why the
// simulation is built into one test program alone: it replaces fsync,
// fdatasync, rename and renameat2.
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
// While it records, every sync takes a millisecond more, so that a reply
// that does not wait for its sync is caught however fast the disk.
//
// StateAfter(n, loss) gives every file as a power cut after the first n
// events would leave it on the disk:
//  - a file holds what it held at its last sync; of the writes since, all
//    are lost (kAll), or the first kTornBytes of the last survive (kTorn),
//    or a random half of them, in order (kSome);
//  - a sync keeps the writes logged before it began, not those beside it;
//  - a file that was not there when recording began exists only once its
//    folder was synced after it was created (or first opened, when it was
//    created outside SQLite), as SQLite itself assumes; the unix VFS syncs
//    the folder at a new log's first sync;
//  - a file renamed keeps its content, and takes its new name (leaving its
//    old one) once the folder is synced after the rename; a name it
//    replaces is taken to have been free. A deletion holds only once the
//    folder is synced after it;
//  - the -shm file never reaches the log: SQLite rebuilds it.
#ifndef QUIBBO_TESTS_RELIABILITY_POWER_CUT_H_
#define QUIBBO_TESTS_RELIABILITY_POWER_CUT_H_

#include <atomic>
#include <map>
#include <string>

namespace quibbo::testing {

enum class Loss { kAll, kTorn, kSome };

// While set, folder syncs made through fsync(), as Quibbo makes them, fail
// with EIO; with or without a PowerCut.
extern std::atomic<bool> failing_folder_syncs;

class PowerCut {
 public:
  // Takes the files in `folder` as they are now to be on the disk, and
  // starts recording. One PowerCut records at a time.
  explicit PowerCut(const std::string& folder);
  // Stops, if Stop() was not called, and lets syncs reach the disk again.
  ~PowerCut();
  PowerCut(const PowerCut&) = delete;
  PowerCut& operator=(const PowerCut&) = delete;

  // Stops recording and restores the default VFS. Call it once every
  // connection opened meanwhile is closed.
  void Stop();
  // The events logged so far.
  static size_t events();

  // Once stopped: path to content of every file on the disk after a cut
  // after `n` events, and that cut told in words.
  std::map<std::string, std::string> StateAfter(size_t n, Loss loss) const;
  std::string Describe(size_t n, Loss loss) const;
};

}  // namespace quibbo::testing

#endif  // QUIBBO_TESTS_RELIABILITY_POWER_CUT_H_
