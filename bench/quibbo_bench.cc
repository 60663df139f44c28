// The benchmark: Quibbo's memory at 10 000, 100 000 and 1 000 000 rows,
// learned from Debian's fortunes (text nobody here wrote).
//
// For each size it measures bulk learning (and, for scale, the same rows
// inserted into a bare SQLite table in this process), Respond's latency for
// inputs held back from the corpus, and the bytes each stored word costs.
// On the largest memory it also times quibbo-cli from its start to its first
// reply and records its peak resident memory. Every figure is a median over
// repeated runs after a warm-up; the machine is shared, so the table also
// notes the load average.
//
//   quibbo_bench --corpus DIR --cli PATH --work DIR --out FILE [--quick]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/bulk_learner.h"
#include "engine/engine.h"
#include "engine/learner.h"
#include "engine/random.h"
#include "engine/sqlite.h"
#include "engine/text.h"

extern char** environ;

namespace quibbo::bench {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

struct Settings {
  std::string corpus = "/usr/share/games/fortunes";
  std::string cli;
  std::string work;
  std::string out;
  bool quick = false;  // fewer runs and no million rows, for a smoke test
};

struct Corpus {
  std::vector<std::string> training;
  std::vector<std::string> inputs;   // timed Respond inputs
  std::vector<std::string> warm_up;  // Respond inputs before timing
  int64_t words = 0;                 // in the training lines
};

// Every line of every fortune file except the "%" separators. One line in
// fifty with three words or more is held back from learning as an input.
Corpus LoadCorpus(const std::string& folder) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const fs::path& path = entry.path();
    std::string extension = path.extension().string();
    if (!entry.is_regular_file() || entry.is_symlink() || extension == ".dat" ||
        extension == ".u8") {
      continue;
    }
    files.push_back(path);
  }
  std::sort(files.begin(), files.end());
  Corpus corpus;
  std::vector<std::string> held_back;
  int64_t index = 0;
  for (const fs::path& path : files) {
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line == "%" || !IsValidUtf8(line)) continue;
      if (++index % 50 == 0 && Cut(TrimSpaces(line), ' ').size() >= 3) {
        held_back.push_back(line);
        continue;
      }
      corpus.words += static_cast<int64_t>(Cut(line, ' ').size());
      corpus.training.push_back(std::move(line));
    }
  }
  // A fixed shuffle, the same on every machine.
  SeededRandom random(2024);
  for (size_t i = held_back.size(); i > 1; --i) {
    std::swap(held_back[i - 1], held_back[random.Below(i)]);
  }
  for (size_t i = 0; i < held_back.size(); ++i) {
    if (i < 200) {
      corpus.inputs.push_back(held_back[i]);
    } else if (i < 220) {
      corpus.warm_up.push_back(held_back[i]);
    }
  }
  return corpus;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  if (n == 0) return 0;
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Nearest rank.
double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  if (values.empty()) return 0;
  size_t rank = static_cast<size_t>(std::ceil(p / 100 * values.size()));
  return values[std::max<size_t>(rank, 1) - 1];
}

int64_t FileBytes(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? info.st_size : 0;
}

void RemoveMemory(const std::string& path) {
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
    fs::remove(path + suffix);
  }
}

// The training lines, from the first, round again as often as needed, until
// `rows` rows are reached; ends at a whole line.
class LineSource {
 public:
  explicit LineSource(const Corpus& corpus) : lines_(corpus.training) {}
  const std::string& Next() {
    const std::string& line = lines_[next_];
    next_ = (next_ + 1) % lines_.size();
    return line;
  }

 private:
  const std::vector<std::string>& lines_;
  size_t next_ = 0;
};

struct LearnRun {
  int64_t words = 0;
  double seconds = 0;
};

