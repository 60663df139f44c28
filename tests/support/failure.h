// Test support: which failure a reply or an error reports. Tests check the
// kind of a failure, never its wording; the wording is read here only.
#ifndef QUIBBO_TESTS_SUPPORT_FAILURE_H_
#define QUIBBO_TESTS_SUPPORT_FAILURE_H_

#include <optional>
#include <string>
#include <string_view>

#include "engine/engine.h"
#include "engine/error.h"

namespace quibbo::testing {

using Kind = Error::Kind;

// The kind of failure that `text` reports: a description, or a reply or an
// error output holding one; nullopt when it reports none.
inline std::optional<Kind> KindOf(std::string_view text) {
  const std::pair<const char*, Kind> kWording[] = {
      {"does not exist", Kind::kMissing},
      {"in use by another program", Kind::kBusy},
      {"is damaged", Kind::kDamaged},
      {"not valid UTF-8", Kind::kInvalidText},
      {"nothing to reply with", Kind::kEmpty},
      {"not a Quibbo memory", Kind::kNotAMemory}};
  for (const auto& [wording, kind] : kWording) {
    if (text.find(wording) != std::string_view::npos) return kind;
  }
  return std::nullopt;
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
