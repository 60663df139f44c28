// The benchmark: Quibbo's memory at 10 000, 100 000 and 1 000 000 rows,
// learned from Debian's fortunes.
//
// For each size it measures bulk learning (and, for scale, the same rows
// inserted into a bare SQLite table in this process), the bytes each stored
// word costs, and reply latency in the steady state of a long conversation.
// On the largest memory it also measures replies from outside, through a
// live quibbo-cli, with its start-up time and peak resident memory. Then
// what a person meets beyond that: a chat beside a `quibbo-cli learn` on a
// copy of that memory (beside_learn.h), a megabyte line said in a chat
// against the same line learned (long_line.h), and replies from a memory of
// millions of short sentences (short_memory.h). On the largest memory it
// also measures what explaining replies costs (explaining.h). The window's
// figures come from window_bench, run before, and join the report.
//
// With --rows N it compares a memory of N rows with one of a million
// instead, and writes only that section of the report. With --explaining it
// measures only what explaining replies costs, on a memory of a million
// rows, and prints that section without writing the report.
//
//   quibbo_bench --corpus DIR --cli PATH --work DIR --out FILE
//                [--window FILE] [--quick | --rows N] [--explaining]
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "bench/cli_chat.h"
#include "bench/corpus.h"
#include "bench/explaining.h"
#include "bench/figures.h"
#include "bench/learning.h"
#include "bench/person_report.h"
#include "bench/replies.h"
#include "bench/report.h"

