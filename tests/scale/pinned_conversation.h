// A fixed conversation for guarding the engine's replies: deterministic lines
// over a small vocabulary, so that words and word pairs repeat often, at many
// positions and in several letter cases, as they do in a large memory.
#ifndef QUIBBO_TESTS_SCALE_PINNED_CONVERSATION_H_
#define QUIBBO_TESTS_SCALE_PINNED_CONVERSATION_H_

#include <cstdint>
#include <string>
#include <vector>

namespace quibbo::testing {

// `count` lines, the same on every platform for the same `seed`.
std::vector<std::string> ConversationLines(int count, uint64_t seed);

struct Exchange {
  std::string line;
  std::string reply;
};

// Talks the lines, in order, to a seeded engine on the empty memory at
// `memory_path`, and returns every exchange.
std::vector<Exchange> Converse(const std::string& memory_path,
                               const std::vector<std::string>& lines,
                               uint64_t seed);

}  // namespace quibbo::testing

#endif  // QUIBBO_TESTS_SCALE_PINNED_CONVERSATION_H_
