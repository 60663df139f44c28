#include "bench/explaining.h"

#include <memory>
#include <sstream>
#include <stdexcept>

#include "bench/figures.h"
#include "bench/person_report.h"
#include "quibbo/engine.h"

namespace quibbo::bench {
namespace {

// The goal: explaining at most this many times the median reply.
constexpr double kGoalRatio = 1.5;

double Ratio(const ExplainingFigures& figures) {
  return Median(figures.on_ms) / Median(figures.off_ms);
}

}  // namespace

ExplainingFigures MeasureExplaining(const Corpus& corpus,
                                    const std::string& memory,
                                    const std::string& work, size_t count,
                                    int64_t rows) {
  const std::string paths[] = {work + "/explain-off.mdb",
                               work + "/explain-on.mdb"};
  ExplainingFigures figures;
  figures.rows = rows;
  size_t sources = 0;
  {
    std::unique_ptr<Engine> engines[2];
    for (int i = 0; i < 2; ++i) {
      CopyMemory(memory, paths[i]);
      engines[i] =
          std::make_unique<Engine>(paths[i], std::make_unique<SeededRandom>(1));
      engines[i]->SetExplaining(i == 1);
    }
    for (const std::string& line : corpus.warm_up) {
      for (auto& engine : engines) engine->Respond(line);
    }
    std::vector<double>* times[2] = {&figures.off_ms, &figures.on_ms};
    for (size_t n = 0; n < count; ++n) {
      const std::string& line = corpus.inputs[n % corpus.inputs.size()];
      Response replies[2];
      for (size_t turn = 0; turn < 2; ++turn) {
        const size_t i = (n + turn) % 2;
        const Clock::time_point start = Clock::now();
        replies[i] = engines[i]->Respond(line);
        times[i]->push_back(Milliseconds(Clock::now() - start));
        if (replies[i].failure) {
          throw std::runtime_error(std::string("Respond failed: ") +
                                   replies[i].failure->description());
        }
      }
      if (replies[0].text != replies[1].text) {
        throw std::runtime_error("explaining changed the reply to: " + line);
      }
      sources += replies[1].explanation->sources.size();
      for (auto& engine : engines) engine->Idle();
    }
  }
  for (const std::string& path : paths) RemoveMemory(path);
  figures.sources_per_reply = static_cast<double>(sources) / count;
  return figures;
}

std::string ExplainingSection(const ExplainingFigures& figures,
                              double table_median) {
  std::ostringstream out;
  out << "\n### What explaining costs\n\n"
      << "Replies through the engine on two identical copies of the "
      << Thousands(static_cast<double>(figures.rows))
      << "-row memory, one explaining (`Engine::SetExplaining(true)`, as "
         "`quibbo-cli chat --explain`), one not, seeded alike: each of "
      << figures.on_ms.size()
      << " inputs is said to both, which first alternating, and every reply "
         "is the same in both. Explaining adds the lookup of each source "
         "sentence; a reply had "
      << Fixed(figures.sources_per_reply, 1) << " sources on average.\n\n"
      << "| Engine reply (ms) | Median | 95th | 99th | Slowest |\n"
      << "|---|---:|---:|---:|---:|\n"
      << "| Not explaining | " << Spread(figures.off_ms) << " |\n"
      << "| Explaining | " << Spread(figures.on_ms) << " |\n\n"
      << "Median explaining / not explaining: " << Fixed(Ratio(figures), 2)
      << "; not explaining here / the table's median at that size: "
      << Fixed(Median(figures.off_ms) / table_median, 2) << "\n";
  return out.str();
}

void ExplainingGoal(std::ostream& out, const ExplainingFigures& figures) {
  GoalRow(out, "Explaining: reply median <= 1.5 x not explaining",
          Fixed(Ratio(figures), 2) + " x", Ratio(figures) <= kGoalRatio);
}

}  // namespace quibbo::bench
