// How quibbo-cli chat --explain shows where a reply came from: the word it
// started from, then one line for each stored sentence a run of its words
// came from, the run in brackets, as in
//
//   Seed "cat": the rarest of your words that I knew.
//   sentence 1042: The [cat sat] on the mat.
//   sentence 88: He [sat on the mat.]
//
// Each line fits in 80 columns (a column for each character): what does
// not fit of a sentence is cut, keeping the run in sight, and marked "...".
#ifndef QUIBBO_CLI_EXPLANATION_H_
#define QUIBBO_CLI_EXPLANATION_H_

#include <string>

#include "quibbo/engine.h"

namespace quibbo::cli {

inline constexpr size_t kExplanationWidth = 80;

// The lines that explain a reply, each ending in a line feed.
std::string ExplanationText(const Explanation& explanation);

}  // namespace quibbo::cli

#endif  // QUIBBO_CLI_EXPLANATION_H_
