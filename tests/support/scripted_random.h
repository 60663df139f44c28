// Test support: a RandomSource that returns the draws a test lists, and
// records the bounds it was asked for, so a test can check both.
#ifndef QUIBBO_TESTS_SUPPORT_SCRIPTED_RANDOM_H_
#define QUIBBO_TESTS_SUPPORT_SCRIPTED_RANDOM_H_

#include <cstdint>
#include <deque>
#include <stdexcept>
#include <vector>

#include "engine/random.h"

namespace quibbo::testing {

class ScriptedRandom : public RandomSource {
 public:
  struct Log {
    std::vector<uint64_t> bounds;  // every bound asked for, in order
  };

  // `log` (optional) outlives this source, which the engine may own.
  explicit ScriptedRandom(std::deque<uint64_t> draws, Log* log = nullptr)
      : draws_(std::move(draws)), log_(log) {}

  // Returns the next scripted draw; when the script has run out, 0. A draw
  // at or above its bound is a mistake in the test.
  uint64_t Below(uint64_t bound) override {
    if (log_) log_->bounds.push_back(bound);
    if (draws_.empty()) return 0;
    uint64_t draw = draws_.front();
    draws_.pop_front();
    if (draw >= bound) throw std::logic_error("scripted draw out of range");
    return draw;
  }

 private:
  std::deque<uint64_t> draws_;
  Log* log_;
};

}  // namespace quibbo::testing

#endif  // QUIBBO_TESTS_SUPPORT_SCRIPTED_RANDOM_H_
