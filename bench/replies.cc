#include "bench/replies.h"

#include <memory>
#include <optional>
#include <stdexcept>

#include "bench/figures.h"
#include "engine/engine.h"

namespace quibbo::bench {

std::vector<double> TimeReplies(const Corpus& corpus, const std::string& memory,
                                size_t count, uint64_t seed,
                                const StoreOptions& options) {
  Engine engine(memory, std::make_unique<SeededRandom>(seed), nullptr, options);
  engine.SetReportErrors(true);
  for (const std::string& line : corpus.warm_up) engine.Respond(line);
  std::vector<double> times;
  for (size_t i = 0; i < count; ++i) {
    const std::string& line = corpus.inputs[i % corpus.inputs.size()];
    Clock::time_point start = Clock::now();
    const Response reply = engine.Respond(line);
    times.push_back(Milliseconds(Clock::now() - start));
    if (reply.failure) {
      throw std::runtime_error(std::string("Respond failed: ") +
                               reply.failure->description());
    }
    // As the programs do once the reply is out; not part of the reply.
    engine.Idle();
  }
  return times;
}

}  // namespace quibbo::bench
