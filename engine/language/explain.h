// Why a reply says what it says: the word it started from, and the stored
// sentences its words were read from.
//
// Every word a walk adds is read from one stored row (reply.h says which),
// and every row belongs to one stored sentence (store.h). Reply generation
// notes the rows as it goes, in a ReplyTrace, without a random draw of its
// own, so a reply is the same whether it is explained or not; Explain then
// asks the store for the sentences, in the same snapshot.
#ifndef QUIBBO_ENGINE_LANGUAGE_EXPLAIN_H_
#define QUIBBO_ENGINE_LANGUAGE_EXPLAIN_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/rows/store.h"
#include "quibbo/explanation.h"

namespace quibbo {

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

// The explanation of the reply `trace` describes, read from `store`, which
// must still hold the rows the trace names (the same snapshot, say). Throws
// Error.
Explanation Explain(Store& store, const ReplyTrace& trace);

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_LANGUAGE_EXPLAIN_H_
