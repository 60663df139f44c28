// Reliability test support: quibbo-cli run, fed and killed within a time
// bound, and the memory file looked at from outside.
#ifndef QUIBBO_TESTS_RELIABILITY_SUPPORT_H_
#define QUIBBO_TESTS_RELIABILITY_SUPPORT_H_

#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/store.h"

namespace quibbo::testing {

using Clock = std::chrono::steady_clock;

// A running quibbo-cli. Pump feeds it `input`, closing its standard input
// after, and collects its output, all at once so that no pipe fills up.
class Child {
 public:
  // With `max_file_size` >= 0, a write past that size fails (EFBIG) as on a
  // full disk.
  explicit Child(const std::vector<std::string>& arguments,
                 std::string input = "", off_t max_file_size = -1);
  // Kills the child if it still runs, and reaps it.
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // Feeds and collects until `until` or until the child closes its output.
  void Pump(Clock::time_point until);
  // False once the child has closed its output, as it does when it ends.
  bool Talking() const { return out_fd_ >= 0 || err_fd_ >= 0; }
  void Kill() {
    if (!reaped_) kill(pid_, SIGKILL);
  }
  // Waits for the end, killing the child at `until`. Returns the exit
  // status; nullopt when killed.
  std::optional<int> Wait(Clock::time_point until);

  const std::string& out() const { return out_; }
  const std::string& err() const { return err_; }

 private:
  void CloseInput();

  pid_t pid_ = -1;
  int in_ = -1, out_fd_ = -1, err_fd_ = -1;
  std::string input_, out_, err_;
  size_t sent_ = 0;
  bool reaped_ = false;
  int status_ = 0;
};

struct CliResult {
  std::optional<int> exit_status;  // nullopt when killed after the limit
  std::string out, err;
};
CliResult RunCli(const std::vector<std::string>& arguments,
                 const std::string& input = "", off_t max_file_size = -1,
                 std::chrono::seconds limit = std::chrono::seconds(60));
// The arguments of a --json conversation on the memory at `path`.
std::vector<std::string> ChatArguments(const std::string& path);
// Each of `lines` followed by a line feed.
std::string Input(const std::vector<std::string>& lines);
// The replies of a --json conversation, in order; nullopt for null.
std::vector<std::optional<std::string>> Replies(const std::string& out);

// Gives up root's power to write what is read-only, for this process and
// every program it starts. Returns false, with the reason in `why`, when
// read-only files stay writable all the same.
bool ObeyFilePermissions(std::string* why);

// Every row of the memory at `path`, in id order, read through a connection
// of its own after checking that the file is sound (integrity_check) and
// every sentence whole: positions 0..n-1, neighbours named as stored, and a
// last word without next.
std::vector<WordRecord> SoundRows(const std::string& path);
// The sentences of `rows` from row `skip` on, words joined by spaces.
std::vector<std::string> StoredSentences(const std::vector<WordRecord>& rows,
                                         size_t skip = 0);

// `count` lines of two or three sentences, each sentence in no other line.
std::vector<std::string> Script(const std::string& tag, int count);
// The sentences learning makes of `lines`, in order.
std::vector<std::string> SentencesOf(const std::vector<std::string>& lines);

// Whether a reply is the trouble message rather than an answer, also when
// someone typed its first sentence.
bool IsTrouble(std::string_view reply);

std::string FileBytes(const std::string& path);

}  // namespace quibbo::testing

#endif  // QUIBBO_TESTS_RELIABILITY_SUPPORT_H_
