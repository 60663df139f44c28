// Reply latency through the engine's public API, in the steady state of a
// long conversation.
#ifndef QUIBBO_BENCH_REPLIES_H_
#define QUIBBO_BENCH_REPLIES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "bench/corpus.h"
#include "engine/file/memory_file.h"

namespace quibbo::bench {

// Respond's time, in milliseconds, for `count` replies in a row on one
// engine over the memory at `memory` itself, as the chat opens it: after the
// warm-up inputs, the inputs in turn, round again as needed. Learning and
// the commit are included, and so is every checkpoint of the write-ahead
// log that falls inside a reply. The memory is opened with `options`, so
// that settings can be compared in one run. Throws if a reply reports
// trouble.
std::vector<double> TimeReplies(const Corpus& corpus, const std::string& memory,
                                size_t count, uint64_t seed,
                                const StoreOptions& options = {});

// The disk's own sync latency, the reference for what durability may cost
// a reply: `count` times, a 4 KiB write to a file in `folder`, then
// fdatasync, timed in milliseconds. Throws if a write or a sync fails.
std::vector<double> TimeDiskSyncs(const std::string& folder, size_t count);

}  // namespace quibbo::bench

#endif  // QUIBBO_BENCH_REPLIES_H_
