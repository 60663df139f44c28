// A power cut at any moment of a conversation, a `learn`, a backup or a
// restore: the memory opens, is sound and holds whole sentences only, and
// every line whose reply was returned, every line `learn` counted, every
// sentence a restore reported and every backup made is still on the disk.
//
// The cut is simulated in this program, without root, which is why the
// simulation is built into it alone: it replaces fsync and fdatasync.
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
// Every sync is held until a thread of the test lets it go, a millisecond
// later, so that a reply that does not wait for its sync is caught however
// fast the disk.
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
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest-spi.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>
#include <new>

#include "engine/file/output_file.h"
#include "quibbo/learn.h"
#include "quibbo/memory.h"
#include "tests/support/child.h"

namespace quibbo::testing {
namespace {

namespace fs = std::filesystem;

struct Event {
  enum Kind { kOpen, kCreate, kWrite, kTruncate, kSync, kDelete, kRename };
  Kind kind;
  std::string path;
  int64_t offset = 0;   // of a write; the new size for a truncation
  std::string bytes{};  // written; the new name of a rename
  size_t covers = 0;    // a sync keeps the writes before this event
};
constexpr size_t kTornBytes = 512;
enum class Loss { kAll, kTorn, kSome };

void Apply(std::string& bytes, const Event& event) {
  if (event.kind == Event::kTruncate) return bytes.resize(event.offset);
  bytes.resize(std::max(bytes.size(), event.offset + event.bytes.size()));
  bytes.replace(event.offset, event.bytes.size(), event.bytes);
}

class PowerCut;
std::atomic<PowerCut*> recording{nullptr};
std::atomic<bool> skipping{false};
// Folder syncs made through fsync(), as Quibbo makes them, fail with EIO.
std::atomic<bool> failing_folder_syncs{false};

// Holds every sync until Let() lets it go.
class SyncGate {
 public:
  // Called by each sync while the gate is shut.
  void Pass() {
    std::unique_lock<std::mutex> lock(mutex_);
    const uint64_t ticket = ++arrived_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return open_ || let_ >= ticket; });
  }
  // Lets the syncs through one by one, each a millisecond after it came,
  // until Open().
  void Shut() {
    open_ = false;
    letter_ = std::thread([this] {
      std::unique_lock<std::mutex> lock(mutex_);
      while (!open_) {
        changed_.wait(lock, [&] { return open_ || arrived_ > let_; });
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        lock.lock();
        if (arrived_ > let_) ++let_;
        changed_.notify_all();
      }
    });
  }
  void Open() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      open_ = true;
      changed_.notify_all();
    }
    if (letter_.joinable()) letter_.join();
  }
  bool open() {
    std::lock_guard<std::mutex> lock(mutex_);
    return open_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t arrived_ = 0, let_ = 0;
  bool open_ = true;
  std::thread letter_;
} gate;
sqlite3_vfs* real_vfs = nullptr;
sqlite3_vfs vfs;

class PowerCut {
 public:
  // Takes the files in `folder` as they are now to be on the disk, and
  // starts recording. One PowerCut records at a time.
  explicit PowerCut(const std::string& folder);
  // Stops, if Stop() was not called, and lets syncs through again.
  ~PowerCut() {
    Stop();
    gate.Open();
    skipping = false;
  }

