// What a program needs of text: trimming and cutting at the characters
// Quibbo cuts at, upper-casing as replies compare, grouping digits, and
// telling UTF-8 text. The engine's own text helpers build on these.
#ifndef QUIBBO_TEXT_H_
#define QUIBBO_TEXT_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quibbo {

// Returns `text` without leading and trailing space characters. Tabs, line
// breaks and other white space are kept.
std::string_view TrimSpaces(std::string_view text);

// Cuts `text` at every occurrence of `separator`. Nothing is dropped: n
// separators give n + 1 pieces, empty ones included.
std::vector<std::string> Cut(std::string_view text, char separator);

// Returns `text` with every character upper-cased, composed (NFC) where it
// is valid UTF-8: two texts that look the same give the same result.
std::string UpperCase(std::string_view text);

// `value` in decimal with its digits in groups of three: "-1,234,567".
std::string GroupDigits(int64_t value);

// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view text);

}  // namespace quibbo

#endif  // QUIBBO_TEXT_H_
