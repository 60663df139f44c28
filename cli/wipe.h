// Emptying the memory from the terminal, after the same two questions the
// window asks.
#ifndef QUIBBO_CLI_WIPE_H_
#define QUIBBO_CLI_WIPE_H_

#include <iosfwd>
#include <string>

namespace quibbo::cli {

// Asks both questions on `out`, reading answers from `in`; an empty answer
// or the end of the input takes the safe default. `assume_yes` answers both
// for scripts. Returns the exit status: 0 whether or not anything was
// deleted, 1 when the memory could not be emptied.
int RunWipe(const std::string& memory_path, bool assume_yes, std::istream& in,
            std::ostream& out, std::ostream& err);

}  // namespace quibbo::cli

#endif  // QUIBBO_CLI_WIPE_H_
