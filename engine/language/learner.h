// Learning: how a line the user typed becomes rows of the memory.
//
// A line is cut into sentences at every full stop; each sentence that holds
// more than spaces is trimmed of spaces, its first character upper-cased and
// a full stop appended ("how are you?" becomes "How are you?."), then cut
// into words at every single space (two spaces make an empty word). Each word
// becomes one row holding its neighbours and its position.
//
// Each sentence is stored whole or not at all, and the sentences before a
// failed one stay stored.
#ifndef QUIBBO_ENGINE_LANGUAGE_LEARNER_H_
#define QUIBBO_ENGINE_LANGUAGE_LEARNER_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/rows/store.h"

namespace quibbo {

// A line this long (a pasted document, say) is stored with a page cache as
// large as a bulk learner's, so that, as there, each page it changes is
// written once.
inline constexpr size_t kLongLineBytes = 16384;

// What a word that the memory does not hold counts.
inline constexpr int32_t kUnknownWordCount = 999999999;

// What learning hands to reply generation.
struct Intake {
  // One element per piece of the line between full stops: the normalised
  // sentence, or the empty text where the piece held only spaces.
  std::vector<std::string> sentences;
  // The input's word that the memory held fewest times before it was
  // stored (a later word wins a tie); unset when no word was known.
  std::optional<std::string> seed_word;
  // The input's longest word in characters (the earlier wins a tie); unset
  // when nothing was stored.
  std::optional<std::string> fallback_word;
};

// Cuts `line` into its sentences, normalised as above.
std::vector<std::string> CutSentences(std::string_view line);

// The rows of one normalised sentence, in word order (ids left at 0).
std::vector<WordRecord> SentenceRecords(std::string_view sentence);

// The number of rows whose word is `word`, or kUnknownWordCount when none.
int32_t WordFrequency(Store& store, std::string_view word);

// Stores every sentence of `line` in `transaction`, a write or kLater one
// (whose rows wait as pending rows, store.h), and chooses the seed and
// fallback words on the way. Leaves the commit to the caller, who may keep
// reading the snapshot it leaves. On a failure, commits the sentences
// before the failed one, as far as it can, and throws Error.
Intake Learn(Store& store, Store::Transaction& transaction,
             std::string_view line);
// The same in a write transaction of its own, committed.
Intake Learn(Store& store, std::string_view line);

// Chooses the seed and fallback words of `line` as Learn does, but stores
// nothing: every word is counted as the memory holds it, without the words
// of `line` before it. Reads in the caller's transaction, if one is open.
// Throws Error.
Intake Consider(Store& store, std::string_view line);

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_LANGUAGE_LEARNER_H_
