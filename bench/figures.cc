#include "bench/figures.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "engine/text/text.h"

namespace quibbo::bench {

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

double Milliseconds(Clock::duration d) { return Seconds(d) * 1000; }

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  if (n == 0) return 0;
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  if (values.empty()) return 0;
  size_t rank = static_cast<size_t>(std::ceil(p / 100 * values.size()));
  return values[std::max<size_t>(rank, 1) - 1];
}

double Max(const std::vector<double>& values) {
  return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

std::string Thousands(double value) {
  return GroupDigits(static_cast<int64_t>(value + 0.5));
}

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string Ms(double value) { return Fixed(value, 3); }

std::string Spread(const std::vector<double>& ms) {
  return Ms(Median(ms)) + " | " + Ms(Percentile(ms, 95)) + " | " +
         Ms(Percentile(ms, 99)) + " | " + Ms(Max(ms));
}

std::string Mark(bool met) { return met ? "met" : "**not met**"; }

int64_t FileBytes(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? info.st_size : 0;
}

void RemoveMemory(const std::string& path) {
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
    std::filesystem::remove(path + suffix);
  }
}

void CopyMemory(const std::string& from, const std::string& to) {
  RemoveMemory(to);
  for (const char* suffix : {"", "-wal"}) {
    if (std::filesystem::exists(from + suffix)) {
      std::filesystem::copy_file(from + suffix, to + suffix);
    }
  }
}

std::string ReadFirstLine(const std::string& path, const std::string& key) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(key, 0) == 0) {
      size_t colon = line.find(':');
      return colon == std::string::npos
                 ? line
                 : std::string(TrimSpaces(line.substr(colon + 1)));
    }
  }
  return "unknown";
}

std::string LoadAverage() {
  double loads[3] = {};
  if (getloadavg(loads, 3) < 1) return "unknown";
  char text[64];
  std::snprintf(text, sizeof text, "%.2f %.2f %.2f", loads[0], loads[1],
                loads[2]);
  return text;
}

void Log(const std::string& message) {
  std::cerr << "bench: " << message << std::endl;
}

}  // namespace quibbo::bench
