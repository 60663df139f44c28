// A conversation beside a `learn`, as a person meets it: `quibbo-cli learn`
// stores a book into the memory while a `quibbo-cli chat --json` on the same
// memory says a line at a steady pace. Measures how long each reply keeps
// the person waiting, and how much the conversation slows the learn.
//
// The references come from the same run: the same chat at the same pace
// before the learn starts, and the same learn alone on an identical copy of
// the memory (which first hears the chat's lines before the learn, unpaced,
// so both learns start from the same rows).
#ifndef QUIBBO_BENCH_BESIDE_LEARN_H_
#define QUIBBO_BENCH_BESIDE_LEARN_H_

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "bench/corpus.h"

namespace quibbo::bench {

struct BesideLearnSettings {
  std::string cli;
  std::string memory;  // copied, never changed; no program may have it open
  std::string work;    // folder for the copies and the book
  int64_t book_words = 0;
  std::chrono::milliseconds pace{500};  // between two lines of the chat
  size_t quiet_lines = 0;               // timed before the learn, per round
  int rounds = 1;  // each with fresh copies: the learn alone, then beside
};

struct BesideLearnFigures {
  BesideLearnSettings settings;
  int64_t book_words = 0;  // as the learn counted them
  // Each reply's wait, from writing the line to reading its reply, over all
  // rounds: with no learn running, and while the learn runs.
  std::vector<double> quiet_ms;
  std::vector<double> beside_ms;
  // Lines beside the learn that got no reply or reported trouble (a memory
  // busy past the timeout, say); their waits count all the same.
  int failed = 0;
  // The learn's speed in each round, in words per second.
  std::vector<double> alone_words_per_second;
  std::vector<double> beside_words_per_second;
};

BesideLearnFigures MeasureBesideLearn(const BesideLearnSettings& settings,
                                      const Corpus& corpus);

}  // namespace quibbo::bench

#endif  // QUIBBO_BENCH_BESIDE_LEARN_H_
