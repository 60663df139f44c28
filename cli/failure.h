// How quibbo-cli tells a failure: its exit status, the one line a command
// writes, and the trouble reply of a conversation, whose advice fits a
// terminal. The statuses and the advice are kept by kind in one table in
// failure.cc; quibbo-cli(1) documents the statuses.
#ifndef QUIBBO_CLI_FAILURE_H_
#define QUIBBO_CLI_FAILURE_H_

#include <string>
#include <string_view>

#include "quibbo/error.h"

namespace quibbo::cli {

// A mistake in the command line.
inline constexpr int kUsageStatus = 2;
// A fault of the program itself (sysexits' EX_SOFTWARE).
inline constexpr int kInternalStatus = 70;

// The exit status for a failure of `kind`; for kInterrupted, that of the
// signal that stopped the command.
int StatusOf(Error::Kind kind);

// Writes "quibbo-cli: ", the description of `error` and `after` as one line
// on the standard error, and returns the exit status for it.
int Fail(const Error& error, std::string_view after = {});

// The reply of a conversation whose line met `failure` on the memory at
// `memory_path`: the window's trouble message up to the description, then
// what to do about it on a terminal.
std::string TerminalTrouble(const Error& failure,
                            const std::string& memory_path);

}  // namespace quibbo::cli

#endif  // QUIBBO_CLI_FAILURE_H_
