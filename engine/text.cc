#include "engine/text.h"

#include <utf8proc.h>

#include <algorithm>
#include <cstdint>

namespace quibbo {
namespace {

// Bytes that do not start a valid sequence decode to a private value above
// every code point, so they still order consistently.
constexpr int32_t kInvalidByteBase = 0x110000;

// The case fold of an ASCII byte.
unsigned char FoldAscii(unsigned char byte) {
  return (byte >= 'A' && byte <= 'Z') ? byte + ('a' - 'A') : byte;
}

// Decodes the character at `text[*pos]` and advances `*pos` past it.
int32_t NextCodePoint(std::string_view text, size_t* pos) {
  const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
  utf8proc_int32_t code_point = 0;
  utf8proc_ssize_t length =
      utf8proc_iterate(bytes + *pos, text.size() - *pos, &code_point);
  if (length <= 0) {
    code_point = kInvalidByteBase + bytes[*pos];
    length = 1;
  }
  *pos += length;
  return code_point;
}

void AppendCodePoint(int32_t code_point, std::string* out) {
  utf8proc_uint8_t buffer[4];
  utf8proc_ssize_t length = utf8proc_encode_char(code_point, buffer);
  out->append(reinterpret_cast<const char*>(buffer), length);
}

// Upper-cases the character that starts at `*pos`, appends it to `out` and
// advances `*pos`. Invalid bytes are copied unchanged.
void AppendUpper(std::string_view text, size_t* pos, std::string* out) {
  size_t start = *pos;
  int32_t code_point = NextCodePoint(text, pos);
  if (code_point >= kInvalidByteBase) {
    out->append(text.substr(start, *pos - start));
  } else {
    AppendCodePoint(utf8proc_toupper(code_point), out);
  }
}

// Reads the case folding of a text one code point at a time. Full case
// folding can turn one character into several ("ß" folds to "ss"), so the
// folded characters of the current source character are buffered.
class FoldedReader {
 public:
  explicit FoldedReader(std::string_view text) : text_(text) {}

  // Returns the next folded code point, or -1 at the end of the text.
  int32_t Next() {
    if (index_ == count_) {
      if (pos_ == text_.size()) return -1;
      Refill();
    }
    return buffer_[index_++];
  }

 private:
  void Refill() {
    index_ = 0;
    unsigned char byte = static_cast<unsigned char>(text_[pos_]);
    if (byte < 0x80) {  // The common case, without a table lookup.
      ++pos_;
      buffer_[0] = FoldAscii(byte);
      count_ = 1;
      return;
    }
    int32_t code_point = NextCodePoint(text_, &pos_);
    if (code_point >= kInvalidByteBase) {
      buffer_[0] = code_point;
      count_ = 1;
      return;
    }
    int last_boundclass = 0;
    utf8proc_ssize_t count = utf8proc_decompose_char(
        code_point, buffer_, kBufferSize, UTF8PROC_CASEFOLD, &last_boundclass);
    if (count <= 0 || count > kBufferSize) {
      buffer_[0] = code_point;
      count = 1;
    }
    count_ = static_cast<int>(count);
  }

  static constexpr int kBufferSize = 8;
  std::string_view text_;
  size_t pos_ = 0;
  utf8proc_int32_t buffer_[kBufferSize] = {};
  int index_ = 0;
  int count_ = 0;
};

}  // namespace

std::string_view TrimSpaces(std::string_view text) {
  size_t begin = text.find_first_not_of(' ');
  if (begin == std::string_view::npos) return text.substr(0, 0);
  size_t end = text.find_last_not_of(' ');
  return text.substr(begin, end - begin + 1);
}

std::vector<std::string> Cut(std::string_view text, char separator) {
  std::vector<std::string> pieces;
  size_t start = 0;
  while (true) {
    size_t found = text.find(separator, start);
    if (found == std::string_view::npos) {
      pieces.emplace_back(text.substr(start));
      return pieces;
    }
    pieces.emplace_back(text.substr(start, found - start));
    start = found + 1;
  }
}

std::string UpperFirst(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  size_t pos = 0;
  if (!text.empty()) AppendUpper(text, &pos, &out);
  out.append(text.substr(pos));
  return out;
}

std::string UpperCase(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) AppendUpper(text, &pos, &out);
  return out;
}

