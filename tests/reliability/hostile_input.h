// Reliability test support: hostile and odd input, and what learning must
// make of it, computed here without the engine's code so that a mistake
// there cannot hide in the expectation.
#ifndef QUIBBO_TESTS_RELIABILITY_HOSTILE_INPUT_H_
#define QUIBBO_TESTS_RELIABILITY_HOSTILE_INPUT_H_

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/temp_memory.h"

namespace quibbo::testing {

// Every line of the fuzz target's seed corpus: real lines, quotes, SQL,
// control characters, invalid UTF-8, very long words, runs of spaces.
std::vector<std::string> HostileLines();

// Every line of the fortune files Debian's fortunes package installs;
// empty when it is not installed.
std::vector<std::string> FortuneLines();

// Whether `text` is well-formed UTF-8: no overlong forms, no surrogates,
// nothing past U+10FFFF.
bool WellFormedUtf8(std::string_view text);

// The number of rows learning stores for `line` as quibbo-cli reads it (its
// LF gone, and a CR before it): a line of spaces or of text that is not
// UTF-8 stores nothing; otherwise every piece between full stops holding
// more than spaces is one sentence, with one row per space-separated word
// once the spaces around it are trimmed.
int64_t RowsLearnedFrom(std::string_view line);

// Talks through `lines` in one quibbo-cli run, stopped after `limit`, and
// checks every answer and the memory afterwards: well-formed lines answered
// without trouble, the others refused, and exactly RowsLearnedFrom each
// line stored. The memory must hold something to begin with, so that no
// reply may be the trouble message. Returns the number of lines refused.
size_t TalkThrough(const TempMemory& memory,
                   const std::vector<std::string>& lines,
                   std::chrono::seconds limit);

}  // namespace quibbo::testing

#endif  // QUIBBO_TESTS_RELIABILITY_HOSTILE_INPUT_H_
