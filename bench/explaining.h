// What explaining replies costs (`quibbo-cli chat --explain`): replies
// through the engine with explaining off and on, measured in one run.
#ifndef QUIBBO_BENCH_EXPLAINING_H_
#define QUIBBO_BENCH_EXPLAINING_H_

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "bench/corpus.h"

namespace quibbo::bench {

struct ExplainingFigures {
  int64_t rows = 0;  // of the memory they were measured on
  std::vector<double> off_ms, on_ms;
  double sources_per_reply = 0;  // on average
};

// Respond's time on two identical copies of the memory at `memory`, made in
// `work`, one engine explaining and one not, both seeded alike: after the
// warm-up, each of `count` inputs is said to both, in turn, which of them
// first alternating, so that both meet the same load. Throws if a reply
// reports trouble or differs between the two.
ExplainingFigures MeasureExplaining(const Corpus& corpus,
                                    const std::string& memory,
                                    const std::string& work, size_t count,
                                    int64_t rows);

// The report's section on it; `table_median` is the reply median of the
// results table at the same size, which explaining off should match.
std::string ExplainingSection(const ExplainingFigures& figures,
                              double table_median);

// Its row of the goals table.
void ExplainingGoal(std::ostream& out, const ExplainingFigures& figures);

}  // namespace quibbo::bench

#endif  // QUIBBO_BENCH_EXPLAINING_H_
