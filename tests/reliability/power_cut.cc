// The power cut's log of events, the VFS and the system calls that fill it,
// and the disk it leaves (power_cut.h).
#include "tests/reliability/power_cut.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <new>
#include <vector>

#include "tests/support/temp_memory.h"

namespace quibbo::testing {

std::atomic<bool> failing_folder_syncs{false};

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

void Apply(std::string& bytes, const Event& event) {
  if (event.kind == Event::kTruncate) return bytes.resize(event.offset);
  bytes.resize(std::max(bytes.size(), event.offset + event.bytes.size()));
  bytes.replace(event.offset, event.bytes.size(), event.bytes);
}

// What the one PowerCut holds; `recording` and `skipping` are read without
// the lock by every sync.
std::mutex mutex;
std::vector<Event> logged;
std::map<std::string, std::string> initial;
std::atomic<bool> recording{false}, skipping{false};
sqlite3_vfs* real_vfs = nullptr;
sqlite3_vfs vfs;

// The unix VFS names a file by its full path; the sync wrappers find it
// through /proc, with symbolic links resolved. Both become the same key.
std::string Key(const char* path) {
  std::error_code error;  // never thrown through SQLite
  const fs::path key = path ? fs::weakly_canonical(path, error) : "";
  return error ? path : key.string();
}

void Log(Event event) {
  std::lock_guard<std::mutex> lock(mutex);
  if (recording && !event.path.empty()) logged.push_back(std::move(event));
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
int SyncThrough(int fd, int (*real)(int), bool folder_may_fail) {
  const size_t before = PowerCut::events();
  if (recording) std::this_thread::sleep_for(std::chrono::milliseconds(1));
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

void LogRename(const char* from, const char* to) {
  Log({Event::kRename, Key(from), 0, Key(to)});
}

}  // namespace

PowerCut::PowerCut(const std::string& folder) {
  logged.clear();
  initial.clear();
  for (const fs::path& file : fs::directory_iterator(folder)) {
    if (!file.string().ends_with("-shm"))
      initial[Key(file.c_str())] = FileBytes(file);
  }
  real_vfs = sqlite3_vfs_find(nullptr);
  vfs = *real_vfs;
  vfs.pNext = nullptr;
  vfs.zName = "power-cut";
  vfs.szOsFile = ((real_vfs->szOsFile + 7) & ~7) + sizeof(Extra);
  vfs.xOpen = Open;
  vfs.xDelete = Delete;
  recording = skipping = true;
  sqlite3_vfs_register(&vfs, 1);
}

PowerCut::~PowerCut() {
  Stop();
  skipping = false;
}

void PowerCut::Stop() {
  if (recording.exchange(false)) sqlite3_vfs_unregister(&vfs);
}

size_t PowerCut::events() {
  std::lock_guard<std::mutex> lock(mutex);
  return logged.size();
}

std::map<std::string, std::string> PowerCut::StateAfter(size_t n,
                                                        Loss loss) const {
  struct OnDisk {
    std::string durable;          // as its last sync left it
    std::vector<size_t> pending;  // writes since then, in order
    bool named = false;           // its folder holds its name
    bool renamed = false;         // the name goes at the folder's sync
    bool deleted = false;         // likewise
  };
  std::map<std::string, OnDisk> files;
  for (const auto& [path, bytes] : initial) files[path] = {bytes, {}, true};
  for (size_t i = 0; i < std::min(n, logged.size()); ++i) {
    const Event& event = logged[i];
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
      for (size_t j : synced) Apply(file->second.durable, logged[j]);
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
      Event last = logged[file.pending.back()];
      if (last.bytes.size() > kTornBytes) last.bytes.resize(kTornBytes);
      if (last.kind == Event::kWrite) Apply(file.durable, last);
    }
    if (loss == Loss::kSome) {
      SeededRandom random(n);  // the same half for the same cut
      for (size_t j : file.pending)
        if (random.Below(2) == 0) Apply(file.durable, logged[j]);
    }
    state[path] = std::move(file.durable);
  }
  return state;
}

std::string PowerCut::Describe(size_t n, Loss loss) const {
  if (n == 0) return "a cut before the first event";
  const char* kKinds[] = {"opening", "creation", "write", "truncation",
                          "sync",    "deletion", "rename"};
  const char* kLosses[] = {"", ", the last unsynced write torn",
                           ", some unsynced writes kept"};
  return "a cut after event " + std::to_string(n) + " of " +
         std::to_string(logged.size()) + " (" + kKinds[logged[n - 1].kind] +
         " of " + fs::path(logged[n - 1].path).filename().string() +
         kLosses[static_cast<int>(loss)] + ")";
}

}  // namespace quibbo::testing

// Every rename and every sync of the test program, Quibbo's own and
// SQLite's, is seen here.
extern "C" int renameat2(int from_folder, const char* from, int to_folder,
                         const char* to, unsigned int flags) {
  static auto real =
      reinterpret_cast<int (*)(int, const char*, int, const char*,
                               unsigned int)>(dlsym(RTLD_NEXT, "renameat2"));
  const int rc = real(from_folder, from, to_folder, to, flags);
  if (rc == 0) quibbo::testing::LogRename(from, to);
  return rc;
}
extern "C" int rename(const char* from, const char* to) {
  return renameat2(AT_FDCWD, from, AT_FDCWD, to, 0);
}
extern "C" int fsync(int fd) {
  static auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
  return quibbo::testing::SyncThrough(fd, real, true);
}
extern "C" int fdatasync(int fd) {
  static auto real =
      reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fdatasync"));
  return quibbo::testing::SyncThrough(fd, real, false);
}
