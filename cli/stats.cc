#include "cli/stats.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <ostream>

#include "engine/error.h"
#include "engine/statistics.h"

namespace quibbo::cli {
namespace {

constexpr size_t kTopWords = 10;

double BytesPerRow(const MemoryStatistics& stats) {
  return stats.rows > 0 ? static_cast<double>(stats.file_bytes) / stats.rows
                        : 0;
}

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

void WriteText(const std::string& path, const MemoryStatistics& stats,
               std::ostream& out) {
  out << "Memory:          " << path << "\n"
      << "Rows:            " << stats.rows << " (one per stored word)\n"
      << "Distinct words:  " << stats.distinct_words
      << " (letter case ignored)\n"
      << "Sentences:       " << stats.sentences << "\n"
      << "File size:       " << Format("%.1f MB", stats.file_bytes / 1e6);
  if (stats.rows > 0) {
    out << Format(" (%.1f bytes per row)", BytesPerRow(stats));
  }
  out << "\n";
  if (stats.top_words.empty()) return;
  out << "Most frequent words:\n";
  for (size_t i = 0; i < stats.top_words.size(); ++i) {
    char rank[32];
    std::snprintf(rank, sizeof rank, "%4zu. ", i + 1);
    out << rank << stats.top_words[i].word << "  " << stats.top_words[i].count
        << "\n";
  }
}

void WriteJson(const std::string& path, const MemoryStatistics& stats,
               std::ostream& out) {
  nlohmann::json top = nlohmann::json::array();
  for (const WordTally& tally : stats.top_words) {
    top.push_back({{"word", tally.word}, {"count", tally.count}});
  }
  nlohmann::json object = {{"memory", path},
                           {"rows", stats.rows},
                           {"distinct_words", stats.distinct_words},
                           {"sentences", stats.sentences},
                           {"top_words", top},
                           {"file_bytes", stats.file_bytes},
                           {"bytes_per_row", BytesPerRow(stats)}};
  out << object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
      << std::endl;
}

}  // namespace

int RunStats(const std::string& memory_path, bool json, std::ostream& out,
             std::ostream& err) {
  MemoryStatistics stats;
  try {
    stats = ReadStatistics(memory_path, kTopWords);
  } catch (const Error& error) {
    err << "quibbo-cli: " << error.description() << "\n";
    return 1;
  }
  if (json) {
    WriteJson(memory_path, stats, out);
  } else {
    WriteText(memory_path, stats, out);
  }
  return 0;
}

}  // namespace quibbo::cli