std::string GroupDigits(int64_t value) {
  const std::string digits = std::to_string(value);
  const size_t first = digits.front() == '-' ? 1 : 0;
  std::string out = digits.substr(0, first);
  for (size_t i = first; i < digits.size(); ++i) {
    if (i > first && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string_view TrimPunctuation(std::string_view text) {
  size_t begin = text.size();
  size_t end = 0;
  for (size_t pos = 0; pos < text.size();) {
    const size_t start = pos;
    const int32_t code_point = NextCodePoint(text, &pos);
    const bool punctuation =
        code_point < kInvalidByteBase &&
        utf8proc_category(code_point) >= UTF8PROC_CATEGORY_PC &&
        utf8proc_category(code_point) <= UTF8PROC_CATEGORY_PO;
    if (punctuation) continue;
    begin = std::min(begin, start);
    end = pos;
  }
  return begin < end ? text.substr(begin, end - begin) : text.substr(0, 0);
}

size_t CharacterCount(std::string_view text) {
  size_t count = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    NextCodePoint(text, &pos);
    ++count;
  }
  return count;
}

bool IsValidUtf8(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size()) {
    if (NextCodePoint(text, &pos) >= kInvalidByteBase) return false;
  }
  return true;
}

int CompareIgnoringCase(std::string_view a, std::string_view b) {
  // Most words are ASCII, and every index lookup compares many of them: the
  // ASCII prefix is compared here, byte by byte. Folding works one code point
  // at a time, so the rest compares the same from where this stops.
  const size_t common = std::min(a.size(), b.size());
  size_t i = 0;
  for (; i < common; ++i) {
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[i]);
    if ((x | y) >= 0x80) break;
    if (FoldAscii(x) != FoldAscii(y))
      return FoldAscii(x) < FoldAscii(y) ? -1 : 1;
  }
  // One word ran out within ASCII: the other is the greater if anything
  // ASCII follows, since that folds to something; other text may fold to
  // nothing and takes the long way.
  if (i == common) {
    const std::string_view rest = a.size() > i ? a.substr(i) : b.substr(i);
    if (rest.empty()) return 0;
    if (static_cast<unsigned char>(rest[0]) < 0x80) {
      return a.size() > i ? 1 : -1;
    }
  }
  FoldedReader left(a.substr(i));
  FoldedReader right(b.substr(i));
  while (true) {
    int32_t x = left.Next();
    int32_t y = right.Next();
    if (x != y) return x < y ? -1 : 1;
    if (x < 0) return 0;
  }
}

size_t AsciiCaseHash::operator()(std::string_view text) const {
  // FNV-1a over the folded bytes. Bytes of multi-byte characters are never
  // ASCII letters, so they pass through unchanged.
  uint64_t hash = 14695981039346656037u;
  for (char c : text) {
    hash = (hash ^ FoldAscii(static_cast<unsigned char>(c))) * 1099511628211u;
  }
  return static_cast<size_t>(hash);
}

size_t CaseBlindHash::operator()(std::string_view text) const {
  // FNV-1a over the folded code points, which equal texts share.
  uint64_t hash = 14695981039346656037u;
  FoldedReader folded(text);
  for (int32_t c = folded.Next(); c >= 0; c = folded.Next()) {
    hash = (hash ^ static_cast<uint32_t>(c)) * 1099511628211u;
  }
  return static_cast<size_t>(hash);
}

bool AsciiCaseEqual::operator()(std::string_view a, std::string_view b) const {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return FoldAscii(static_cast<unsigned char>(x)) ==
           FoldAscii(static_cast<unsigned char>(y));
  });
}

}  // namespace quibbo
