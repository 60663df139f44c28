#include "bench/report.h"

#include <sqlite3.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "bench/figures.h"

namespace quibbo::bench {
namespace {

constexpr char kLargeHeading[] = "## Past a million rows";
constexpr double kMiB = 1024;  // KiB

std::string Rows(int64_t rows) { return Thousands(static_cast<double>(rows)); }

std::string Today() {
  std::time_t now = std::time(nullptr);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d", std::gmtime(&now));
  return text;
}

std::string Machine(const RunInfo& info) {
  utsname system = {};
  uname(&system);
  std::ostringstream out;
  out << "- CPU: " << ReadFirstLine("/proc/cpuinfo", "model name") << ", "
      << sysconf(_SC_NPROCESSORS_ONLN) << " cores; memory "
      << ReadFirstLine("/proc/meminfo", "MemTotal") << "\n"
      << "- System: " << system.sysname << " " << system.release << " "
      << system.machine << "; SQLite " << sqlite3_libversion() << "; compiler "
      << __VERSION__ << "\n"
      << "- Memory files in " << info.work
      << " (local disk); load average before " << info.load_before << ", after "
      << info.load_after << "; the run took " << Fixed(info.seconds, 0)
      << " s\n";
  return out.str();
}

// [begin, end) of the section under `heading`, or npos twice.
std::pair<size_t, size_t> FindSection(const std::string& text,
                                      const std::string& heading) {
  size_t begin = text.find("\n" + heading + "\n");
  if (begin == std::string::npos) return {begin, begin};
  ++begin;
  size_t end = text.find("\n## ", begin);
  return {begin, end == std::string::npos ? text.size() : end + 1};
}

std::string Trimmed(std::string text) {
  while (text.size() > 1 && text.back() == '\n' &&
         text[text.size() - 2] == '\n') {
    text.pop_back();
  }
  return text;
}

}  // namespace

std::vector<WindowFigure> ReadWindowFigures(const std::string& path,
                                            int* exchanges) {
  std::vector<WindowFigure> figures;
  if (path.empty()) return figures;
  std::ifstream in(path);
  nlohmann::json report = nlohmann::json::parse(in, nullptr, false);
  if (report.is_discarded() || !report.contains("transcripts")) return {};
  *exchanges = report.value("exchanges", 0);
  for (const auto& each : report["transcripts"]) {
    figures.push_back({each.value("bytes", int64_t{0}),
                       each.value("cpu_ms", 0.0), each.value("wall_ms", 0.0)});
  }
  return figures;
}

std::string StandardReport(const std::vector<SizeResult>& sizes,
                           const std::vector<WindowFigure>& window,
                           const PersonFigures& person, const RunInfo& info) {
  const SizeResult& small = sizes.front();
  const SizeResult& large = sizes.back();
  const double ratio = Median(large.respond_ms) / Median(small.respond_ms);
  std::ostringstream out;
  out << "# Benchmark results\n\n"
      << "Written by `make bench` (the programs in bench/, run by "
         "scripts/bench). The machine is shared, so figures vary from run "
         "to run by 10-30%; medians over repeated runs damp that.\n\n"
      << "Learning is timed as `quibbo-cli learn` works: cutting lines into "
         "sentences, storing them in batches that hold the memory for up to "
         "about four seconds each, counting the words, and closing the "
         "memory. The bare "
         "SQLite figure inserts the same rows, made beforehand, with one "
         "statement in one transaction into a table without indexes.\n\n"
      << "Replies are timed in the steady state of a long conversation: one "
         "program answers line after line on the memory just learned, never "
         "on a fresh copy, so the write-ahead log's checkpoints land where "
         "they land for a user. Through the engine's public API each time "
         "covers learning the line, the commit and the reply; from outside, "
         "each round trip of a line through a live `quibbo-cli chat --json` "
         "over a pipe also covers reading the line and writing the reply.\n\n"
      << "The window's cost is the CPU time of its whole process per "
         "exchange (a 240-character line pasted, Talk, the repaint, and the "
         "events that follow), on the offscreen platform with a "
         "conversation that answers at once, so the engine's time is left "
         "out.\n\n";

  out << "## Results\n\n"
      << "| Memory (rows) | Learning (words/s) | Bare SQLite (words/s) | "
         "Learning / bare | Reply median (ms) | 95th (ms) | 99th (ms) | "
         "Bytes per word |\n"
      << "|---:|---:|---:|---:|---:|---:|---:|---:|\n";
  for (const SizeResult& r : sizes) {
    out << "| " << Rows(r.rows) << " | " << Thousands(r.learn_words_per_second)
        << " | " << Thousands(r.raw_words_per_second) << " | "
        << Fixed(100 * r.learn_words_per_second / r.raw_words_per_second, 0)
        << "% | " << Ms(Median(r.respond_ms)) << " | "
        << Ms(Percentile(r.respond_ms, 95)) << " | "
        << Ms(Percentile(r.respond_ms, 99)) << " | "
        << Fixed(r.bytes_per_word, 1) << " |\n";
  }
  out << "\nReplies through the engine's API, " << info.replies
      << " in a row on each memory. Reply median at " << Rows(large.rows)
      << " rows / at " << Rows(small.rows) << " rows: " << Fixed(ratio, 2)
      << "\n";

  const std::vector<double>& loose = large.respond_not_durable_ms;
  if (!loose.empty()) {
    const std::vector<double>& durable = large.respond_ms;
    out << "\n### What durability costs\n\n"
        << "The same " << info.replies << " replies through the engine on "
        << "an identical copy of the " << Rows(large.rows)
        << "-row memory, with durability off (`StoreOptions::durable = "
           "false`: nothing synced, as before answered lines were put on the "
           "disk before their reply). quibbo-cli has no such setting; it is "
           "measured through the engine only.\n\n"
        << "| Engine reply (ms) | Median | 95th | 99th | Slowest |\n"
        << "|---|---:|---:|---:|---:|\n";
    auto row = [&out](const std::string& what, const std::vector<double>& ms) {
      out << "| " << what << " | " << Spread(ms) << " |\n";
    };
    row("Durable: each line on the disk before its reply", durable);
    row("Not durable", loose);
    out << "| What durability costs | " << Ms(Median(durable) - Median(loose))
        << " | " << Ms(Percentile(durable, 95) - Percentile(loose, 95)) << " | "
        << Ms(Percentile(durable, 99) - Percentile(loose, 99)) << " | |\n";
    if (!large.disk_sync_ms.empty()) {
      row("The disk's own fdatasync of a 4 KiB write", large.disk_sync_ms);
    }
    out << "\nWhere it goes: the line's commit hands the log's sync to the "
           "memory's worker thread, which syncs while the reply is composed; "
           "the reply then waits only for what is left of the sync. So a "
           "reply pays the sync's latency less the time spent composing, "
           "plus the hand-over to the thread and back (a write to an eventfd "
           "and a condition variable), and never more than one sync: the "
           "log copies run after it, on the same thread, once for each "
           "1,000 pages the log grows. A line's commit appends a page of "
           "the log for every page of the table and its indexes that it "
           "changed, a dozen or more on a large memory, so its sync takes "
           "longer than that of the single 4 KiB write above: timed inside "
           "the worker on a 350,000-row memory, the log's sync took 0.42 ms "
           "at the median, the 4 KiB write's 0.18 ms, and the hand-over "
           "0.08 ms; composing a reply ends well before the sync does.\n";
  }

  if (large.explaining) {
    out << ExplainingSection(*large.explaining, Median(large.respond_ms));
  }

  const ChatFigures* chat = large.chat ? &*large.chat : nullptr;
  if (chat) {
    const std::vector<double>& trips = chat->round_trip_ms;
    out << "\n### From outside: `quibbo-cli chat --json` on "
        << Rows(large.rows) << " rows\n\n"
        << "| Round trip of a line (ms) | Median | 95th | 99th | Slowest |\n"
        << "|---|---:|---:|---:|---:|\n";
    auto row = [&out](const std::string& what, const std::vector<double>& ms) {
      out << "| " << ms.size() << " " << what << " | " << Spread(ms) << " |\n";
    };
    row("fragments (held-back lines) in a row", trips);
    row("whole sentences in a row, after those", chat->sentence_round_trip_ms);
    out << "\n"
        << "First reply " << Fixed(chat->first_reply_ms, 1)
        << " ms after the program started (median of " << info.chat_starts
        << "); peak resident memory "
        << Fixed(chat->first_reply_peak_kib / kMiB, 1) << " MiB for one line, "
        << Fixed(chat->peak_kib / kMiB, 1) << " MiB after " << trips.size()
        << " lines\n";
  }

  const WindowFigure* empty = window.empty() ? nullptr : &window.front();
  const WindowFigure* full = window.empty() ? nullptr : &window.back();
  if (empty) {
    out << "\n### The window\n\n"
        << "| Transcript (bytes) | CPU per exchange (ms) | Time per exchange "
           "(ms) |\n"
        << "|---:|---:|---:|\n";
    for (const WindowFigure& w : window) {
      out << "| " << Rows(w.bytes) << " | " << Fixed(w.cpu_ms, 2) << " | "
          << Fixed(w.wall_ms, 2) << " |\n";
    }
    out << "\nMedians of " << info.window_exchanges
        << " exchanges each. CPU per exchange at " << Rows(full->bytes)
        << " bytes / empty: " << Fixed(full->cpu_ms / empty->cpu_ms, 2) << "\n";
  }

  double worst_bytes = 0;
  for (const SizeResult& r : sizes) {
    worst_bytes = std::max(worst_bytes, r.bytes_per_word);
  }
  const double learn_rate = large.learn_words_per_second;
  const double learn_share = learn_rate / large.raw_words_per_second;
  const std::string at = " at " + Rows(large.rows) + " rows";
  out << "\n" << PersonSections(person);
  out << "## Goals\n\n| Goal | Measured | |\n|---|---:|---|\n";
  auto goal = [&out](const std::string& what, const std::string& measured,
                     bool met) { GoalRow(out, what, measured, met); };
  if (chat) {
    const std::vector<double>& trips = chat->round_trip_ms;
    goal("Reply from outside: median <= 0.5 ms" + at, Ms(Median(trips)) + " ms",
         Median(trips) <= 0.5);
    goal("Reply from outside: 95th percentile <= 1.5 ms",
         Ms(Percentile(trips, 95)) + " ms", Percentile(trips, 95) <= 1.5);
    goal("Reply from outside: 99th percentile <= 3 ms",
         Ms(Percentile(trips, 99)) + " ms", Percentile(trips, 99) <= 3);
  }
  goal("Engine reply median <= 1 ms" + at, Ms(Median(large.respond_ms)) + " ms",
       Median(large.respond_ms) <= 1);
  if (!large.disk_sync_ms.empty() && !large.respond_not_durable_ms.empty()) {
    const double cost =
        Median(large.respond_ms) - Median(large.respond_not_durable_ms);
    const double sync = Median(large.disk_sync_ms);
    goal(
        "Durability: median reply cost (on minus off) <= the disk's own "
        "fdatasync median",
        Ms(cost) + " ms, the sync " + Ms(sync) + " ms", cost <= sync);
  }
  goal("Engine reply 95th percentile <= 4 ms",
       Ms(Percentile(large.respond_ms, 95)) + " ms",
       Percentile(large.respond_ms, 95) <= 4);
  goal("Reply median " + Rows(large.rows) + " / " + Rows(small.rows) + " <= 3",
       Fixed(ratio, 2), ratio <= 3);
  goal("Bulk learning >= 250 000 words/s" + at, Thousands(learn_rate),
       learn_rate >= 250000);
  goal("Bulk learning >= 15% of bare SQLite", Fixed(100 * learn_share, 0) + "%",
       learn_share >= 0.15);
  goal("<= 80 bytes per stored word", Fixed(worst_bytes, 1), worst_bytes <= 80);
  if (empty) {
    goal("Window: CPU per exchange <= 8 ms with a " + Rows(full->bytes) +
             "-byte transcript",
         Fixed(full->cpu_ms, 2) + " ms", full->cpu_ms <= 8);
    goal("Window: flat, that CPU <= 2 x an empty transcript's",
         Fixed(full->cpu_ms / empty->cpu_ms, 2) + " x",
         full->cpu_ms <= 2 * empty->cpu_ms);
  }
  if (chat) {
    const double peak_mb =
        std::max(chat->first_reply_peak_kib, chat->peak_kib) * 1024 / 1e6;
    goal("quibbo-cli peak resident memory <= 32 MB", Fixed(peak_mb, 1) + " MB",
         peak_mb <= 32);
    goal("quibbo-cli start to first reply <= 150 ms",
         Fixed(chat->first_reply_ms, 1) + " ms", chat->first_reply_ms <= 150);
  }
  if (large.explaining) ExplainingGoal(out, *large.explaining);
  PersonGoals(out, person);

  out << "\n## Machine and method\n\n"
      << Machine(info) << "- Corpus: " << info.corpus << ", "
      << Thousands(static_cast<double>(info.corpus_words)) << " words in "
      << Thousands(static_cast<double>(info.corpus_lines))
      << " lines, repeated to reach the larger memories; " << info.inputs
      << " held-back lines as inputs, in turn, after " << info.warm_up
      << " warm-up lines; " << info.sentences
      << " whole sentences of the fortunes that hold an input as inputs "
         "too\n"
      << "- Learning runs per size:";
  for (const SizeResult& r : sizes) {
    out << " " << Rows(r.rows) << " rows " << r.learn_runs << ";";
  }
  out << " each after an unmeasured warm-up; the median is shown. Replies: "
      << info.replies << " in a row through the engine on each memory";
  if (chat) {
    out << ", then " << chat->round_trip_ms.size() << " fragments and "
        << chat->sentence_round_trip_ms.size()
        << " whole sentences in a row through quibbo-cli on the largest";
  }
  out << "\n";
  return out.str();
}

std::string LargeReport(const SizeResult& million, const SizeResult& large,
                        const RunInfo& info) {
  std::ostringstream out;
  out << kLargeHeading << "\n\n"
      << "Written by `scripts/bench --rows " << large.rows << "` on " << Today()
      << "; not part of `make bench`, as learning that many rows takes long. "
         "One learning run per size; replies as above, "
      << info.replies << " in a row through the engine and "
      << (large.chat ? large.chat->round_trip_ms.size() : 0)
      << " through quibbo-cli on each memory.\n\n"
      << "| Memory (rows) | Learning (words/s) | Engine reply median (ms) | "
         "95th (ms) | From outside: median (ms) | 95th (ms) | 99th (ms) | "
         "Bytes per word |\n"
      << "|---:|---:|---:|---:|---:|---:|---:|---:|\n";
  for (const SizeResult* r : {&million, &large}) {
    std::vector<double> trips;
    if (r->chat) trips = r->chat->round_trip_ms;
    out << "| " << Rows(r->rows) << " | "
        << Thousands(r->learn_words_per_second) << " | "
        << Ms(Median(r->respond_ms)) << " | "
        << Ms(Percentile(r->respond_ms, 95)) << " | " << Ms(Median(trips))
        << " | " << Ms(Percentile(trips, 95)) << " | "
        << Ms(Percentile(trips, 99)) << " | " << Fixed(r->bytes_per_word, 1)
        << " |\n";
  }
  const double engine_ratio =
      Median(large.respond_ms) / Median(million.respond_ms);
  const double learn_ratio =
      million.learn_words_per_second / large.learn_words_per_second;
  const std::string big = Rows(large.rows), one = Rows(million.rows);
  out << "\n| Goal | Measured | |\n|---|---:|---|\n"
      << "| Engine reply median at " << big << " rows <= 2 x at " << one
      << " | " << Fixed(engine_ratio, 2) << " x | " << Mark(engine_ratio <= 2)
      << " |\n";
  if (large.chat && million.chat) {
    const double outside_ratio =
        Median(large.chat->round_trip_ms) / Median(million.chat->round_trip_ms);
    out << "| Reply median from outside at " << big << " rows <= 2 x at " << one
        << " | " << Fixed(outside_ratio, 2) << " x | "
        << Mark(outside_ratio <= 2) << " |\n";
  }
  out << "| Learning at " << big << " rows at least half its rate at " << one
      << " | " << Fixed(learn_ratio, 2) << " x slower | "
      << Mark(learn_ratio <= 2) << " |\n\n"
      << Machine(info);
  return out.str();
}

void WriteResults(const std::string& path, const std::string& standard,
                  const std::string& large) {
  std::string old;
  {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    old = text.str();
  }
  auto [begin, end] = FindSection(old, kLargeHeading);
  std::string old_large, rest = old;
  if (begin != std::string::npos) {
    old_large = old.substr(begin, end - begin);
    rest = old.substr(0, begin) + old.substr(end);
  }
  std::string text = Trimmed(standard.empty() ? rest : standard);
  const std::string section = Trimmed(large.empty() ? old_large : large);
  if (text.empty()) text = "# Benchmark results\n";
  if (!section.empty()) text += "\n" + section;
  std::ofstream(path) << text;
}

}  // namespace quibbo::bench
