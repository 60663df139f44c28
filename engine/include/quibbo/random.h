// The source of chance replies are composed with. Part of the engine's
// public face, below the facade (quibbo/engine.h), so that the layers that
// compose replies need nothing of the Engine itself.
#ifndef QUIBBO_RANDOM_H_
#define QUIBBO_RANDOM_H_

#include <cstdint>
#include <memory>
#include <random>

namespace quibbo {

// Where reply generation gets its chances from. Generation only ever needs
// "a whole number from 0 up to, not including, n", so that is the whole
// interface. Tests script the draws; the programs use a seeded generator
// whose stream is the same on every platform, so a memory, its inputs and a
// seed always give the same replies.
class RandomSource {
 public:
  virtual ~RandomSource() = default;
  // Returns a whole number drawn uniformly from [0, bound); bound >= 1.
  virtual uint64_t Below(uint64_t bound) = 0;
};

class SeededRandom : public RandomSource {
 public:
  explicit SeededRandom(uint64_t seed) : generator_(seed) {}
  // Seeded once from the clock and the system's random device, so no two
  // runs repeat their draws.
  static std::unique_ptr<SeededRandom> Unpredictable();

  uint64_t Below(uint64_t bound) override;

 private:
  std::mt19937_64 generator_;  // its stream is fixed by the C++ standard
};

}  // namespace quibbo

#endif  // QUIBBO_RANDOM_H_
