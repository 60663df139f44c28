// The report: bench/results.md, written from the figures of one run.
//
// A normal run rewrites the file but keeps the section that a run past a
// million rows wrote earlier; a run past a million rows replaces only that
// section, so both kinds of figures stay side by side.
#ifndef QUIBBO_BENCH_REPORT_H_
#define QUIBBO_BENCH_REPORT_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bench/cli_chat.h"
#include "bench/explaining.h"
#include "bench/person_report.h"

namespace quibbo::bench {

struct SizeResult {
  int64_t rows = 0;
  int learn_runs = 0;
  double learn_words_per_second = 0;
  double raw_words_per_second = 0;  // 0 when not measured
  std::vector<double> respond_ms;   // through the engine's API
  // The same on an identical copy with durability off, where measured.
  std::vector<double> respond_not_durable_ms;
  // The disk's own fdatasync latency, measured beside those (TimeDiskSyncs).
  std::vector<double> disk_sync_ms;
  double bytes_per_word = 0;
  std::optional<ChatFigures> chat;              // from outside, where measured
  std::optional<ExplainingFigures> explaining;  // where measured
};

// The window's median cost per exchange with a transcript of `bytes`.
struct WindowFigure {
  int64_t bytes = 0;
  double cpu_ms = 0;
  double wall_ms = 0;
};

struct RunInfo {
  std::string corpus;
  int64_t corpus_words = 0;
  size_t corpus_lines = 0;
  size_t inputs = 0;
  size_t sentences = 0;  // whole ones, as inputs too
  size_t warm_up = 0;
  size_t replies = 0;     // in a row through the engine, per memory
  size_t chat_lines = 0;  // in a row through quibbo-cli
  int chat_starts = 0;
  int window_exchanges = 0;
  std::string work;
  std::string load_before;
  std::string load_after;
  double seconds = 0;
};

// The window's figures as window_bench writes them; empty if `path` is
// empty or unreadable.
std::vector<WindowFigure> ReadWindowFigures(const std::string& path,
                                            int* exchanges);

// Results, goals, and how they were measured, for the usual sizes and what
// a person meets.
std::string StandardReport(const std::vector<SizeResult>& sizes,
                           const std::vector<WindowFigure>& window,
                           const PersonFigures& person, const RunInfo& info);

// The section on how a memory far past a million rows compares with one of
// a million.
std::string LargeReport(const SizeResult& million, const SizeResult& large,
                        const RunInfo& info);

// Writes `path`: `standard` replaces everything but the large section, and
// `large` replaces that section; an empty one keeps what the file held.
void WriteResults(const std::string& path, const std::string& standard,
                  const std::string& large);

}  // namespace quibbo::bench

#endif  // QUIBBO_BENCH_REPORT_H_
