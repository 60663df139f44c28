// Test support: which failure a reply, an exit status or a --json line
// reports. Tests check the kind of a failure, never its wording.
#ifndef QUIBBO_TESTS_SUPPORT_FAILURE_H_
#define QUIBBO_TESTS_SUPPORT_FAILURE_H_

#include <optional>
#include <string>
#include <string_view>

#include "engine/engine.h"
#include "engine/error.h"

namespace quibbo::testing {

using Kind = Error::Kind;

// The kind KindName calls `name` ("busy"...); nullopt for any other text.
inline std::optional<Kind> KindNamed(std::string_view name) {
  for (int kind = 0; kind <= static_cast<int>(Kind::kInterrupted); ++kind) {
    if (name == KindName(static_cast<Kind>(kind)))
      return static_cast<Kind>(kind);
  }
  return std::nullopt;
}

// The exit status quibbo-cli(1) lists for a failure of `kind`.
inline int ExitStatusOf(Kind kind) {
  // missing, not-a-memory, exists, busy, read-only, full, damaged, io,
  // invalid-text, empty, interrupted (by Ctrl+C).
  const int kStatuses[] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 130};
  return kStatuses[static_cast<int>(kind)];
}

// The kind of failure a response reports; nullopt when it reports none.
inline std::optional<Kind> KindOf(const Response& response) {
  if (!response.failure) return std::nullopt;
  return response.failure->kind();
}

// Whether a reply is the trouble message rather than an answer, also when
// someone typed its first sentence: no reply composed from lines of input
// holds the blank line after it.
inline bool IsTrouble(std::string_view reply) {
  const std::string trouble = TroubleMessage("");
  return reply.starts_with(trouble.substr(0, trouble.find("\n\n") + 2));
}

}  // namespace quibbo::testing

#endif  // QUIBBO_TESTS_SUPPORT_FAILURE_H_
