#include "bench/person_report.h"

#include <sstream>

#include "bench/figures.h"

namespace quibbo::bench {
namespace {

constexpr double kBesideWaitMs = 50;
constexpr double kBesideShare = 0.8;
constexpr double kSlowestOverMedian = 20;
constexpr double kLookupMs = 1;
constexpr double kLineOverLearn = 2;

std::string Count(int64_t n) { return Thousands(static_cast<double>(n)); }

double LearnShare(const BesideLearnFigures& f) {
  return Median(f.beside_words_per_second) / Median(f.alone_words_per_second);
}

void BesideSection(std::ostream& out, const BesideLearnFigures& f,
                   int64_t rows) {
  const BesideLearnSettings& s = f.settings;
  out << "### A chat beside a `learn`\n\n"
      << "`quibbo-cli learn` stores a book of " << Count(f.book_words)
      << " words (the training lines, round again) into a copy of the "
      << Count(rows) << "-row memory, while a `quibbo-cli chat --json` on "
      << "the same memory says a line (a held-back fragment) every "
      << Fixed(s.pace.count() / 1000.0, 1)
      << " s for as long as the learn runs. A reply's wait runs from "
         "writing the line to reading its reply. The references: the same "
         "chat at the same pace, "
      << s.quiet_lines
      << " lines before the learn starts, and the same learn alone on an "
         "identical copy. "
      << s.rounds << (s.rounds == 1 ? " round" : " rounds")
      << " on fresh copies, the learn alone first; the waits of all rounds "
         "together, the learn's speed the median of the rounds. The chat "
         "does not ask the learner to make way: a line said beside it is "
         "answered at once and stored between two of its batches.\n\n"
      << "| Reply wait (ms) | Lines | Median | 95th | 99th | Slowest |\n"
      << "|---|---:|---:|---:|---:|---:|\n"
      << "| No learn running | " << f.quiet_ms.size() << " | "
      << Spread(f.quiet_ms) << " |\n"
      << "| Beside the learn | " << f.beside_ms.size() << " | "
      << Spread(f.beside_ms) << " |\n\n"
      << f.failed << " of the lines beside the learn got no reply or one "
      << "that reported trouble.\n\n"
      << "| The learn (words/s) | Alone | Beside the chat | Beside / alone "
         "|\n|---|---:|---:|---:|\n";
  for (size_t i = 0; i < f.alone_words_per_second.size(); ++i) {
    const double alone = f.alone_words_per_second[i];
    const double beside = f.beside_words_per_second[i];
    out << "| Round " << i + 1 << " | " << Thousands(alone) << " | "
        << Thousands(beside) << " | " << Fixed(100 * beside / alone, 0)
        << "% |\n";
  }
  out << "| Median | " << Thousands(Median(f.alone_words_per_second)) << " | "
      << Thousands(Median(f.beside_words_per_second)) << " | "
      << Fixed(100 * LearnShare(f), 0) << "% |\n\n";
}

void ShortSection(std::ostream& out, const ShortMemoryFigures& f) {
  const ShortMemorySettings& s = f.settings;
  auto row = [&out](const std::string& what, const std::vector<double>& ms) {
    out << "| " << what << " | " << Spread(ms) << " | "
        << Fixed(Max(ms) / Median(ms), 1) << " |\n";
  };
  out << "### A memory of short sentences: " << Count(f.rows) << " rows\n\n"
      << "Sentences of 2-5 words drawn from the training lines' words "
         "(without their full stops; seed "
      << s.seed << "), as a long chat makes them, learned by the bulk learner "
      << "in " << Fixed(f.build_seconds, 1) << " s. The lookup is timed "
      << "first, on the memory just built: the move to the same position in "
         "a neighbouring sentence (`Store::NearestIdAtPosition`), at "
         "positions 0 to 11 in turn from ids drawn at random, backward and "
         "forward in turn. Then the replies, in the steady state as above: "
      << s.replies << " through the engine, then " << s.replies
      << " through quibbo-cli.\n\n"
      << "| Time (ms) | Median | 95th | 99th | Slowest | Slowest / median "
         "|\n|---|---:|---:|---:|---:|---:|\n";
  row(std::to_string(f.lookup_ms.size()) + " position lookups", f.lookup_ms);
  row(std::to_string(f.respond_ms.size()) + " replies through the engine",
      f.respond_ms);
  row(std::to_string(f.round_trip_ms.size()) + " replies from outside",
      f.round_trip_ms);
  out << "\nSlowest lookup at each position (ms):";
  for (size_t p = 0; p < f.slowest_lookup_ms.size(); ++p) {
    out << (p ? ", " : " ") << p << ": " << Ms(f.slowest_lookup_ms[p]);
  }
  out << "\n\n";
}

void LineSection(std::ostream& out, const LongLineFigures& f, int64_t rows) {
  out << "### A megabyte line\n\n"
      << "The training lines joined by spaces into one line, full stops and "
         "all, said once in a running `quibbo-cli chat --json` and learned "
         "once by `quibbo-cli learn` from a file holding just that line, "
         "each into its own copy of the "
      << Count(rows) << "-row memory.\n\n"
      << "| A line of " << Count(f.bytes) << " bytes, " << Count(f.words)
      << " words | Time (s) |\n|---|---:|\n"
      << "| `quibbo-cli learn`, from its start to its end | "
      << Fixed(f.learn_seconds, 2) << " |\n"
      << "| `quibbo-cli chat --json`, from the line to its reply | "
      << Fixed(f.chat_seconds, 2) << " |\n"
      << "| Chat / learn | " << Fixed(f.chat_seconds / f.learn_seconds, 2)
      << " x |\n\n";
}

}  // namespace

std::string PersonSections(const PersonFigures& figures) {
  std::ostringstream out;
  if (figures.beside) BesideSection(out, *figures.beside, figures.memory_rows);
  if (figures.short_memory) ShortSection(out, *figures.short_memory);
  if (figures.long_line) {
    LineSection(out, *figures.long_line, figures.memory_rows);
  }
  if (out.str().empty()) return "";
  return "## What a person meets\n\n" + out.str();
}

void GoalRow(std::ostream& out, const std::string& what,
             const std::string& measured, bool met) {
  out << "| " << what << " | " << measured << " | " << Mark(met) << " |\n";
}

void PersonGoals(std::ostream& out, const PersonFigures& figures) {
  if (figures.beside) {
    const BesideLearnFigures& f = *figures.beside;
    const double wait = Percentile(f.beside_ms, 95);
    GoalRow(out,
            "Chat beside a learn: 95th percentile of the reply wait <= " +
                Fixed(kBesideWaitMs, 0) + " ms",
            Ms(wait) + " ms, " + Fixed(wait / Percentile(f.quiet_ms, 95), 1) +
                " x with no learn; " + std::to_string(f.failed) + " failed",
            wait <= kBesideWaitMs && f.failed == 0);
    GoalRow(out,
            "Learn beside a chat >= " + Fixed(100 * kBesideShare, 0) +
                "% of its speed alone",
            Fixed(100 * LearnShare(f), 0) + "%", LearnShare(f) >= kBesideShare);
  }
  if (figures.short_memory) {
    const ShortMemoryFigures& f = *figures.short_memory;
    const std::string at = " (" + Count(f.rows) + " rows)";
    auto slowest = [&](const std::string& what, const std::vector<double>& ms) {
      const double ratio = Max(ms) / Median(ms);
      GoalRow(out,
              "Short sentences" + at + ": slowest " + what + " of " +
                  std::to_string(ms.size()) +
                  " <= " + Fixed(kSlowestOverMedian, 0) + " x the median",
              Fixed(ratio, 1) + " x", ratio <= kSlowestOverMedian);
    };
    slowest("engine reply", f.respond_ms);
    slowest("reply from outside", f.round_trip_ms);
    const double lookup = Max(f.lookup_ms);
    GoalRow(out,
            "Short sentences: slowest position lookup <= " +
                Fixed(kLookupMs, 0) + " ms",
            Ms(lookup) + " ms, " + Fixed(lookup / Median(f.respond_ms), 1) +
                " x the median engine reply",
            lookup <= kLookupMs);
  }
  if (figures.long_line) {
    const LongLineFigures& f = *figures.long_line;
    const double ratio = f.chat_seconds / f.learn_seconds;
    GoalRow(out,
            "A megabyte line: chat <= " + Fixed(kLineOverLearn, 0) + " x learn",
            Fixed(ratio, 2) + " x", ratio <= kLineOverLearn);
  }
}

}  // namespace quibbo::bench
