// What an explained reply tells beside its text. Part of the engine's
// public face, below the facade (quibbo/engine.h), so that the layers that
// compose replies need nothing of the Engine itself.
#ifndef QUIBBO_EXPLANATION_H_
#define QUIBBO_EXPLANATION_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quibbo {

// Why a reply says what it says (SetExplaining): the word it started from,
// and the stored sentences its words were read from. Every word a walk adds
// is read from one stored row, and every row belongs to one stored
// sentence; explaining takes no random draw, so a reply is the same whether
// it is explained or not.

// Where the word a reply started from came from.
enum class SeedRule {
  kRarestWord,    // the input's rarest word that the memory held
  kFallbackWord,  // the input's longest word, after a reply that repeated it
  kChance,        // no row held the word: a row drawn at random
};

// A stored sentence that a run of the reply's words was read from.
struct ReplySource {
  int64_t sentence = 0;  // the id of its first row
  std::string text;      // as export writes it
  // The run, as indices of the reply's words (the reply cut at single
  // spaces), inclusive; and the index among the sentence's words where it
  // stands. Consecutive rows of one sentence that read on where the last
  // one stopped make one run.
  size_t first_word = 0;
  size_t last_word = 0;
  int64_t in_sentence = 0;
};

struct Explanation {
  // The seed word searched for; with kChance, the drawn row's word.
  std::string seed;
  SeedRule rule = SeedRule::kChance;
  // Whether the start moved to the same position in a nearby sentence.
  bool moved = false;
  // In reply order; together the runs cover every word of the reply once.
  std::vector<ReplySource> sources;
};

}  // namespace quibbo

#endif  // QUIBBO_EXPLANATION_H_
