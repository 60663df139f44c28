// What the memory holds, from the terminal: `quibbo-cli stats`.
#ifndef QUIBBO_CLI_STATS_H_
#define QUIBBO_CLI_STATS_H_

#include <iosfwd>
#include <string>

namespace quibbo::cli {

// Writes the memory's rows, distinct words (letter case ignored), sentences,
// ten most frequent words, size and bytes per row to `out`, as text or as
// one JSON object. Returns the exit status: 0, or 1 when the memory cannot
// be read.
int RunStats(const std::string& memory_path, bool json, std::ostream& out,
             std::ostream& err);

}  // namespace quibbo::cli

#endif  // QUIBBO_CLI_STATS_H_