namespace quibbo::bench {
namespace {

constexpr size_t kReplies = 600;
constexpr size_t kChatLines = 500;
constexpr int kChatStarts = 5;
constexpr int64_t kMillion = 1000000;

// What a person meets; --quick divides the sizes by kQuickShare.
constexpr int64_t kBookWords = 2 * kMillion;
constexpr std::chrono::milliseconds kPace{500};
constexpr size_t kQuietLines = 20;
constexpr int kBesideRounds = 2;
constexpr int64_t kLineBytes = 1100000;
constexpr int64_t kShortRows = 3 * kMillion;
constexpr size_t kShortReplies = 500;
constexpr int kLookupsPerPosition = 10;
constexpr int kQuickShare = 10;

struct Settings {
  std::string corpus = "/usr/share/games/fortunes";
  std::string cli;
  std::string work = "bench-work";
  std::string out;
  std::string window;  // window_bench's figures
  bool quick = false;  // fewer runs and no million rows, for a smoke test
  int64_t large = 0;   // compare this many rows with a million instead
  // Measure what explaining costs, and only that.
  bool explaining = false;
};

struct Size {
  int64_t rows;
  int learn_runs;
  bool bare;  // also time bare SQLite
  bool chat;  // also time quibbo-cli
};

SizeResult Measure(const Settings& settings, const Corpus& corpus,
                   const Size& size) {
  const std::string memory = settings.work + "/bench.mdb";
  const std::string raw = settings.work + "/raw.db";
  const std::string rows = Thousands(static_cast<double>(size.rows));
  SizeResult result;
  result.rows = size.rows;
  result.learn_runs = size.learn_runs;
  std::vector<double> learn, reference;
  // Warm-up: one unmeasured round of each.
  BulkLearn(corpus, memory, std::min<int64_t>(size.rows, 10000));
  if (size.bare) RawSqlite(corpus, raw, std::min<int64_t>(size.rows, 10000));
  for (int run = 0; run < size.learn_runs; ++run) {
    learn.push_back(BulkLearn(corpus, memory, size.rows).words_per_second());
    std::string line =
        rows + " rows: learned at " + Thousands(learn.back()) + " words/s";
    if (size.bare) {
      reference.push_back(RawSqlite(corpus, raw, size.rows).words_per_second());
      line += ", bare SQLite " + Thousands(reference.back());
    }
    Log(line);
  }
  result.learn_words_per_second = Median(learn);
  result.raw_words_per_second = Median(reference);
  result.bytes_per_word = static_cast<double>(FileBytes(memory)) / size.rows;

  // What durability costs: the same replies on an identical copy, with
  // nothing synced.
  const std::string copy = settings.work + "/not-durable.mdb";
  if (size.chat) CopyMemory(memory, copy);
  result.respond_ms = TimeReplies(corpus, memory, kReplies, 1);
  Log(rows + " rows: engine replies median " +
      Fixed(Median(result.respond_ms), 3) + " ms, 95th " +
      Fixed(Percentile(result.respond_ms, 95), 3) + ", 99th " +
      Fixed(Percentile(result.respond_ms, 99), 3));
  if (size.chat) {
    result.respond_not_durable_ms =
        TimeReplies(corpus, copy, kReplies, 1, {.durable = false});
    RemoveMemory(copy);
    result.disk_sync_ms = TimeDiskSyncs(settings.work, kReplies);
    Log(rows + " rows: the disk's fdatasync, median " +
        Fixed(Median(result.disk_sync_ms), 3) + " ms");
    Log(rows + " rows: without durability, median " +
        Fixed(Median(result.respond_not_durable_ms), 3) + " ms, 99th " +
        Fixed(Percentile(result.respond_not_durable_ms, 99), 3));
  }
  if (size.chat) {
    result.explaining =
        MeasureExplaining(corpus, memory, settings.work, kReplies, size.rows);
    Log(rows + " rows: explaining, median " +
        Fixed(Median(result.explaining->on_ms), 3) + " ms against " +
        Fixed(Median(result.explaining->off_ms), 3) + " ms");
  }
  if (size.chat && !settings.cli.empty()) {
    result.chat = MeasureChat(settings.cli, memory, corpus, kChatStarts,
                              kChatLines, kReplies);
    const std::vector<double>& trips = result.chat->round_trip_ms;
    Log(rows + " rows: quibbo-cli round trips median " +
        Fixed(Median(trips), 3) + " ms, 95th " +
        Fixed(Percentile(trips, 95), 3) + ", 99th " +
        Fixed(Percentile(trips, 99), 3) + "; first reply after " +
        Fixed(result.chat->first_reply_ms, 1) + " ms; peak " +
        Fixed(result.chat->peak_kib / 1024, 1) + " MiB");
  }
  return result;
}

// On the memory at `memory`, which holds `rows` rows.
PersonFigures MeasurePerson(const Settings& settings, const Corpus& corpus,
                            const std::string& memory, int64_t rows) {
  const int share = settings.quick ? kQuickShare : 1;
  PersonFigures person;
  person.memory_rows = rows;
  BesideLearnSettings beside = {.cli = settings.cli,
                                .memory = memory,
                                .work = settings.work,
                                .book_words = kBookWords / share,
                                .pace = kPace,
                                .quiet_lines = kQuietLines / share,
                                .rounds = settings.quick ? 1 : kBesideRounds};
  person.beside = MeasureBesideLearn(beside, corpus);
  person.long_line = MeasureLongLine(settings.cli, memory, settings.work,
                                     corpus, kLineBytes / share);
  RemoveMemory(memory);
  ShortMemorySettings short_memory = {
      .cli = settings.cli,
      .memory = settings.work + "/short.mdb",
      .rows = kShortRows / share,
      .replies = kShortReplies / share,
      .lookups_per_position = std::max(1, kLookupsPerPosition / share)};
  person.short_memory = MeasureShortMemory(short_memory, corpus);
  return person;
}

// --explaining: that section alone, on standard output, with the reply
// median it is compared with measured beforehand on the same memory.
int RunExplaining(const Settings& settings, const Corpus& corpus) {
  const std::string memory = settings.work + "/bench.mdb";
  const int64_t rows = settings.quick ? kMillion / kQuickShare : kMillion;
  BulkLearn(corpus, memory, rows);
  const std::vector<double> table = TimeReplies(corpus, memory, kReplies, 1);
  const ExplainingFigures figures =
      MeasureExplaining(corpus, memory, settings.work, kReplies, rows);
  RemoveMemory(memory);
  std::cout << ExplainingSection(figures, Median(table)) << "\n";
  ExplainingGoal(std::cout, figures);
  return 0;
}

int Run(const Settings& settings) {
  const Clock::time_point start = Clock::now();
  RunInfo info;
  info.load_before = LoadAverage();
  Corpus corpus = LoadCorpus(settings.corpus);
  Log("corpus: " + std::to_string(corpus.training.size()) +
      " training lines, " + std::to_string(corpus.words) + " words; " +
      std::to_string(corpus.inputs.size()) + " held-back inputs, " +
      std::to_string(corpus.sentences.size()) + " whole sentences");
  std::filesystem::create_directories(settings.work);
  if (settings.explaining) return RunExplaining(settings, corpus);

  std::vector<Size> sizes = {{10000, 5, true, false},
                             {100000, 5, true, false},
                             {kMillion, 3, true, true}};
  if (settings.quick)
    sizes = {{10000, 2, true, false}, {100000, 1, true, true}};
  if (settings.large) {
    sizes = {{kMillion, 1, false, true}, {settings.large, 1, false, true}};
  }
  std::vector<SizeResult> results;
  for (const Size& size : sizes) {
    results.push_back(Measure(settings, corpus, size));
  }
  const std::string memory = settings.work + "/bench.mdb";
  PersonFigures person;
  if (!settings.large && !settings.cli.empty()) {
    person = MeasurePerson(settings, corpus, memory, results.back().rows);
  }
  RemoveMemory(memory);

  info.corpus = settings.corpus;
  info.corpus_words = corpus.words;
  info.corpus_lines = corpus.training.size();
  info.inputs = corpus.inputs.size();
  info.sentences = corpus.sentences.size();
  info.warm_up = corpus.warm_up.size();
  info.replies = kReplies;
  info.chat_lines = kChatLines;
  info.chat_starts = kChatStarts;
  info.work = settings.work;
  info.load_after = LoadAverage();
  info.seconds = Seconds(Clock::now() - start);

  std::string standard, large;
  if (settings.large) {
    large = LargeReport(results.front(), results.back(), info);
    std::cout << "\n" << large;
  } else {
    std::vector<WindowFigure> window =
        ReadWindowFigures(settings.window, &info.window_exchanges);
    standard = StandardReport(results, window, person, info);
    std::cout << "\n" << standard;
  }
  if (!settings.out.empty()) WriteResults(settings.out, standard, large);
  return 0;
}

}  // namespace
}  // namespace quibbo::bench

