// Reliability test support: running a program under a fault, feeding it
// input while it runs, killing it at a chosen moment, and never waiting for
// it without bound.
#ifndef QUIBBO_TESTS_RELIABILITY_CHILD_PROCESS_H_
#define QUIBBO_TESTS_RELIABILITY_CHILD_PROCESS_H_

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quibbo::testing {

struct ChildOptions {
  // Largest file the child may write, in bytes (RLIMIT_FSIZE): a write past
  // it fails as on a full disk. Negative for no limit.
  off_t max_file_size = -1;
};

class Child {
 public:
  using Clock = std::chrono::steady_clock;

  Child(const std::string& program, const std::vector<std::string>& arguments,
        const ChildOptions& options = {});
  // Kills the child if it still runs, and reaps it.
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // Queues `data` for the child's standard input; Pump delivers it.
  void Send(std::string_view data) { input_.append(data); }
  // Closes the standard input once everything queued has been delivered.
  void CloseInputWhenSent() { close_input_ = true; }

  // Delivers input and collects output until `until` passes, the child
  // closes its output, or `stop` (when given) returns true.
  template <typename Stop>
  void Pump(Clock::time_point until, Stop stop) {
    while (PumpOnce(until) && !stop()) {
    }
  }
  void Pump(Clock::time_point until) {
    Pump(until, [] { return false; });
  }

  // Complete lines the child has written to its standard output so far.
  size_t OutputLines() const;
  // False once the child has closed its output, as it does when it ends.
  bool Talking() const { return out_fd_ >= 0 || err_fd_ >= 0; }

  void Kill();
  // Waits for the child to end, at most until `until`; kills it then.
  // Returns its exit status, or nullopt when it was killed or died by a
  // signal.
  std::optional<int> Wait(Clock::time_point until);

  const std::string& out() const { return out_; }
  const std::string& err() const { return err_; }
  bool timed_out() const { return timed_out_; }

 private:
  bool PumpOnce(Clock::time_point until);
  void CloseInput();

  pid_t pid_ = -1;
  int in_ = -1, out_fd_ = -1, err_fd_ = -1;
  std::string input_;
  size_t sent_ = 0;
  bool close_input_ = false;
  std::string out_, err_;
  bool reaped_ = false;
  bool timed_out_ = false;
  int status_ = 0;
};

struct ChildResult {
  std::optional<int> exit_status;  // nullopt when killed or timed out
  bool timed_out = false;
  std::string out, err;
};

// Runs `program` to its end with `input`, killing it after `limit`.
ChildResult RunChild(const std::string& program,
                     const std::vector<std::string>& arguments,
                     const std::string& input = "",
                     const ChildOptions& options = {},
                     std::chrono::seconds limit = std::chrono::seconds(60));

// Gives up root's power to write what is read-only, for this process and
// every program it starts, so that a read-only file or folder is read-only
// here as for any user. Returns false, with the reason in `why`, when
// read-only files stay writable all the same.
bool ObeyFilePermissions(std::string* why);

}  // namespace quibbo::testing

#endif  // QUIBBO_TESTS_RELIABILITY_CHILD_PROCESS_H_
