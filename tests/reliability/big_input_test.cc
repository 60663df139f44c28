// Big input through quibbo-cli --json: megabyte lines, and a hundred
// thousand lines of real text mixed with hostile ones. No crash, no hang,
// and exactly what the learning rules give is stored.
#include <gtest/gtest.h>

#include "tests/reliability/hostile_input.h"
#include "tests/support/temp_memory.h"

#ifndef QUIBBO_MIX_LINES
#define QUIBBO_MIX_LINES 100000
#endif

namespace quibbo {
namespace {

using testing::TalkThrough;
using testing::TempMemory;

TEST(BigInputTest, MegabyteLinesAreLearned) {
  const size_t kMegabyte = 1 << 20;
  auto repeat = [&](const std::string& piece) {
    std::string line;
    while (line.size() + piece.size() <= kMegabyte) line += piece;
    return line;
  };
  std::string distinct;
  for (int i = 0; distinct.size() < kMegabyte - 16; ++i) {
    distinct += "w" + std::to_string(i) + " ";
  }
  const std::vector<std::pair<std::string, std::string>> shapes = {
      {"one word", std::string(kMegabyte, 'x')},
      {"one word repeated", repeat("a ")},
      {"distinct words", distinct},
      {"short sentences", repeat("ab cd ef gh. ")},
      {"full stops and spaces", repeat(". ")},
  };
  for (const auto& [name, line] : shapes) {
    SCOPED_TRACE(name);
    TempMemory memory;
    memory.Fill({"Something to start with."});
    TalkThrough(memory, {line}, std::chrono::seconds(240));
  }
}

// Debian's fortunes mixed with the hostile lines, one in forty.
TEST(BigInputTest, HundredThousandLinesOfFortunesAndHostileLines) {
  std::vector<std::string> fortunes = testing::FortuneLines();
  if (fortunes.empty()) GTEST_SKIP() << "the fortunes package is missing";
  std::vector<std::string> hostile = testing::HostileLines();
  std::vector<std::string> lines;
  for (size_t i = 0; lines.size() < QUIBBO_MIX_LINES; ++i) {
    lines.push_back(i % 40 == 39 ? hostile[(i / 40) % hostile.size()]
                                 : fortunes[i % fortunes.size()]);
  }
  TempMemory memory;
  memory.Fill({"Something to start with."});
  TalkThrough(memory, lines, std::chrono::seconds(540));
}

}  // namespace
}  // namespace quibbo
