#include "bench/long_line.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "bench/cli_chat.h"
#include "bench/cli_learn.h"
#include "bench/figures.h"

namespace quibbo::bench {

LongLineFigures MeasureLongLine(const std::string& cli,
                                const std::string& memory,
                                const std::string& work, const Corpus& corpus,
                                int64_t bytes) {
  std::string line;
  LineSource lines(corpus);
  while (static_cast<int64_t>(line.size()) < bytes) {
    if (!line.empty()) line += ' ';
    line += lines.Next();
  }
  const std::string file = work + "/line.txt";
  if (!(std::ofstream(file, std::ios::binary) << line << '\n')) {
    throw std::runtime_error("cannot write " + file);
  }
  LongLineFigures figures;
  figures.bytes = static_cast<int64_t>(line.size());

  const std::string copy = work + "/line.mdb";
  CopyMemory(memory, copy);
  const LearnRun learned = CliLearn(cli, copy, file).Wait();
  figures.words = learned.words;
  figures.learn_seconds = learned.seconds;

  CopyMemory(memory, copy);
  CliChat chat(cli, copy);
  chat.Exchange(corpus.warm_up.front());
  Clock::time_point start = Clock::now();
  chat.Exchange(line);
  figures.chat_seconds = Seconds(Clock::now() - start);
  chat.Finish();
  RemoveMemory(copy);
  std::filesystem::remove(file);
  Log("a line of " + Thousands(static_cast<double>(figures.bytes)) +
      " bytes: learn " + Fixed(figures.learn_seconds, 2) + " s, chat " +
      Fixed(figures.chat_seconds, 2) + " s");
  return figures;
}

}  // namespace quibbo::bench
