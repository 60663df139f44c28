// Text helpers for the engine: everything that looks inside a UTF-8 string.
//
// Words are cut only at the space character and sentences only at the full
// stop, so most of these functions work on bytes. Case mapping is done one
// Unicode code point at a time through utf8proc, so a multi-byte character is
// never split. Input that is not valid UTF-8 is refused before it reaches the
// engine; for robustness, every function here still accepts any bytes and
// treats an invalid byte as a character of its own that has no case.
#ifndef QUIBBO_ENGINE_TEXT_TEXT_H_
#define QUIBBO_ENGINE_TEXT_TEXT_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "quibbo/text.h"

namespace quibbo {

// Returns `text` with its first character upper-cased.
std::string UpperFirst(std::string_view text);

// `text` without the punctuation at its ends: every character of a Unicode
// punctuation category (quotes, brackets, full stops, commas, "?", "!").
std::string_view TrimPunctuation(std::string_view text);

// Number of characters (code points) in `text`.
size_t CharacterCount(std::string_view text);

// Three-way comparison that ignores letter case and how a character was
// composed: "Über" equals "über", and "é" typed as one code point equals "e"
// followed by a combining acute accent. Dotless "ı" counts as "i", since
// both upper-case to "I". It compares the canonical decompositions of the
// Unicode case foldings of both texts, combining marks in canonical order,
// code point by code point, which is a total order, as an SQLite collation
// needs. Texts stay as they are: only the comparison ignores all this.
int CompareIgnoringCase(std::string_view a, std::string_view b);

// Texts that differ at most in the case of ASCII letters: a cheap, partial
// grouping of the texts CompareIgnoringCase finds equal ("The" and "THE",
// not "ß" and "SS"), for hash tables that merge most spellings of a word.
struct AsciiCaseHash {
  size_t operator()(std::string_view text) const;
};
struct AsciiCaseEqual {
  bool operator()(std::string_view a, std::string_view b) const;
};

// Texts CompareIgnoringCase finds equal, all of them, for hash tables that
// must group every spelling of a word ("ß" and "SS" too).
struct CaseBlindHash {
  using is_transparent = void;
  size_t operator()(std::string_view text) const;
};
struct CaseBlindEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const {
    return CompareIgnoringCase(a, b) == 0;
  }
};

// How many times each word was added, letter case ignored: every spelling
// CaseBlindEqual finds equal counts as one word.
class CaseBlindCounts {
 public:
  void Add(const std::string& word) { ++counts_[word]; }
  // Takes back one Add of `word`, which must have been added.
  void Remove(const std::string& word) {
    auto count = counts_.find(word);
    if (--count->second == 0) counts_.erase(count);
  }
  int64_t Count(std::string_view word) const {
    auto count = counts_.find(word);
    return count == counts_.end() ? 0 : count->second;
  }
  void Clear() { counts_.clear(); }

 private:
  std::unordered_map<std::string, int64_t, CaseBlindHash, CaseBlindEqual>
      counts_;
};

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_TEXT_TEXT_H_
