// Copies the write-ahead log back into the memory file on a thread and a
// connection of its own, when asked (see log_copy.h for when).
//
// A checkpoint on another connection runs beside readers and writers, and is
// as safe against a crash as the one SQLite runs itself. It is passive: it
// copies what no reader still needs and never waits for a lock.
#ifndef QUIBBO_ENGINE_CHECKPOINTER_H_
#define QUIBBO_ENGINE_CHECKPOINTER_H_

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace quibbo {

class Checkpointer {
 public:
  explicit Checkpointer(std::string path);
  // Lets a running checkpoint finish, then stops.
  ~Checkpointer();
  Checkpointer(const Checkpointer&) = delete;
  Checkpointer& operator=(const Checkpointer&) = delete;

  // Asks for a checkpoint soon, without waiting for it. The thread starts on
  // the first request.
  void Request();

  struct Progress {
    int copied = 0;     // frames of the log copied so far
    bool busy = false;  // a copy is running or asked for
  };
  Progress progress();

  // Drops a request not yet started and waits for a running copy to end.
  void Settle();

  // Tells it the log started afresh, so its frames count from zero again.
  void Restarted();

 private:
  void Run();

  std::string path_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable settled_;
  bool requested_ = false;
  bool running_ = false;
  int copied_ = 0;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_CHECKPOINTER_H_
