// Small helpers every part of the benchmark shares: the clock, the
// statistics over repeated measurements, and how figures are printed.
#ifndef QUIBBO_BENCH_FIGURES_H_
#define QUIBBO_BENCH_FIGURES_H_

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace quibbo::bench {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d);
double Milliseconds(Clock::duration d);

double Median(std::vector<double> values);
// Nearest rank: the smallest value at least `p` percent of values reach.
double Percentile(std::vector<double> values, double p);
double Max(const std::vector<double>& values);

// "1,234,567", rounded to a whole number.
std::string Thousands(double value);
std::string Fixed(double value, int decimals);
// Milliseconds to the microsecond, for the tables.
std::string Ms(double value);
// Median, 95th and 99th percentile and the slowest, as table cells.
std::string Spread(const std::vector<double>& ms);
// "met" or a bold "not met", for the goals table.
std::string Mark(bool met);

int64_t FileBytes(const std::string& path);
// Removes a memory file with its write-ahead log and lock files.
void RemoveMemory(const std::string& path);
// Copies a memory that no program has open, with its write-ahead log if it
// has one, over whatever `to` held.
void CopyMemory(const std::string& from, const std::string& to);
// The value after the colon of the first line of `path` that starts with
// `key`, or "unknown".
std::string ReadFirstLine(const std::string& path, const std::string& key);
std::string LoadAverage();

// Progress on standard error, as the benchmark runs.
void Log(const std::string& message);

}  // namespace quibbo::bench

#endif  // QUIBBO_BENCH_FIGURES_H_