  // Stops recording and restores the default VFS. Call it once every
  // connection opened meanwhile is closed.
  void Stop() {
    if (!recording_) return;
    gate.Open();
    sqlite3_vfs_unregister(&vfs);
    recording = nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    recording_ = false;
  }
  size_t events() {
    std::lock_guard<std::mutex> lock(mutex_);
    return log_.size();
  }
  // Called by the VFS and the sync wrappers.
  void Add(Event event) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (recording_) log_.push_back(std::move(event));
  }
  // The log; only once stopped.
  const std::vector<Event>& log() const { return log_; }

  // Path to content of every file on the disk after a cut after `n` events.
  std::map<std::string, std::string> StateAfter(size_t n, Loss loss) const {
    struct OnDisk {
      std::string durable;          // as its last sync left it
      std::vector<size_t> pending;  // writes since then, in order
      bool named = false;           // its folder holds its name
      bool renamed = false;         // the name goes at the folder's sync
      bool deleted = false;         // likewise
    };
    std::map<std::string, OnDisk> files;
    for (const auto& [path, bytes] : initial_)
      files[path] = {bytes, {}, true, false};
    for (size_t i = 0; i < std::min(n, log_.size()); ++i) {
      const Event& event = log_[i];
      auto file = files.find(event.path);
      if (event.kind == Event::kDelete) {
        if (file != files.end()) file->second.deleted = true;
      } else if (event.kind == Event::kRename) {
        if (file == files.end()) continue;
        OnDisk moved = file->second;
        moved.named = false;
        file->second.renamed = true;
        files.insert_or_assign(event.bytes, std::move(moved));
      } else if (event.kind == Event::kSync) {
        std::erase_if(files, [&](const auto& other) {
          return (other.second.renamed || other.second.deleted) &&
                 fs::path(other.first).parent_path() == event.path;
        });
        for (auto& [path, other] : files)
          other.named |= fs::path(path).parent_path() == event.path;
        file = files.find(event.path);
        if (file == files.end()) continue;
        auto synced = std::ranges::stable_partition(
            file->second.pending, [&](size_t j) { return j >= event.covers; });
        for (size_t j : synced) Apply(file->second.durable, log_[j]);
        file->second.pending.erase(synced.begin(), synced.end());
      } else {
        // Not there when recording began, or made anew. A name deleted and
        // made again stays in its folder.
        if (file == files.end() || event.kind == Event::kCreate) {
          const bool named = file != files.end() && file->second.named;
          file = files.insert_or_assign(event.path, OnDisk()).first;
          file->second.named = named;
        }
        if (event.kind > Event::kCreate) file->second.pending.push_back(i);
      }
    }
    std::map<std::string, std::string> state;
    for (auto& [path, file] : files) {
      if (!file.named) continue;
      if (loss == Loss::kTorn && !file.pending.empty()) {
        Event last = log_[file.pending.back()];
        if (last.bytes.size() > kTornBytes) last.bytes.resize(kTornBytes);
        if (last.kind == Event::kWrite) Apply(file.durable, last);
      }
      if (loss == Loss::kSome) {
        // The same half for the same cut, whatever else is tried.
        SeededRandom random(n);
        for (size_t j : file.pending) {
          if (random.Below(2) == 0) Apply(file.durable, log_[j]);
        }
      }
      state[path] = std::move(file.durable);
    }
    return state;
  }

 private:
  std::map<std::string, std::string> initial_;
  std::mutex mutex_;
  std::vector<Event> log_;
  bool recording_ = false;
};

// The unix VFS names a file by its full path; the sync wrappers find it
// through /proc, with symbolic links resolved. Both become the same key.
std::string Key(const char* path) {
  std::error_code error;  // never thrown through SQLite
  const fs::path key = path ? fs::weakly_canonical(path, error) : "";
  return error ? path : key.string();
}

void Log(Event event) {
  PowerCut* cut = recording.load();
  if (cut && !event.path.empty()) cut->Add(std::move(event));
}

size_t Logged() {
  PowerCut* cut = recording.load();
  return cut ? cut->events() : 0;
}

// What SQLite allocates for a file of this VFS: the real one's, then this.
// The real methods work on the file as it is, but for the three below.
struct Extra {
  sqlite3_io_methods methods;
  const sqlite3_io_methods* real;
  std::string path;
};
Extra& ExtraOf(sqlite3_file* file) {
  const int offset = (real_vfs->szOsFile + 7) & ~7;
  return *reinterpret_cast<Extra*>(reinterpret_cast<char*>(file) + offset);
}

