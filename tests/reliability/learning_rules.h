// What learning must make of a line, worked out without the engine's code
// so that a mistake there cannot hide in the expectation. Shared by the
// tests and the fuzz target.
#ifndef QUIBBO_TESTS_RELIABILITY_LEARNING_RULES_H_
#define QUIBBO_TESTS_RELIABILITY_LEARNING_RULES_H_

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace quibbo::testing {

// Whether `text` is well-formed UTF-8: no overlong forms, no surrogates,
// nothing past U+10FFFF.
inline bool WellFormedUtf8(std::string_view text) {
  static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  for (size_t i = 0; i < text.size();) {
    const unsigned lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80                    ? 1
                          : lead >= 0xC2 && lead <= 0xDF ? 2
                          : lead >= 0xE0 && lead <= 0xEF ? 3
                          : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                         : 0;
    if (length == 0 || i + length > text.size()) return false;
    uint32_t code_point = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
      const unsigned next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code_point = (code_point << 6) | (next & 0x3F);
    }
    if (code_point < kSmallest[length] || code_point > 0x10FFFF ||
        (code_point >= 0xD800 && code_point <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

// The rows learning stores for a line of well-formed text: one per
// space-separated word of each piece between full stops that holds more
// than spaces, once the spaces around the piece are trimmed.
inline int64_t RowsLearnedFrom(std::string_view line) {
  int64_t rows = 0;
  for (size_t start = 0; start <= line.size();) {
    const size_t stop = std::min(line.find('.', start), line.size());
    std::string_view piece = line.substr(start, stop - start);
    const size_t first = piece.find_first_not_of(' ');
    if (first != std::string_view::npos) {
      piece = piece.substr(first, piece.find_last_not_of(' ') - first + 1);
      rows += 1 + std::count(piece.begin(), piece.end(), ' ');
    }
    start = stop + 1;
  }
  return rows;
}

}  // namespace quibbo::testing

#endif  // QUIBBO_TESTS_RELIABILITY_LEARNING_RULES_H_
