#include "tests/support/power_cut.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <new>

#include "tests/support/temp_memory.h"

namespace quibbo::testing {
namespace {

namespace fs = std::filesystem;
using Event = PowerCut::Event;

std::atomic<PowerCut*> recording{nullptr};
std::atomic<bool> skipping{false};
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
int SyncThrough(int fd, int (*real)(int)) {
  const size_t before = Logged();
  const int rc = skipping ? 0 : real(fd);
  char path[4096];
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t length = readlink(link.c_str(), path, sizeof path - 1);
  if (rc == 0 && length > 0)
    Log({Event::kSync, std::string(path, length), 0, {}, before});
  return rc;
}

void Apply(std::string& bytes, const Event& event) {
  if (event.kind == Event::kTruncate) return bytes.resize(event.offset);
  bytes.resize(std::max(bytes.size(), event.offset + event.bytes.size()));
  bytes.replace(event.offset, event.bytes.size(), event.bytes);
}

}  // namespace

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

PowerCut::~PowerCut() {
  Stop();
  skipping = false;
}

void PowerCut::Stop() {
  if (!recording_) return;
  sqlite3_vfs_unregister(&vfs);
  recording = nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  recording_ = false;
}

size_t PowerCut::events() {
  std::lock_guard<std::mutex> lock(mutex_);
  return log_.size();
}

void PowerCut::Add(Event event) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (recording_) log_.push_back(std::move(event));
}

std::map<std::string, std::string> PowerCut::StateAfter(size_t n,
                                                        bool torn) const {
  struct OnDisk {
    std::string durable;          // as its last sync left it
    std::vector<size_t> pending;  // writes since then, in order
    bool named = false;           // its folder holds its name
    bool renamed = false;         // the name goes at the folder's sync
  };
  std::map<std::string, OnDisk> files;
  for (const auto& [path, bytes] : initial_)
    files[path] = {bytes, {}, true, false};
  for (size_t i = 0; i < std::min(n, log_.size()); ++i) {
    const Event& event = log_[i];
    auto file = files.find(event.path);
    if (event.kind == Event::kDelete) {
      if (file != files.end()) files.erase(file);
    } else if (event.kind == Event::kRename) {
      if (file == files.end()) continue;
      OnDisk moved = file->second;
      moved.named = false;
      file->second.renamed = true;
      files.insert_or_assign(event.bytes, std::move(moved));
    } else if (event.kind == Event::kSync) {
      std::erase_if(files, [&](const auto& other) {
        return other.second.renamed &&
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
      // Not there when recording began, or made anew.
      if (file == files.end() || event.kind == Event::kCreate)
        file = files.insert_or_assign(event.path, OnDisk()).first;
      if (event.kind > Event::kCreate) file->second.pending.push_back(i);
    }
  }
  std::map<std::string, std::string> state;
  for (auto& [path, file] : files) {
    if (!file.named) continue;
    if (torn && !file.pending.empty()) {
      Event last = log_[file.pending.back()];
      if (last.bytes.size() > kTornBytes) last.bytes.resize(kTornBytes);
      if (last.kind == Event::kWrite) Apply(file.durable, last);
    }
    state[path] = std::move(file.durable);
  }
  return state;
}

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
  return quibbo::testing::SyncThrough(fd, real);
}
extern "C" int fdatasync(int fd) {
  static auto real =
      reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fdatasync"));
  return quibbo::testing::SyncThrough(fd, real);
}
