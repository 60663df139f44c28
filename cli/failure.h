// How quibbo-cli tells a failure: its exit status, the one line a command
// writes, and the trouble reply of a conversation, whose advice fits a
// terminal. The statuses are kKinds' (quibbo/error.h), which quibbo-cli(1)
// documents; the advice is kept by kind in a table in failure.cc.
#ifndef QUIBBO_CLI_FAILURE_H_
#define QUIBBO_CLI_FAILURE_H_

#include <string>
#include <string_view>

#include "quibbo/error.h"

namespace quibbo::cli {

// A mistake in the command line.
inline constexpr int kUsageStatus = 2;

// The exit status for a failure of `kind`; for kInterrupted, that of the
// signal that stopped the command.
int StatusOf(Error::Kind kind);

// Writes "quibbo-cli: ", the description of `error` and `after` as one line
// on the standard error, and returns the exit status for it.
int Fail(const Error& error, std::string_view after = {});

// The reply of a conversation whose line met `failure` on the memory at
// `memory_path`: the trouble message the window shows up to the
// description, then what to do about it on a terminal.
std::string TerminalTrouble(const Error& failure,
                            const std::string& memory_path);

}  // namespace quibbo::cli

#endif  // QUIBBO_CLI_FAILURE_H_
