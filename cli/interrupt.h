// Ctrl+C, SIGTERM and SIGHUP (the terminal closed), for the commands that
// stop cleanly: chat, learn, backup and export. While an InterruptGuard
// lives, each of these signals only sets a flag, which those commands look
// at between steps; they then end as at the end of their input, keeping
// what is stored and removing what is half written, and exit with 128 plus
// the signal's number.
#ifndef QUIBBO_CLI_INTERRUPT_H_
#define QUIBBO_CLI_INTERRUPT_H_

#include <signal.h>

namespace quibbo::cli {

class InterruptGuard {
 public:
  InterruptGuard();
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

 private:
  struct sigaction previous_int_ = {};
  struct sigaction previous_term_ = {};
  struct sigaction previous_hup_ = {};
};

// Whether SIGINT, SIGTERM or SIGHUP arrived while a guard lived.
bool Interrupted();

// The exit status for the signal that arrived: 130 for SIGINT, 143 for
// SIGTERM, 129 for SIGHUP; 130 when none did.
int InterruptedStatus();

}  // namespace quibbo::cli

#endif  // QUIBBO_CLI_INTERRUPT_H_
