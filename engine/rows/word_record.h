// One row of table `word`, and the two ways a walk over the rows heads.
#ifndef QUIBBO_ENGINE_ROWS_WORD_RECORD_H_
#define QUIBBO_ENGINE_ROWS_WORD_RECORD_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quibbo {

// One occurrence of one word in one sentence.
struct WordRecord {
  int64_t id = 0;                       // assigned by the store, grows
  std::optional<std::string> previous;  // unset for a sentence's first word
  std::string middle;                   // the word itself
  std::optional<std::string> next;      // unset for a sentence's last word
  int64_t position = 0;                 // index in the sentence, from 0

  bool operator==(const WordRecord&) const = default;
};

// A neighbour's word, or the empty word where the sentence ends: a view of
// `word`, which must outlive it.
inline std::string_view WordOrEmpty(const std::optional<std::string>& word) {
  return word ? std::string_view(*word) : std::string_view();
}

// Which way a walk heads. Used for neighbouring rows and walk candidates.
enum class Direction { kBackward, kForward };

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_ROWS_WORD_RECORD_H_