int Close(sqlite3_file* file) {
  Extra& extra = ExtraOf(file);
  const int rc = extra.real->xClose(file);
  extra.~Extra();
  return rc;
}

int Write(sqlite3_file* file, const void* data, int size, sqlite3_int64 at) {
  const int rc = ExtraOf(file).real->xWrite(file, data, size, at);
  if (rc == SQLITE_OK) {
    Log({Event::kWrite, ExtraOf(file).path, at,
         std::string(static_cast<const char*>(data), size)});
  }
  return rc;
}

int Truncate(sqlite3_file* file, sqlite3_int64 size) {
  const int rc = ExtraOf(file).real->xTruncate(file, size);
  if (rc == SQLITE_OK)
    Log({.kind = Event::kTruncate, .path = ExtraOf(file).path, .offset = size});
  return rc;
}

int Open(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags,
         int* out_flags) {
  const bool existed = name == nullptr || access(name, F_OK) == 0;
  const int rc = real_vfs->xOpen(real_vfs, name, file, flags, out_flags);
  // SQLite closes a file only when its methods are set.
  if (!file->pMethods) return rc;
  Extra* extra =
      new (&ExtraOf(file)) Extra{*file->pMethods, file->pMethods, Key(name)};
  extra->methods.xClose = Close;
  extra->methods.xWrite = Write;
  extra->methods.xTruncate = Truncate;
  file->pMethods = &extra->methods;
  Log({.kind = existed ? Event::kOpen : Event::kCreate, .path = extra->path});
  return rc;
}

int Delete(sqlite3_vfs*, const char* name, int sync_folder) {
  const int rc = real_vfs->xDelete(real_vfs, name, sync_folder);
  if (rc == SQLITE_OK) Log({.kind = Event::kDelete, .path = Key(name)});
  return rc;
}

// A sync through any descriptor: logged once it is done, as keeping what
// was written before it began.
int SyncThrough(int fd, int (*real)(int), bool folder_may_fail = false) {
  const size_t before = Logged();
  if (!gate.open()) gate.Pass();
  struct stat info;
  if (folder_may_fail && failing_folder_syncs && fstat(fd, &info) == 0 &&
      S_ISDIR(info.st_mode)) {
    errno = EIO;
    return -1;
  }
  const int rc = skipping ? 0 : real(fd);
  std::error_code error;  // never thrown through SQLite
  const fs::path path =
      fs::read_symlink("/proc/self/fd/" + std::to_string(fd), error);
  if (rc == 0 && !error) Log({Event::kSync, path.string(), 0, {}, before});
  return rc;
}

PowerCut::PowerCut(const std::string& folder) {
  for (const fs::path& file : fs::directory_iterator(folder)) {
    if (!file.string().ends_with("-shm"))
      initial_[Key(file.c_str())] = FileBytes(file);
  }
  real_vfs = sqlite3_vfs_find(nullptr);
  vfs = *real_vfs;
  vfs.pNext = nullptr;
  vfs.zName = "power-cut";
  vfs.szOsFile = ((real_vfs->szOsFile + 7) & ~7) + sizeof(Extra);
  vfs.xOpen = Open;
  vfs.xDelete = Delete;
  recording_ = true;
  recording = this;
  skipping = true;
  sqlite3_vfs_register(&vfs, 1);
}

// Once `after` events are logged, the memory at `path` holds at least
// `sentences` of what was said.
struct Promise {
  size_t after;
  std::string path;
  size_t sentences;
};

const Strings kSeed = {"a memory that holds something. before it all"};
const Strings kLines = Script("line", 30);

// The seed and the first `lines` of kLines.
Strings Said(size_t lines) {
  Strings said = kSeed;
  said.insert(said.end(), kLines.begin(), kLines.begin() + lines);
  return said;
}
size_t SaidUpTo(size_t lines) { return SentencesOf(Said(lines)).size(); }

