#include "cli/progress.h"

#include <cstdio>
#include <ostream>
#include <string>

#include "quibbo/text.h"

namespace quibbo::cli {
namespace {

std::string Duration(double seconds) {
  const int64_t whole = static_cast<int64_t>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld",
                static_cast<long long>(whole / 60),
                static_cast<long long>(whole % 60));
  return text;
}

}  // namespace

void TimeLeft::Add(double seconds, int64_t done) {
  samples_.emplace_back(seconds, done);
  // The oldest sample kept is the last one at least a window old.
  while (samples_.size() > 1 && samples_[1].first <= seconds - kWindowSeconds)
    samples_.pop_front();
}

std::optional<double> TimeLeft::Seconds(int64_t total) const {
  if (samples_.empty()) return std::nullopt;
  const auto& [first_seconds, first_done] = samples_.front();
  const auto& [last_seconds, last_done] = samples_.back();
  const double span = last_seconds - first_seconds;
  if (span < kSettleSeconds || last_done <= first_done) return std::nullopt;
  const double pace = (last_done - first_done) / span;
  return std::max<int64_t>(0, total - last_done) / pace;
}

ProgressBar::ProgressBar(std::ostream& err, bool enabled, int64_t total_bytes)
    : err_(err), enabled_(enabled), total_bytes_(total_bytes) {}

void ProgressBar::Update(int64_t lines, int64_t words, int64_t bytes) {
  if (!enabled_) return;
  const Clock::time_point now = Clock::now();
  if (now - last_draw_ < std::chrono::milliseconds(200)) return;
  last_draw_ = now;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  time_left_.Add(seconds, bytes);
  std::string bar = "\r";
  if (total_bytes_ > 0) {
    const double done =
        std::min(1.0, static_cast<double>(bytes) / total_bytes_);
    constexpr int kWidth = 24;
    const int filled = static_cast<int>(done * kWidth);
    bar += "[" + std::string(filled, '#') + std::string(kWidth - filled, '-') +
           "] " + std::to_string(static_cast<int>(done * 100)) + "%  ";
    if (std::optional<double> left = time_left_.Seconds(total_bytes_)) {
      bar += Duration(*left) + " left  ";
    }
  }
  bar += GroupDigits(lines) + (lines == 1 ? " line  " : " lines  ") +
         GroupDigits(static_cast<int64_t>(seconds > 0 ? words / seconds : 0)) +
         " words/s";
  err_ << bar << "\033[K" << std::flush;
  drawn_ = true;
}

void ProgressBar::Clear() {
  if (drawn_) err_ << "\r\033[K" << std::flush;
  drawn_ = false;
}

}  // namespace quibbo::cli