// Learns lines into a new memory at `path` as `quibbo-cli learn` does, until
// it holds at least `rows` rows.
LearnRun BulkLearn(const Corpus& corpus, const std::string& path,
                   int64_t rows) {
  RemoveMemory(path);
  MemoryFile::Create(path);
  LineSource lines(corpus);
  Clock::time_point start = Clock::now();
  int64_t words = 0;
  {
    auto store =
        Store::Open(path, Store::Access::kReadWrite, kBulkStoreOptions);
    BulkLearner learner(*store);
    while (learner.learned().words < rows) {
      const std::string& line = lines.Next();
      if (IsValidUtf8(line)) learner.Learn(line);
    }
    learner.Commit();
    words = learner.committed().words;
    // Closing copies the write-ahead log into the file: part of the work.
  }
  return {words, Seconds(Clock::now() - start)};
}

// The same rows, made ahead of time, inserted by one prepared statement in
// one transaction into a table without indexes.
LearnRun RawSqlite(const Corpus& corpus, const std::string& path,
                   int64_t rows) {
  std::vector<WordRecord> records;
  LineSource lines(corpus);
  while (static_cast<int64_t>(records.size()) < rows) {
    for (const std::string& sentence : CutSentences(lines.Next())) {
      if (sentence.empty()) continue;
      for (WordRecord& record : SentenceRecords(sentence)) {
        records.push_back(std::move(record));
      }
    }
  }
  RemoveMemory(path);
  Clock::time_point start = Clock::now();
  {
    sqlite::Connection db(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    db.Execute(
        "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;"
        "PRAGMA cache_size = -262144;"
        "CREATE TABLE word (id INTEGER PRIMARY KEY, previous TEXT, "
        "middle TEXT NOT NULL, next TEXT, position INTEGER NOT NULL);"
        "BEGIN;");
    sqlite::Statement insert(db,
                             "INSERT INTO word (previous, middle, next, "
                             "position) VALUES (?, ?, ?, ?)");
    for (const WordRecord& record : records) {
      insert.Bind(1, record.previous)
          .Bind(2, std::string_view(record.middle))
          .Bind(3, record.next)
          .Bind(4, record.position);
      insert.Run();
      insert.Reset();
    }
    db.Execute("COMMIT;");
  }
  double seconds = Seconds(Clock::now() - start);
  RemoveMemory(path);
  return {static_cast<int64_t>(records.size()), seconds};
}

// Respond's time for each input, in milliseconds, on a copy of `memory`.
std::vector<double> TimeRespond(const Corpus& corpus, const std::string& memory,
                                const std::string& copy, uint64_t seed) {
  RemoveMemory(copy);
  fs::copy_file(memory, copy);
  Engine engine(copy, std::make_unique<SeededRandom>(seed));
  engine.SetReportErrors(true);
  for (const std::string& line : corpus.warm_up) engine.Respond(line);
  std::vector<double> times;
  for (const std::string& line : corpus.inputs) {
    Clock::time_point start = Clock::now();
    std::optional<std::string> reply = engine.Respond(line);
    times.push_back(Seconds(Clock::now() - start) * 1000);
    if (!reply || reply->starts_with("I am having trouble")) {
      throw std::runtime_error("Respond failed: " + reply.value_or(""));
    }
  }
  RemoveMemory(copy);
  return times;
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

struct ChatRun {
  double first_reply_ms = 0;
  double peak_kib = 0;
};

// Starts `quibbo-cli chat` on `memory`, feeds it `lines`, and measures the
// time from its start to the end of its first reply and its peak resident
// memory.
ChatRun RunChat(const std::string& cli, const std::string& memory,
                const std::vector<std::string>& lines) {
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC)) {
    throw std::runtime_error("pipe failed");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  std::vector<std::string> arguments = {cli, "chat",     "--seed",
                                        "1", "--memory", memory};
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  std::string input;
  for (const std::string& line : lines) input += line + "\n";

  Clock::time_point start = Clock::now();
  pid_t pid;
  if (posix_spawn(&pid, cli.c_str(), &actions, nullptr, argv.data(), environ) !=
      0) {
    throw std::runtime_error("cannot start " + cli);
  }
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  // The whole input fits in the pipe's buffer.
  if (write(in[1], input.data(), input.size()) !=
      static_cast<ssize_t>(input.size())) {
    throw std::runtime_error("cannot feed the chat");
  }
  ChatRun run;
  std::string said;
  size_t replies = 0;
  char buffer[65536];
  for (ssize_t n; replies < lines.size() &&
                  (n = read(out[0], buffer, sizeof buffer)) > 0;) {
    said.append(buffer, n);
    // Each reply ends with an empty line.
    replies = 0;
    for (size_t at = said.find("\n\n"); at != std::string::npos;
         at = said.find("\n\n", at + 2)) {
      ++replies;
    }
    if (run.first_reply_ms == 0 && replies > 0) {
      run.first_reply_ms = Seconds(Clock::now() - start) * 1000;
    }
  }
  // The peak of the program itself, read while it waits for more input:
  // the rusage of a child started from this large process would include
  // this process's own size from before the child's exec.
  run.peak_kib = std::stod(
      ReadFirstLine("/proc/" + std::to_string(pid) + "/status", "VmHWM"));
  close(in[1]);
  while (read(out[0], buffer, sizeof buffer) > 0) {
  }
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
      said.find("I am having trouble") != std::string::npos) {
    throw std::runtime_error("the chat failed: " + said.substr(0, 400));
  }
  return run;
}

