#include "bench/short_memory.h"

#include <memory>

#include "bench/cli_chat.h"
#include "bench/figures.h"
#include "bench/replies.h"
#include "engine/file/memory_file.h"
#include "engine/rows/store.h"
#include "engine/text/text.h"
#include "quibbo/engine.h"
#include "quibbo/learn.h"

namespace quibbo::bench {
namespace {

constexpr int kPositions = 12;  // looked up: 0 to 11

// Every word of the training lines, as often as it occurs there, without
// its full stops, so that each generated line is one sentence.
std::vector<std::string> CorpusWords(const Corpus& corpus) {
  std::vector<std::string> words;
  for (const std::string& line : corpus.training) {
    for (std::string& word : Cut(line, ' ')) {
      std::erase(word, '.');
      if (!word.empty()) words.push_back(std::move(word));
    }
  }
  return words;
}

// Learns sentences of 2-5 words drawn from the corpus's words into a new
// memory, as `quibbo-cli learn` would, until it holds `rows` rows.
void Build(const ShortMemorySettings& settings, const Corpus& corpus) {
  const std::vector<std::string> words = CorpusWords(corpus);
  SeededRandom random(settings.seed);
  RemoveMemory(settings.memory);
  CreateMemory(settings.memory);
  auto store = Store::Open(settings.memory, Store::Access::kReadWrite,
                           kBulkStoreOptions);
  BulkLearner learner(*store);
  std::string line;
  while (learner.learned().words < settings.rows) {
    line = words[random.Below(words.size())];
    for (uint64_t n = 1 + random.Below(4); n > 0; --n) {
      line += " " + words[random.Below(words.size())];
    }
    learner.Learn(line);
  }
  learner.Commit();
}

void TimeLookups(const ShortMemorySettings& settings,
                 ShortMemoryFigures* figures) {
  auto store = Store::Open(settings.memory, Store::Access::kReadOnly);
  SeededRandom random(settings.seed);
  figures->rows = store->RowCount();
  figures->slowest_lookup_ms.assign(kPositions, 0);
  for (int i = 0; i < kPositions * settings.lookups_per_position; ++i) {
    const int position = i % kPositions;
    const int64_t id = store->walk().IdOfRow(
        static_cast<int64_t>(random.Below(figures->rows)), figures->rows);
    const Direction direction =
        i / kPositions % 2 ? Direction::kForward : Direction::kBackward;
    Clock::time_point start = Clock::now();
    store->walk().NearestIdAtPosition(position, id, direction);
    const double ms = Milliseconds(Clock::now() - start);
    figures->lookup_ms.push_back(ms);
    figures->slowest_lookup_ms[position] =
        std::max(figures->slowest_lookup_ms[position], ms);
  }
}

}  // namespace

ShortMemoryFigures MeasureShortMemory(const ShortMemorySettings& settings,
                                      const Corpus& corpus) {
  ShortMemoryFigures figures;
  figures.settings = settings;
  Clock::time_point start = Clock::now();
  Build(settings, corpus);
  figures.build_seconds = Seconds(Clock::now() - start);
  TimeLookups(settings, &figures);
  const std::string rows = Thousands(static_cast<double>(figures.rows));
  Log("short sentences, " + rows + " rows: built in " +
      Fixed(figures.build_seconds, 1) + " s; position lookups median " +
      Fixed(Median(figures.lookup_ms), 3) + " ms, slowest " +
      Fixed(Max(figures.lookup_ms), 3));

  figures.respond_ms =
      TimeReplies(corpus, settings.memory, settings.replies, 1);
  CliChat chat(settings.cli, settings.memory);
  for (const std::string& line : corpus.warm_up) chat.Exchange(line);
  // From where the engine's replies stopped, so no line comes twice.
  figures.round_trip_ms =
      TimeRoundTrips(chat, corpus.inputs, settings.replies, settings.replies);
  chat.Finish();
  RemoveMemory(settings.memory);
  Log("short sentences, " + rows + " rows: engine replies median " +
      Fixed(Median(figures.respond_ms), 3) + " ms, slowest " +
      Fixed(Max(figures.respond_ms), 3) + "; quibbo-cli median " +
      Fixed(Median(figures.round_trip_ms), 3) + " ms, slowest " +
      Fixed(Max(figures.round_trip_ms), 3));
  return figures;
}

}  // namespace quibbo::bench
