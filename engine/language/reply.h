// Reply generation: composing an answer from the memory by random walks.
//
// An attempt draws a row, moves to a stored occurrence of the seed word
// (the first after the drawn row, else the last one), may shift to the same
// position in a neighbouring sentence, then walks backward to the start of a
// sentence and forward to the end of one. Each step looks up the rows that
// hold the current word pair and picks one of them uniformly, so a word
// follows another as often as it did in what was learned. A reply that only
// repeats the user's last sentence is rejected and composed again from the
// fallback word, unless the memory holds fewer than 200 rows.
//
// Draws are taken in a fixed order (start row, jitter, one per step), so a
// scripted RandomSource fixes every choice; the start row takes one draw,
// or a few in a memory whose ids have gaps (Store::DrawId). Generation only
// reads, in the caller's snapshot: the one the line was learned in, so a
// program writing at the same time cannot change the memory under it.
//
// Each word a walk adds is read from one row: stepping back, from the row
// stepped to (its next word); stepping forward, from the row stepped to (its
// previous word); at a sentence's boundary, from that row itself (its own
// word). Asked to, generation notes those rows as it goes and explains the
// reply (explain.h) in the same snapshot, without a draw of its own.
#ifndef QUIBBO_ENGINE_LANGUAGE_REPLY_H_
#define QUIBBO_ENGINE_LANGUAGE_REPLY_H_

#include <string>

#include "engine/language/explain.h"
#include "engine/language/learner.h"
#include "engine/rows/store.h"
#include "quibbo/explanation.h"
#include "quibbo/random.h"

namespace quibbo {

// A memory below this many rows is small: its first reply is always taken.
inline constexpr int64_t kSmallMemoryRows = 200;

// Bounds that keep generation finite on any memory. A memory filled with
// repetitions of the user's sentence would otherwise retry forever, and a
// word repeated many times in a row can make a walk long. 50 attempts are
// far more than a real memory needs; 1000 steps outrun any sentence typed.
// When a bound is reached, the reply built so far is used.
inline constexpr int kMaxAttempts = 50;
inline constexpr int kMaxWalkSteps = 1000;

// Composes the reply to the input that `intake` describes, which has
// already been stored (Learn) or only weighed (Consider), reading the memory
// in the transaction or kept snapshot the caller has open, and with
// `explanation`, sets it to the reply's. Throws Error, also when the memory
// holds nothing (kEmpty).
std::string ComposeReply(Store& store, RandomSource& random,
                         const Intake& intake,
                         Explanation* explanation = nullptr);

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_LANGUAGE_REPLY_H_
