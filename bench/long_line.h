// A megabyte line, as when a person pastes a whole document into the chat:
// the time until its reply in a running `quibbo-cli chat --json`, against
// the time `quibbo-cli learn` takes for a file holding just that line, each
// on its own copy of the same memory. The line is the training lines joined
// by spaces, full stops and all, so it holds many sentences.
#ifndef QUIBBO_BENCH_LONG_LINE_H_
#define QUIBBO_BENCH_LONG_LINE_H_

#include <cstdint>
#include <string>

#include "bench/corpus.h"

namespace quibbo::bench {

struct LongLineFigures {
  int64_t bytes = 0;
  int64_t words = 0;  // as the learn counted them
  double learn_seconds = 0;
  double chat_seconds = 0;
};

// `memory` is copied, never changed; no program may have it open. The
// copies and the line's file go into `work`.
LongLineFigures MeasureLongLine(const std::string& cli,
                                const std::string& memory,
                                const std::string& work, const Corpus& corpus,
                                int64_t bytes);

}  // namespace quibbo::bench

#endif  // QUIBBO_BENCH_LONG_LINE_H_