// Runs the scenario `name` on `memory`, with `copy` to restore from, and
// returns the promises it made.
std::vector<Promise> RunScenario(std::string_view name,
                                 const std::string& memory,
                                 const std::string& copy, PowerCut& cut) {
  std::vector<Promise> promises;
  auto promise = [&](const std::string& path, size_t lines) {
    promises.push_back({cut.events(), path, SaidUpTo(lines)});
  };
  if (name == "conversation") {
    // A short log, so that it is copied into the memory several times.
    Engine engine(memory, std::make_unique<SeededRandom>(19), nullptr,
                  {.checkpoint_pages = 16});
    for (size_t i = 0; i < kLines.size(); ++i) {
      EXPECT_EQ(KindOf(engine.Respond(kLines[i])), std::nullopt);
      promise(memory, i + 1);
      engine.Idle();
    }
  } else if (name == "learn") {
    auto learner = BulkLearner::Open(memory);
    for (size_t i = 0; i < kLines.size(); ++i) {
      learner->Learn(kLines[i]);
      if (i % 7 != 6 && i + 1 < kLines.size()) continue;
      learner->Commit();
      promise(memory, learner->committed().lines);
    }
  } else if (name == "backup") {
    BackupMemory(memory, memory + ".backup", false);
    promise(memory + ".backup", 0);
  } else {
    // A program holds the memory open, so the restore's is not the last
    // connection, which would copy the log in as it closes.
    auto running = MemoryFile::Open(memory, MemoryFile::Access::kReadOnly);
    RestoreMemory(memory, copy);
    promise(memory, kLines.size());
  }
  return promises;
}

std::string Describe(const PowerCut& cut, size_t n, Loss loss) {
  if (n == 0) return "a cut before the first event";
  const char* kKinds[] = {"opening", "creation", "write", "truncation",
                          "sync",    "deletion", "rename"};
  const char* kLosses[] = {"", ", the last unsynced write torn",
                           ", some unsynced writes kept"};
  const Event& event = cut.log()[n - 1];
  return "a cut after event " + std::to_string(n) + " of " +
         std::to_string(cut.log().size()) + " (" + kKinds[event.kind] + " of " +
         fs::path(event.path).filename().string() +
         kLosses[static_cast<int>(loss)] + ")";
}

// Puts the memory at `path` as `state` holds it in `check`'s place, opens it
// as Quibbo does, and checks that it holds the start of what was said, at
// least `promised` sentences. What is wrong, or nothing.
std::string Reopen(const std::map<std::string, std::string>& state,
                   const std::string& path, const TempMemory& check,
                   size_t promised) {
  const std::string key = fs::weakly_canonical(path).string();
  if (!state.contains(key)) return "it is not on the disk";
  for (const char* end : {"", "-wal", "-shm"}) {
    fs::remove(check.path() + end);
    if (state.contains(key + end))
      std::ofstream(check.path() + end, std::ios::binary)
          << state.at(key + end);
  }
  Strings stored;
  ::testing::TestPartResultArray failures;
  try {
    ::testing::ScopedFakeTestPartResultReporter intercept(&failures);
    MemoryFile::Open(check.path(), MemoryFile::Access::kReadWrite);
    stored = check.Sentences();  // checks it is sound, and all whole
  } catch (const std::exception& error) {
    return error.what();
  }
  if (failures.size() > 0) return failures.GetTestPartResult(0).message();
  static const Strings said = SentencesOf(Said(kLines.size()));
  if (stored.size() > said.size() ||
      !std::equal(stored.begin(), stored.end(), said.begin())) {
    return "it holds what was never said";
  }
  if (stored.size() < promised) {
    return "it lost " + std::to_string(promised - stored.size()) + " of " +
           std::to_string(promised) + " sentences";
  }
  return "";
}

// Broken promises shown per scenario before it stops.
constexpr size_t kShown = 5;

