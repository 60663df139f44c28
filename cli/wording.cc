#include "cli/wording.h"

#include <cstdio>
#include <iterator>

#include "quibbo/text.h"

namespace quibbo::cli {

std::string Count(int64_t count, const char* one, const char* many) {
  return GroupDigits(count) + " " + (count == 1 ? one : many);
}

std::string Size(int64_t bytes) {
  if (bytes < 1000) return GroupDigits(bytes) + " bytes";
  const char* units[] = {"KB", "MB", "GB", "TB"};
  double value = bytes / 1000.0;
  size_t unit = 0;
  for (; value >= 999.95 && unit + 1 < std::size(units); ++unit) value /= 1000;
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
  return text;
}

std::string Printable(std::string_view text) {
  std::string shown;
  while (!text.empty()) {
    const unsigned char c = text[0];
    size_t length = c < 0x80 ? 1 : c >= 0xf0 ? 4 : c >= 0xe0 ? 3 : 2;
    const bool c1 = c == 0xc2 && text.size() > 1 &&
                    static_cast<unsigned char>(text[1]) < 0xa0;
    if (length > 1 && !c1 && IsValidUtf8(text.substr(0, length))) {
      shown += text.substr(0, length);
    } else {
      length = 1;
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      shown += c == '\\'               ? "\\\\"
               : c == '\n'             ? "\\n"
               : c == '\t'             ? "\\t"
               : c == '\r'             ? "\\r"
               : c < 0x20 || c >= 0x7f ? escaped
                                       : std::string(1, static_cast<char>(c));
    }
    text.remove_prefix(length);
  }
  return shown;
}

}  // namespace quibbo::cli
