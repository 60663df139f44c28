#include "bench/beside_learn.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "bench/cli_chat.h"
#include "bench/cli_learn.h"
#include "bench/figures.h"
#include "engine/text/text.h"

namespace quibbo::bench {
namespace {

// The training lines, round again, until they hold `words` words.
void WriteBook(const Corpus& corpus, const std::string& path, int64_t words) {
  std::ofstream out(path, std::ios::binary);
  LineSource lines(corpus);
  for (int64_t written = 0; written < words;) {
    const std::string& line = lines.Next();
    out << line << '\n';
    written += static_cast<int64_t>(Cut(line, ' ').size());
  }
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

// A steady pace: one tick every `pace`, or at once when the last line's
// reply came later than the tick.
class Pacer {
 public:
  explicit Pacer(std::chrono::milliseconds pace)
      : pace_(pace), next_(Clock::now() + pace) {}
  void Wait() {
    std::this_thread::sleep_until(next_);
    next_ = std::max(next_, Clock::now()) + pace_;
  }

 private:
  std::chrono::milliseconds pace_;
  Clock::time_point next_;
};

double TimeExchange(CliChat& chat, const std::string& line) {
  Clock::time_point start = Clock::now();
  chat.Exchange(line);
  return Milliseconds(Clock::now() - start);
}

}  // namespace

BesideLearnFigures MeasureBesideLearn(const BesideLearnSettings& settings,
                                      const Corpus& corpus) {
  BesideLearnFigures figures;
  figures.settings = settings;
  const std::string book = settings.work + "/book.txt";
  const std::string alone = settings.work + "/alone.mdb";
  const std::string beside = settings.work + "/beside.mdb";
  WriteBook(corpus, book, settings.book_words);
  size_t next_input = 0;
  auto next_line = [&]() -> const std::string& {
    return corpus.inputs[next_input++ % corpus.inputs.size()];
  };
  for (int round = 0; round < settings.rounds; ++round) {
    // What the chat says before the learn starts: warm-up, then timed lines.
    std::vector<std::string> before = corpus.warm_up;
    for (size_t i = 0; i < settings.quiet_lines; ++i) {
      before.push_back(next_line());
    }
    CopyMemory(settings.memory, alone);
    CopyMemory(settings.memory, beside);
    {
      CliChat chat(settings.cli, alone);
      for (const std::string& line : before) chat.Exchange(line);
      chat.Finish();
    }
    const LearnRun by_itself = CliLearn(settings.cli, alone, book).Wait();
    RemoveMemory(alone);

    CliChat chat(settings.cli, beside);
    const size_t warm_up = corpus.warm_up.size();
    for (size_t i = 0; i < warm_up; ++i) chat.Exchange(before[i]);
    Pacer pacer(settings.pace);
    for (size_t i = warm_up; i < before.size(); ++i) {
      pacer.Wait();
      figures.quiet_ms.push_back(TimeExchange(chat, before[i]));
    }
    const size_t waits_before = figures.beside_ms.size();
    CliLearn learn(settings.cli, beside, book);
    for (pacer.Wait(); learn.Running(); pacer.Wait()) {
      // A failed line is a finding, not the end of the run; a chat that
      // died fails at Finish() below.
      Clock::time_point start = Clock::now();
      try {
        chat.Exchange(next_line());
      } catch (const std::runtime_error& error) {
        Log(std::string("beside a learn: ") + error.what());
        ++figures.failed;
      }
      figures.beside_ms.push_back(Milliseconds(Clock::now() - start));
    }
    const LearnRun with_chat = learn.Wait();
    chat.Finish();
    RemoveMemory(beside);

    figures.book_words = with_chat.words;
    figures.alone_words_per_second.push_back(by_itself.words_per_second());
    figures.beside_words_per_second.push_back(with_chat.words_per_second());
    const std::vector<double> waits(
        figures.beside_ms.begin() + static_cast<ptrdiff_t>(waits_before),
        figures.beside_ms.end());
    Log("beside a learn, round " + std::to_string(round + 1) + ": learn " +
        Thousands(by_itself.words_per_second()) + " words/s alone, " +
        Thousands(with_chat.words_per_second()) + " beside " +
        std::to_string(waits.size()) + " lines; their waits median " +
        Fixed(Median(waits), 1) + " ms, slowest " + Fixed(Max(waits), 1));
  }
  std::filesystem::remove(book);
  return figures;
}

}  // namespace quibbo::bench
