// The progress bar of `learn` on a terminal, and its estimate of the time
// left.
#ifndef QUIBBO_CLI_PROGRESS_H_
#define QUIBBO_CLI_PROGRESS_H_

#include <chrono>
#include <cstdint>
#include <deque>
#include <iosfwd>
#include <optional>
#include <utility>

namespace quibbo::cli {

// The time left of a job whose pace changes as it goes (learning slows as
// the memory grows), from its pace over the recent past rather than since
// the start.
class TimeLeft {
 public:
  // How far back the pace is measured, and how much of that is needed
  // before any estimate is given.
  static constexpr double kWindowSeconds = 10;
  static constexpr double kSettleSeconds = 3;

  // Records that `done` units were done `seconds` after the start.
  void Add(double seconds, int64_t done);
  // The seconds left until `total` units are done; nullopt until the pace
  // is known.
  std::optional<double> Seconds(int64_t total) const;

 private:
  std::deque<std::pair<double, int64_t>> samples_;  // oldest first
};

// One line on standard error, redrawn in place a few times a second: how
// much of the input is read, the time left, lines done and words per second.
class ProgressBar {
 public:
  // Draws nothing unless `enabled`. `total_bytes` is the size of the input,
  // or -1 when unknown (a pipe).
  ProgressBar(std::ostream& err, bool enabled, int64_t total_bytes);

  void Update(int64_t lines, int64_t words, int64_t bytes);
  // Removes the bar, so that a message can take its place.
  void Clear();

 private:
  using Clock = std::chrono::steady_clock;

  std::ostream& err_;
  bool enabled_;
  int64_t total_bytes_;
  Clock::time_point start_ = Clock::now();
  Clock::time_point last_draw_;
  TimeLeft time_left_;
  bool drawn_ = false;
};

}  // namespace quibbo::cli

#endif  // QUIBBO_CLI_PROGRESS_H_
