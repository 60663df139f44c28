// quibbo-cli stats [--json]
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/failure.h"
#include "cli/wording.h"
#include "quibbo/error.h"
#include "quibbo/memory.h"
#include "quibbo/text.h"

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

void WriteText(const std::string& path, const MemoryStatistics& stats) {
  std::cout << "Memory:          " << path << "\n"
            << "Rows:            " << GroupDigits(stats.rows)
            << " (one per stored word)\n"
            << "Distinct words:  " << GroupDigits(stats.distinct_words)
            << " (letter case ignored)\n"
            << "Sentences:       " << GroupDigits(stats.sentences) << "\n"
            << "File size:       " << Size(stats.file_bytes);
  if (stats.rows > 0) {
    std::cout << Format(" (%.1f bytes per row)", BytesPerRow(stats));
  }
  std::cout << "\n";
  if (stats.top_words.empty()) return;
  std::cout << "Most frequent words:\n";
  for (size_t i = 0; i < stats.top_words.size(); ++i) {
    char rank[32];
    std::snprintf(rank, sizeof rank, "%4zu. ", i + 1);
    std::cout << rank << Printable(stats.top_words[i].word) << "  "
              << GroupDigits(stats.top_words[i].count) << "\n";
  }
}

// The members in the order the manual gives them.
void WriteJson(const std::string& path, const MemoryStatistics& stats) {
  nlohmann::ordered_json top = nlohmann::ordered_json::array();
  for (const WordTally& tally : stats.top_words) {
    top.push_back({{"word", tally.word}, {"count", tally.count}});
  }
  const nlohmann::ordered_json object = {
      {"memory", path},
      {"rows", stats.rows},
      {"distinct_words", stats.distinct_words},
      {"sentences", stats.sentences},
      {"file_bytes", stats.file_bytes},
      {"bytes_per_row", BytesPerRow(stats)},
      {"top_words", top}};
  std::cout << JsonText(object) << std::endl;
}

}  // namespace

int RunStats(const Settings& settings) {
  MemoryStatistics stats;
  try {
    stats = ReadStatistics(settings.memory, kTopWords);
  } catch (const Error& error) {
    return Fail(error);
  }
  if (settings.json) {
    WriteJson(settings.memory, stats);
  } else {
    WriteText(settings.memory, stats);
  }
  return 0;
}

}  // namespace quibbo::cli
