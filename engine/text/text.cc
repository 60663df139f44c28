#include "engine/text/text.h"

#include <utf8proc.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <utility>

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

// Up to 4 code points of a canonical decomposition, or 3 of a full case
// folding, for one code point.
constexpr int kMaxExpansion = 4;

// Code points with their canonical combining classes: a character and the
// marks that follow it, decomposed.
struct MarkedRun {
  // Appends the canonical decomposition of `code_point`; false, with nothing
  // appended, when there is no room for it.
  bool Append(int32_t code_point) {
    utf8proc_ssize_t added = 1;
    if (code_point >= kInvalidByteBase) {
      points[size] = code_point;
    } else {
      int boundclass = 0;
      added = utf8proc_decompose_char(code_point, points + size, kSize - size,
                                      UTF8PROC_DECOMPOSE, &boundclass);
      if (added > kSize - size) return false;
      if (added <= 0) {
        points[size] = code_point;
        added = 1;
      }
    }
    for (int i = size; i < size + added; ++i) {
      classes[i] = points[i] >= kInvalidByteBase
                       ? 0
                       : utf8proc_get_property(points[i])->combining_class;
    }
    size += static_cast<int>(added);
    return true;
  }

  // Canonical order: each run of marks sorted by class, stably.
  void Order() {
    for (int i = 1; i < size; ++i) {
      for (int j = i; j > 0 && classes[j] != 0 && classes[j - 1] > classes[j];
           --j) {
        std::swap(points[j], points[j - 1]);
        std::swap(classes[j], classes[j - 1]);
      }
    }
  }

  static constexpr int kSize = 6 * kMaxExpansion;
  // Only the first `size` are set.
  utf8proc_int32_t points[kSize];
  utf8proc_propval_t classes[kSize];
  int size = 0;
};

// Reads the key words are compared by, one code point at a time: Unicode's
// canonical caseless form, the full case folding of the canonical
// decomposition, so that "Café" typed as one code point or as "e" and a
// combining accent gives one key. Each character is read with the marks
// after it, since marks typed in any order are put in one. ASCII characters
// stand alone: each is its own key, and no mark moves before a character
// that is not a mark, so a key read from any ASCII character on is the tail
// of the whole text's key.
class FoldedReader {
 public:
  explicit FoldedReader(std::string_view text) : text_(text) {}

  // Returns the next code point of the key, or -1 at the end of the text.
  int32_t Next() {
    if (index_ == count_) {
      if (pos_ == text_.size()) return -1;
      Refill();
    }
    return key_[index_++];
  }

 private:
  void Refill() {
    index_ = 0;
    count_ = 0;
    unsigned char byte = static_cast<unsigned char>(text_[pos_]);
    if (byte < 0x80) {  // The common case, without a table lookup.
      ++pos_;
      key_[count_++] = FoldAscii(byte);
      return;
    }
    int32_t first = next_;
    if (pos_ == next_at_) {
      pos_ = next_end_;
    } else {
      first = NextCodePoint(text_, &pos_);
    }
    if (pos_ == text_.size() ||
        static_cast<unsigned char>(text_[pos_]) < 0x80 || StartsNext()) {
      // No mark follows: the character's own decomposition is in order.
      AppendFolded(first);
      return;
    }
    MarkedRun run;
    run.Append(first);
    // The marks that follow, up to a character that starts anew. The rare
    // longer run of marks goes on in the next key segment.
    while (pos_ < text_.size() &&
           static_cast<unsigned char>(text_[pos_]) >= 0x80) {
      const size_t at = pos_;
      const int before = run.size;
      const int32_t code_point = NextCodePoint(text_, &pos_);
      if (Starts(code_point) || !run.Append(code_point) ||
          run.classes[before] == 0) {
        pos_ = at;
        run.size = before;
        break;
      }
    }
    run.Order();
    // Folding a decomposed code point never gives a mark, so the folded
    // run needs no ordering again.
    for (int i = 0; i < run.size; ++i) AppendFolded(run.points[i]);
  }

  void AppendFolded(int32_t code_point) {
    if (code_point == kDotlessI) {
      // Upper-casing makes "I" of both "ı" and "i", and the first letter of a
      // sentence is upper-cased as it is stored: the three are one letter.
      key_[count_++] = 'i';
      return;
    }
    int boundclass = 0;
    const utf8proc_ssize_t added =
        code_point >= kInvalidByteBase
            ? 0
            : utf8proc_decompose_char(
                  code_point, key_ + count_, kKeySize - count_,
                  static_cast<utf8proc_option_t>(UTF8PROC_DECOMPOSE |
                                                 UTF8PROC_CASEFOLD),
                  &boundclass);
    if (added <= 0 || added > kMaxExpansion) {
      key_[count_++] = code_point;
    } else {
      count_ += static_cast<int>(added);
    }
  }

  // Whether the character at `pos_` surely starts anew; it is decoded once,
  // for this and for reading it.
  bool StartsNext() {
    next_at_ = pos_;
    next_end_ = pos_;
    next_ = NextCodePoint(text_, &next_end_);
    return Starts(next_);
  }

  // Whether `code_point` surely starts a character anew: no mark, and no
  // decomposition that might begin with one.
  static bool Starts(int32_t code_point) {
    if (code_point >= kInvalidByteBase) return true;
    const utf8proc_property_t* property = utf8proc_get_property(code_point);
    return property->combining_class == 0 &&
           (property->decomp_seqindex == UINT16_MAX || property->decomp_type);
  }

  static constexpr int32_t kDotlessI = 0x131;
  static constexpr int kKeySize = MarkedRun::kSize * kMaxExpansion;
  std::string_view text_;
  size_t pos_ = 0;
  // The character at next_at_, which ends at next_end_.
  size_t next_at_ = std::string_view::npos;
  size_t next_end_ = 0;
  int32_t next_ = 0;
  utf8proc_int32_t key_[kKeySize];  // the first count_ are set
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
  bool ascii = true;
  while (pos < text.size()) {
    ascii = ascii && static_cast<unsigned char>(text[pos]) < 0x80;
    AppendUpper(text, &pos, &out);
  }
  if (ascii || !IsValidUtf8(out)) return out;
  utf8proc_uint8_t* composed = nullptr;
  const utf8proc_ssize_t size = utf8proc_map(
      reinterpret_cast<const utf8proc_uint8_t*>(out.data()), out.size(),
      &composed,
      static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE));
  if (size >= 0) out.assign(reinterpret_cast<const char*>(composed), size);
  std::free(composed);
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
  // ASCII prefix is compared here, byte by byte. Each ASCII character is a
  // key of its own (see FoldedReader), so the rest compares the same from
  // where this stops.
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
