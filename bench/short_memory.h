// A memory as a long chat makes it: millions of rows in sentences of 2-5
// words. Every sentence starts at position 0 and none reaches position 5,
// so a lookup of a position that few rows hold is where the time can go.
//
// Measures replies through the engine and from outside on it, and times
// directly the lookup a reply's retry makes: the move to the same position
// in a neighbouring sentence (Store::NearestIdAtPosition), at positions 0 to
// 11, those of this memory's own sentences and those of a chat's lines.
#ifndef QUIBBO_BENCH_SHORT_MEMORY_H_
#define QUIBBO_BENCH_SHORT_MEMORY_H_

#include <cstdint>
#include <string>
#include <vector>

#include "bench/corpus.h"

namespace quibbo::bench {

struct ShortMemorySettings {
  std::string cli;
  std::string memory;  // made anew, and removed afterwards
  int64_t rows = 0;
  uint64_t seed = 7;   // the same seed makes the same sentences
  size_t replies = 0;  // in a row, through the engine and through quibbo-cli
  int lookups_per_position = 0;
};

struct ShortMemoryFigures {
  ShortMemorySettings settings;
  int64_t rows = 0;
  double build_seconds = 0;
  std::vector<double> lookup_ms;  // in the memory just built
  // The slowest lookup at each position.
  std::vector<double> slowest_lookup_ms;
  std::vector<double> respond_ms;     // through the engine
  std::vector<double> round_trip_ms;  // through quibbo-cli, after those
};

ShortMemoryFigures MeasureShortMemory(const ShortMemorySettings& settings,
                                      const Corpus& corpus);

}  // namespace quibbo::bench

#endif  // QUIBBO_BENCH_SHORT_MEMORY_H_
