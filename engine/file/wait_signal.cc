#include "engine/file/wait_signal.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "quibbo/memory.h"

namespace quibbo {
namespace {

// Opens the learner's file, made if missing, for its owner alone, and takes
// its shared lock. O_NONBLOCK keeps a FIFO planted in its place from
// blocking.
int OpenOwn(const std::string& path) {
  int fd = open(path.c_str(),
                O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
  if (fd < 0) return -1;
  struct stat info;
  // Those who look take the lock for a moment only.
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
      info.st_uid != geteuid() || flock(fd, LOCK_SH) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Whether `path` still names the file open as `fd`.
bool StillNames(const std::string& path, int fd) {
  const std::optional<FileId> named = FileIdOf(path);
  return named && named == FileIdOf(fd);
}

}  // namespace

std::string WaitSignalPath(const std::string& memory_path) {
  return memory_path + "-wait";
}

void AskToMakeWay(const std::string& memory_path) {
  int fd = open(WaitSignalPath(memory_path).c_str(),
                O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return;
  struct stat info;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    // Unheard when the disk is full; the waiter then waits for the batch.
    [[maybe_unused]] ssize_t written = write(fd, "w", 1);
  }
  close(fd);
}

bool LearnerAtWork(const std::string& memory_path) {
  int fd = open(WaitSignalPath(memory_path).c_str(),
                O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  // Another open file takes a lock of its own, even in the learner's own
  // program.
  const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  close(fd);
  return held;
}

void BusyWait::Install(sqlite3* db) {
  sqlite3_busy_handler(db, &BusyWait::Handle, this);
}

int BusyWait::Handle(void* self, int attempt) {
  // SQLite's own busy timeout sleeps up to 100 ms between tries, and a
  // program that writes batch after batch may hold the lock at every one of
  // them. Trying every millisecond catches the gaps between its batches.
  BusyWait& wait = *static_cast<BusyWait*>(self);
  if (wait.suspended_) return 0;
  auto now = std::chrono::steady_clock::now();
  if (attempt == 0) wait.since_ = now;
  if (now - wait.since_ >= wait.timeout_) return 0;
  // Asking again now and then covers a request answered just before this
  // program's turn came and went.
  if (attempt % 16 == 0) AskToMakeWay(wait.memory_path_);
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return 1;
}

std::unique_ptr<WaitSignal> WaitSignal::Create(const std::string& memory_path) {
  std::string path = WaitSignalPath(memory_path);
  int fd = OpenOwn(path);
  if (fd < 0) return nullptr;
  // What was asked of an earlier learner is stale.
  if (ftruncate(fd, 0) != 0) {
    close(fd);
    return nullptr;
  }
  return std::unique_ptr<WaitSignal>(new WaitSignal(std::move(path), fd));
}

WaitSignal::WaitSignal(std::string path, int fd)
    : path_(std::move(path)), fd_(fd) {}

WaitSignal::~WaitSignal() {
  if (StillNames(path_, fd_)) unlink(path_.c_str());
  close(fd_);
}

bool WaitSignal::TakeRequest() {
  struct stat info;
  if (fstat(fd_, &info) != 0 || info.st_size == 0) return false;
  // A request that lands between the look and this is lost, but answered
  // all the same: the learner makes way now.
  [[maybe_unused]] int emptied = ftruncate(fd_, 0);
  return true;
}

void WaitSignal::Committed() {
  [[maybe_unused]] int touched = futimens(fd_, nullptr);
}

void WaitSignal::Renew() {
  if (StillNames(path_, fd_)) return;
  int fd = OpenOwn(path_);
  if (fd < 0) return;
  close(fd_);
  fd_ = fd;
}

}  // namespace quibbo
