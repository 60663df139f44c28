#include "cli/interrupt.h"

#include <csignal>

namespace quibbo::cli {
namespace {

volatile std::sig_atomic_t received = 0;

void OnSignal(int signal) { received = signal; }

}  // namespace

InterruptGuard::InterruptGuard() {
  received = 0;
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a wait for input returns at once and looks at the flag.
  sigaction(SIGINT, &action, &previous_int_);
  sigaction(SIGTERM, &action, &previous_term_);
  sigaction(SIGHUP, &action, &previous_hup_);
}

InterruptGuard::~InterruptGuard() {
  sigaction(SIGINT, &previous_int_, nullptr);
  sigaction(SIGTERM, &previous_term_, nullptr);
  sigaction(SIGHUP, &previous_hup_, nullptr);
}

bool Interrupted() { return received != 0; }

int InterruptedStatus() { return 128 + (received != 0 ? received : SIGINT); }

}  // namespace quibbo::cli
