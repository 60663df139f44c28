// Learning files from the terminal: `quibbo-cli learn FILE...`.
#ifndef QUIBBO_CLI_LEARN_H_
#define QUIBBO_CLI_LEARN_H_

#include <iosfwd>
#include <string>
#include <vector>

namespace quibbo::cli {

// The exit status after Ctrl+C: the batches learned so far are kept.
inline constexpr int kInterruptedStatus = 130;

struct LearnOptions {
  std::vector<std::string> files;  // "-" is the standard input
  bool progress = false;           // draw a progress bar on `err`
  bool json = false;               // each line is one JSON string
};

// Learns every line of every file, in order, into the memory at
// `memory_path`, and writes a one-line summary to `out`. Lines that are not
// UTF-8 (with `json`, not a JSON string of UTF-8 text) are skipped and
// listed in the summary. Ctrl+C stops after the
// current batch. Returns 0, 1 when a file or the memory failed, or
// kInterruptedStatus.
int RunLearn(const std::string& memory_path, const LearnOptions& options,
             std::ostream& out, std::ostream& err);

}  // namespace quibbo::cli

#endif  // QUIBBO_CLI_LEARN_H_
