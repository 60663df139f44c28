// Forgetting: deleting every sentence that holds one of some words.
//
// A sentence goes whole or not at all: the run of rows from one at position 0
// up to the next, as an export reads it. A stored word counts as a word to
// forget when the two have the same core, compared as every word is (letter
// case and Unicode form ignored, CompareIgnoringCase in text.h). A word's
// core is the word without the punctuation at its ends (quotes, brackets,
// the sentence's full stop, "?", "!", ",") and without a possessive "'s":
// "bob" takes "Bob?.", "\"Bob\".", "Bob's" and "BOB’S", but not "bobcat",
// "Bobs" or "Bob-Smith". Every apostrophe people type counts as one: ' ’ ‘ ʼ
// ＇ ` ´ ′, in a possessive and anywhere else ("don’t" is "don't"). The "'s"
// of he, she, it, this, that, who, what, where, when, why, how, here, there
// and let is a contraction ("it is", "let us"), never a possessive: "it"
// does not take "It's", nor "let" "Let's"; "it's" takes them. A typed word of
// punctuation alone takes only itself, with or without a full stop.
// Everything is deleted in one write transaction, which also lowers the
// counts in word_count by exactly the rows deleted, so replies afterwards
// come only from what remains; and no copy of what went stays in the
// memory's files. One sentence, named by a row it holds, goes the same
// way.
#ifndef QUIBBO_ENGINE_FORGET_H_
#define QUIBBO_ENGINE_FORGET_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/export.h"

namespace quibbo {

struct ForgetFigures {
  std::vector<std::string> forms;  // the stored words that count, one each
  int64_t sentences = 0;
  int64_t rows = 0;
  std::vector<std::string> examples;  // the oldest sentences, as text
};

// What Forget would delete now, with up to `examples` of the sentences;
// reads one snapshot and changes no word. A memory of an earlier version is
// first brought up to date where it may be written, as Forget would, so
// that the two find the same words. Throws Error.
ForgetFigures PreviewForget(const std::string& memory_path,
                            const std::vector<std::string>& words,
                            size_t examples);

// Deletes every sentence of the memory at `memory_path` that holds any of
// `words` and returns what went (without examples). Throws Error; then
// nothing was deleted.
ForgetFigures Forget(const std::string& memory_path,
                     const std::vector<std::string>& words);

// Deletes `sentence`, as SentenceHoldingRow read it, with the same
// guarantees, if it is still stored as it was then: the same first row and
// the same text. Returns what went: no sentence when it is no longer
// stored, and then nothing changed. Throws Error; then nothing was deleted.
ForgetFigures ForgetSentence(const std::string& memory_path,
                             const StoredSentence& sentence);

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_FORGET_H_