std::string LoadAverage() {
  double loads[3] = {};
  if (getloadavg(loads, 3) < 1) return "unknown";
  char text[64];
  std::snprintf(text, sizeof text, "%.2f %.2f %.2f", loads[0], loads[1],
                loads[2]);
  return text;
}

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string Thousands(double value) {
  std::string digits = std::to_string(static_cast<int64_t>(value + 0.5));
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ' ';
    out += digits[i];
  }
  return out;
}

struct SizeResult {
  int64_t rows = 0;
  double learn_words_per_second = 0;
  double raw_words_per_second = 0;
  std::vector<double> respond_ms;
  double bytes_per_word = 0;
};

void Log(const std::string& message) {
  std::cerr << "bench: " << message << std::endl;
}

std::string Mark(bool met) { return met ? "met" : "**not met**"; }

int Run(const Settings& settings) {
  const Clock::time_point bench_start = Clock::now();
  const std::string load_before = LoadAverage();
  Corpus corpus = LoadCorpus(settings.corpus);
  Log("corpus: " + std::to_string(corpus.training.size()) +
      " training lines, " + std::to_string(corpus.words) + " words; " +
      std::to_string(corpus.inputs.size()) + " held-back inputs");
  fs::create_directories(settings.work);
  const std::string memory = settings.work + "/bench.mdb";
  const std::string copy = settings.work + "/respond.mdb";
  const std::string raw = settings.work + "/raw.db";

  struct Size {
    int64_t rows;
    int learn_runs;
    int respond_runs;
  };
  std::vector<Size> sizes = {{10000, 5, 5}, {100000, 5, 5}, {1000000, 3, 5}};
  if (settings.quick) sizes = {{10000, 2, 1}, {100000, 1, 1}};

  std::vector<SizeResult> results;
  ChatRun chat_start;
  ChatRun chat_long;
  for (const Size& size : sizes) {
    SizeResult result;
    result.rows = size.rows;
    std::vector<double> learn, reference;
    // Warm-up: one unmeasured round of each.
    BulkLearn(corpus, memory, std::min<int64_t>(size.rows, 10000));
    RawSqlite(corpus, raw, std::min<int64_t>(size.rows, 10000));
    for (int run = 0; run < size.learn_runs; ++run) {
      LearnRun ours = BulkLearn(corpus, memory, size.rows);
      learn.push_back(ours.words / ours.seconds);
      LearnRun bare = RawSqlite(corpus, raw, size.rows);
      reference.push_back(bare.words / bare.seconds);
      Log(std::to_string(size.rows) + " rows: learned at " +
          Thousands(learn.back()) + " words/s, bare SQLite " +
          Thousands(reference.back()));
    }
    result.learn_words_per_second = Median(learn);
    result.raw_words_per_second = Median(reference);
    result.bytes_per_word = static_cast<double>(FileBytes(memory)) / size.rows;
    for (int run = 0; run < size.respond_runs; ++run) {
      std::vector<double> times = TimeRespond(corpus, memory, copy, 1 + run);
      result.respond_ms.insert(result.respond_ms.end(), times.begin(),
                               times.end());
      Log(std::to_string(size.rows) + " rows: Respond median " +
          Fixed(Median(times), 3) + " ms");
    }
    if (&size == &sizes.back() && !settings.cli.empty()) {
      std::vector<double> firsts, peaks;
      for (int run = 0; run < 6; ++run) {
        RemoveMemory(copy);
        fs::copy_file(memory, copy);
        ChatRun one = RunChat(settings.cli, copy, {corpus.inputs[run]});
        if (run > 0) firsts.push_back(one.first_reply_ms);  // 0 warms up
        peaks.push_back(one.peak_kib);
      }
      chat_start = {Median(firsts),
                    *std::max_element(peaks.begin(), peaks.end())};
      RemoveMemory(copy);
      fs::copy_file(memory, copy);
      chat_long = RunChat(settings.cli, copy, corpus.inputs);
      RemoveMemory(copy);
      Log("chat: first reply after " + Fixed(chat_start.first_reply_ms, 1) +
          " ms; peak " + Fixed(chat_long.peak_kib / 1024, 1) + " MiB");
    }
    results.push_back(std::move(result));
  }
  RemoveMemory(memory);

  // The table.
  const SizeResult& small = results.front();
  const SizeResult& large = results.back();
  const double ratio = Median(large.respond_ms) / Median(small.respond_ms);
  std::ostringstream table;
  table << "| Memory (rows) | Learning (words/s) | Bare SQLite (words/s) | "
           "Learning / bare | Respond median (ms) | 95th (ms) | 99th (ms) | "
           "Bytes per word |\n"
        << "|---:|---:|---:|---:|---:|---:|---:|---:|\n";
  for (const SizeResult& r : results) {
    table << "| " << Thousands(static_cast<double>(r.rows)) << " | "
          << Thousands(r.learn_words_per_second) << " | "
          << Thousands(r.raw_words_per_second) << " | "
          << Fixed(100 * r.learn_words_per_second / r.raw_words_per_second, 0)
          << "% | " << Fixed(Median(r.respond_ms), 3) << " | "
          << Fixed(Percentile(r.respond_ms, 95), 3) << " | "
          << Fixed(Percentile(r.respond_ms, 99), 3) << " | "
          << Fixed(r.bytes_per_word, 1) << " |\n";
  }
  table << "\nRespond median at " << Thousands(static_cast<double>(large.rows))
        << " rows / at " << Thousands(static_cast<double>(small.rows))
        << " rows: " << Fixed(ratio, 2) << "\n";
  if (chat_start.first_reply_ms > 0) {
    table << "\n`quibbo-cli chat` on "
          << Thousands(static_cast<double>(large.rows)) << " rows: first reply "
          << Fixed(chat_start.first_reply_ms, 1)
          << " ms after the program started (median of 5); peak resident "
             "memory "
          << Fixed(chat_start.peak_kib / 1024, 1) << " MiB for one line, "
          << Fixed(chat_long.peak_kib / 1024, 1) << " MiB for "
          << corpus.inputs.size() << " lines\n";
  }

  std::ostringstream goals;
  const double learn_rate = large.learn_words_per_second;
  const double learn_share = learn_rate / large.raw_words_per_second;
  double worst_bytes = 0;
  for (const SizeResult& r : results) {
    worst_bytes = std::max(worst_bytes, r.bytes_per_word);
  }
  goals << "| Goal | Measured | |\n|---|---:|---|\n"
        << "| Respond median <= 1 ms at 1M rows | "
        << Fixed(Median(large.respond_ms), 3) << " ms | "
        << Mark(Median(large.respond_ms) <= 1) << " |\n"
        << "| Respond 95th percentile <= 4 ms at 1M rows | "
        << Fixed(Percentile(large.respond_ms, 95), 3) << " ms | "
        << Mark(Percentile(large.respond_ms, 95) <= 4) << " |\n"
        << "| Respond median 1M / 10k <= 3 | " << Fixed(ratio, 2) << " | "
        << Mark(ratio <= 3) << " |\n"
        << "| Bulk learning >= 250 000 words/s | " << Thousands(learn_rate)
        << " | " << Mark(learn_rate >= 250000) << " |\n"
        << "| Bulk learning >= 15% of bare SQLite | "
        << Fixed(100 * learn_share, 0) << "% | " << Mark(learn_share >= 0.15)
        << " |\n"
        << "| <= 80 bytes per stored word | " << Fixed(worst_bytes, 1) << " | "
        << Mark(worst_bytes <= 80) << " |\n";
  if (chat_start.first_reply_ms > 0) {
    const double peak_mib =
        std::max(chat_start.peak_kib, chat_long.peak_kib) / 1024;
    goals << "| quibbo-cli peak resident memory <= 64 MB | "
          << Fixed(peak_mib * 1.048576, 1) << " MB | "
          << Mark(peak_mib * 1.048576 <= 64) << " |\n"
          << "| quibbo-cli start to first reply <= 100 ms | "
          << Fixed(chat_start.first_reply_ms, 1) << " ms | "
          << Mark(chat_start.first_reply_ms <= 100) << " |\n";
  }

  utsname system = {};
  uname(&system);
  std::ostringstream machine;
  machine << "- CPU: " << ReadFirstLine("/proc/cpuinfo", "model name") << ", "
          << sysconf(_SC_NPROCESSORS_ONLN) << " cores; memory "
          << ReadFirstLine("/proc/meminfo", "MemTotal") << "\n"
          << "- System: " << system.sysname << " " << system.release << " "
          << system.machine << "; SQLite " << sqlite3_libversion()
          << "; compiler " << __VERSION__ << "\n"
          << "- Memory files in " << settings.work
          << " (local disk); load average before " << load_before << ", after "
          << LoadAverage() << "\n"
          << "- Corpus: " << settings.corpus << ", "
          << Thousands(static_cast<double>(corpus.words)) << " words in "
          << Thousands(corpus.training.size())
          << " lines, repeated to reach the larger memories; "
          << corpus.inputs.size()
          << " held-back lines as Respond inputs, after "
          << corpus.warm_up.size() << " warm-up inputs\n"
          << "- Runs per size (learning, Respond):";
  for (const Size& size : sizes) {
    machine << " " << Thousands(static_cast<double>(size.rows)) << " rows "
            << size.learn_runs << " and " << size.respond_runs << ";";
  }
  machine << " learning after an unmeasured warm-up, each Respond run over "
             "all inputs on a fresh copy of the memory, percentiles over "
             "all runs; the whole benchmark took "
          << Fixed(Seconds(Clock::now() - bench_start), 0) << " s\n";

  std::string report = "## Results\n\n" + table.str() + "\n## Goals\n\n" +
                       goals.str() + "\n## Machine and method\n\n" +
                       machine.str();
  std::cout << "\n" << report;
  if (!settings.out.empty()) {
    std::ofstream out(settings.out);
    out << "# Benchmark results\n\n"
        << "Written by `make bench` (bench/quibbo_bench.cc). The machine is "
           "shared, so figures vary from run to run by 10-30%; medians over "
           "repeated runs damp that.\n\n"
        << "Learning is timed as `quibbo-cli learn` works: cutting lines into "
           "sentences, storing them in batches that hold the memory for "
           "about 100 ms each, counting the words, and closing the memory. "
           "The bare SQLite figure inserts the same rows, made beforehand, "
           "with one statement in one transaction into a table without "
           "indexes. Respond is timed through the engine's public API, "
           "learning and the commit included.\n\n"
        << report;
  }
  return 0;
}

}  // namespace
}  // namespace quibbo::bench

int main(int argc, char** argv) {
  quibbo::bench::Settings settings;
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
    } else if (arg == "--quick") {
      settings.quick = true;
    } else {
      std::cerr << "usage: quibbo_bench --corpus DIR --cli PATH --work DIR "
                   "--out FILE [--quick]\n";
      return 2;
    }
  }
  if (settings.work.empty()) settings.work = "bench-work";
  try {
    return quibbo::bench::Run(settings);
  } catch (const std::exception& error) {
    std::cerr << "bench: " << error.what() << "\n";
    return 1;
  }
}