int main(int argc, char** argv) {
  // A quibbo-cli that dies shows as a failed write, not as this program's
  // death.
  signal(SIGPIPE, SIG_IGN);
  quibbo::bench::Settings settings;
  try {
    for (int i = 1; i < argc; ++i) {
      std::string arg = argv[i];
      auto value = [&]() -> std::string {
        if (i + 1 >= argc) throw std::runtime_error(arg + " needs a value");
        return argv[++i];
      };
      if (arg == "--corpus") {
        settings.corpus = value();
      } else if (arg == "--cli") {
        settings.cli = value();
      } else if (arg == "--work") {
        settings.work = value();
      } else if (arg == "--out") {
        settings.out = value();
      } else if (arg == "--window") {
        settings.window = value();
      } else if (arg == "--explaining") {
        settings.explaining = true;
      } else if (arg == "--quick") {
        settings.quick = true;
      } else if (arg == "--rows") {
        settings.large = std::stoll(value());
        if (settings.large <= quibbo::bench::kMillion) {
          throw std::runtime_error("--rows must be over a million");
        }
      } else {
        std::cerr << "usage: quibbo_bench --corpus DIR --cli PATH --work DIR "
                     "--out FILE [--window FILE] [--quick | --rows N] "
                     "[--explaining]\n";
        return 2;
      }
    }
    return quibbo::bench::Run(settings);
  } catch (const std::exception& error) {
    std::cerr << "bench: " << error.what() << "\n";
    return 1;
  }
}
