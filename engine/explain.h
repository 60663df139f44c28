// Why a reply says what it says: the word it started from, and the stored
// sentences its words were read from.
//
// Every word a walk adds is read from one stored row (reply.h says which),
// and every row belongs to one stored sentence (store.h). Reply generation
// notes the rows as it goes, in a ReplyTrace, without a random draw of its
// own, so a reply is the same whether it is explained or not; Explain then
// asks the store for the sentences, in the same snapshot.
#ifndef QUIBBO_ENGINE_EXPLAIN_H_
#define QUIBBO_ENGINE_EXPLAIN_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/store.h"

namespace quibbo {

// Where the word a reply started from came from.
enum class SeedRule {
  kRarestWord,    // the input's rarest word that the memory held
  kFallbackWord,  // the input's longest word, after a reply that repeated it
  kChance,        // no row held the word: a row drawn at random
};

// What reply generation notes about the reply it gives.
struct ReplyTrace {
  // The seed word searched for; with kChance, the drawn row's word.
  std::string seed;
  SeedRule rule = SeedRule::kChance;
  // Whether the start moved to the same position in a nearby sentence.
  bool moved = false;
  // The rows the reply's words were read from, in reply order: each gave
  // the next `words` words of the reply, which stand in its sentence from
  // `position` on.
  struct Row {
    int64_t id = 0;
    int64_t position = 0;
    size_t words = 0;
  };
  std::vector<Row> rows;
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
  std::string seed;
  SeedRule rule = SeedRule::kChance;
  bool moved = false;
  // In reply order; together the runs cover every word of the reply once.
  std::vector<ReplySource> sources;
};

// The explanation of the reply `trace` describes, read from `store`, which
// must still hold the rows the trace names (the same snapshot, say). Throws
// Error.
Explanation Explain(Store& store, const ReplyTrace& trace);

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_EXPLAIN_H_
