// How quibbo-cli writes numbers, sizes and stored words for people, and
// JSON for programs: one format everywhere.
#ifndef QUIBBO_CLI_WORDING_H_
#define QUIBBO_CLI_WORDING_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace quibbo::cli {

// `count` with its digits grouped and the noun that fits: "1 row",
// "1,271 rows".
std::string Count(int64_t count, const char* one, const char* many);

// A size in bytes, in powers of 1000: "512 bytes", "20.5 KB", "1.3 MB".
std::string Size(int64_t bytes);

// `text` as a terminal can show it on one line: control characters (C0 and
// C1), bytes that are not UTF-8, and the backslash that introduces them,
// escaped as in C ("\n", "\x01", "\\").
std::string Printable(std::string_view text);

// `value` (nlohmann's json or ordered_json) as one line of JSON.
// Replacement characters stand in for bytes that are not UTF-8, which only
// an edit by hand can have stored, so the output is valid JSON whatever the
// memory holds.
template <typename Json>
std::string JsonText(const Json& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace quibbo::cli

#endif  // QUIBBO_CLI_WORDING_H_
