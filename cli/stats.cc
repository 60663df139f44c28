#include "cli/stats.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <ostream>

#include "engine/store.h"
#include "engine/store_error.h"

namespace quibbo::cli {
namespace {

constexpr size_t kTopWords = 10;

struct Stats {
  int64_t rows = 0;
  int64_t distinct_words = 0;
  int64_t sentences = 0;
  std::vector<Store::WordTally> top_words;
  int64_t file_bytes = 0;
  double bytes_per_row = 0;
};

Stats Collect(Store& store) {
  Stats stats;
  Store::Transaction snapshot(store, Store::Transaction::Kind::kRead);
  stats.rows = store.RowCount();
  stats.distinct_words = store.TallyWords(kTopWords, &stats.top_words);
  stats.sentences = store.SentenceCount();
  stats.file_bytes = store.DatabaseBytes();
  if (stats.rows > 0) {
    stats.bytes_per_row = static_cast<double>(stats.file_bytes) / stats.rows;
  }
  snapshot.Commit();
  return stats;
}

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

void WriteText(const std::string& path, const Stats& stats, std::ostream& out) {
  out << "Memory:          " << path << "\n"
      << "Rows:            " << stats.rows << " (one per stored word)\n"
      << "Distinct words:  " << stats.distinct_words
      << " (letter case ignored)\n"
      << "Sentences:       " << stats.sentences << "\n"
      << "File size:       " << Format("%.1f MB", stats.file_bytes / 1e6);
  if (stats.rows > 0) {
    out << Format(" (%.1f bytes per row)", stats.bytes_per_row);
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

void WriteJson(const std::string& path, const Stats& stats, std::ostream& out) {
  nlohmann::json top = nlohmann::json::array();
  for (const Store::WordTally& tally : stats.top_words) {
    top.push_back({{"word", tally.word}, {"count", tally.count}});
  }
  nlohmann::json object = {{"memory", path},
                           {"rows", stats.rows},
                           {"distinct_words", stats.distinct_words},
                           {"sentences", stats.sentences},
                           {"top_words", top},
                           {"file_bytes", stats.file_bytes},
                           {"bytes_per_row", stats.bytes_per_row}};
  out << object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
      << std::endl;
}

}  // namespace

int RunStats(const std::string& memory_path, bool json, std::ostream& out,
             std::ostream& err) {
  Stats stats;
  try {
    auto store = Store::Open(memory_path, Store::Access::kReadOnly);
    stats = Collect(*store);
  } catch (const StoreError& error) {
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
