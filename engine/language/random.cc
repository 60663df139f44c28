#include "quibbo/random.h"

#include <chrono>

namespace quibbo {

std::unique_ptr<SeededRandom> SeededRandom::Unpredictable() {
  std::random_device device;
  uint64_t clock = static_cast<uint64_t>(
      std::chrono::steady_clock::now().time_since_epoch().count());
  uint64_t seed = (static_cast<uint64_t>(device()) << 32) ^ device() ^ clock;
  return std::make_unique<SeededRandom>(seed);
}

uint64_t SeededRandom::Below(uint64_t bound) {
  // Rejecting the few values above the largest multiple of `bound` keeps
  // every result equally likely. (std::uniform_int_distribution would do,
  // but its algorithm differs between standard libraries.)
  const uint64_t threshold = -bound % bound;
  while (true) {
    uint64_t value = generator_();
    if (value >= threshold) return value % bound;
  }
}

}  // namespace quibbo