TEST(PowerCutTest, EverythingReportedStoredSurvivesACutAtAnyMoment) {
  for (const char* scenario : {"conversation", "learn", "backup", "restore"}) {
    SCOPED_TRACE(scenario);
    TempMemory memory(kSeed), copy(Said(kLines.size())), check;
    PowerCut cut(memory.folder());
    gate.Shut();
    auto promises = RunScenario(scenario, memory.path(), copy.path(), cut);
    cut.Stop();
    promises.push_back({0, memory.path(), SaidUpTo(0)});
    size_t broken = 0;
    for (size_t n = 0; n <= cut.log().size() && broken < kShown; ++n) {
      const auto clean = cut.StateAfter(n, Loss::kAll);
      for (Loss loss : {Loss::kAll, Loss::kTorn, Loss::kSome}) {
        const auto state = loss == Loss::kAll ? clean : cut.StateAfter(n, loss);
        if (loss != Loss::kAll && state == clean) continue;
        std::map<std::string, size_t> due;  // path to sentences promised
        for (const Promise& promise : promises) {
          if (promise.after > n) continue;
          due[promise.path] = std::max(due[promise.path], promise.sentences);
        }
        for (const auto& [path, promised] : due) {
          const std::string problem = Reopen(state, path, check, promised);
          if (problem.empty()) continue;
          ADD_FAILURE() << Describe(cut, n, loss) << ": "
                        << fs::path(path).filename().string() << ": "
                        << problem;
          ++broken;
        }
      }
    }
  }
}

// A sync that fails is reported, and leaves nothing half made: a memory
// whose name could not reach the disk is not left behind; an output file
// put in place says that it is there; a reply whose line cannot be synced,
// its log gone, reports that.
TEST(PowerCutTest, AFailedSyncIsReportedAsWhatItLeft) {
  TempMemory memory(kSeed);
  const std::string made = memory.folder() + "/new.mdb";
  const std::string written = memory.folder() + "/out.txt";
  failing_folder_syncs = true;
  EXPECT_THROW(CreateMemory(made), Error);
  try {
    OutputFile output(written, false);
    output.Write("words");
    output.Commit();
    ADD_FAILURE() << "the folder's sync failed unseen";
  } catch (const Error& error) {
    EXPECT_EQ(std::string(error.description()).find("nothing was left"),
              std::string::npos)
        << error.description();
  }
  failing_folder_syncs = false;
  EXPECT_FALSE(fs::exists(made));
  EXPECT_EQ(FileBytes(written), "words");
  Engine engine(memory.path(), std::make_unique<SeededRandom>(1));
  ASSERT_FALSE(engine.Respond("the first line").failure);
  fs::remove(memory.path() + "-wal");
  EXPECT_TRUE(engine.Respond("the second line").failure);
}

}  // namespace
}  // namespace quibbo::testing

// Every rename of the test program is seen here.
extern "C" int renameat2(int from_folder, const char* from, int to_folder,
                         const char* to, unsigned int flags) {
  static auto real =
      reinterpret_cast<int (*)(int, const char*, int, const char*,
                               unsigned int)>(dlsym(RTLD_NEXT, "renameat2"));
  namespace q = quibbo::testing;
  const int rc = real(from_folder, from, to_folder, to, flags);
  if (rc == 0) q::Log({q::Event::kRename, q::Key(from), 0, q::Key(to)});
  return rc;
}
extern "C" int rename(const char* from, const char* to) {
  return renameat2(AT_FDCWD, from, AT_FDCWD, to, 0);
}

// Every sync of the test program, Quibbo's own and SQLite's, is seen here.
extern "C" int fsync(int fd) {
  static auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
  return quibbo::testing::SyncThrough(fd, real, true);
}
extern "C" int fdatasync(int fd) {
  static auto real =
      reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fdatasync"));
  return quibbo::testing::SyncThrough(fd, real);
}
