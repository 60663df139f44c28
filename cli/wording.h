// How quibbo-cli writes numbers, sizes and stored words for people: one
// format everywhere.
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

}  // namespace quibbo::cli

#endif  // QUIBBO_CLI_WORDING_H_
