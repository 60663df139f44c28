// The report's sections on what a person meets beyond the usual sizes: a
// chat beside a learn, a memory of short sentences, a megabyte line; and
// their rows of the goals table. Each goal is stated against a reference
// measured in the same run.
#ifndef QUIBBO_BENCH_PERSON_REPORT_H_
#define QUIBBO_BENCH_PERSON_REPORT_H_

#include <optional>
#include <ostream>
#include <string>

#include "bench/beside_learn.h"
#include "bench/long_line.h"
#include "bench/short_memory.h"

namespace quibbo::bench {

struct PersonFigures {
  int64_t memory_rows = 0;  // of the memory the learn and the line go into
  std::optional<BesideLearnFigures> beside;
  std::optional<ShortMemoryFigures> short_memory;
  std::optional<LongLineFigures> long_line;
};

// The sections, under one heading; empty when nothing was measured.
std::string PersonSections(const PersonFigures& figures);

// One row of the goals table.
void GoalRow(std::ostream& out, const std::string& what,
             const std::string& measured, bool met);

// The rows of the goals table for what was measured.
void PersonGoals(std::ostream& out, const PersonFigures& figures);

}  // namespace quibbo::bench

#endif  // QUIBBO_BENCH_PERSON_REPORT_H_
