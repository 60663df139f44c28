// Reliability test support: lines whose sentences are each in no other line,
// the lines of a folder of files, and whole conversations through quibbo-cli
// checked line by line against the learning rules.
#ifndef QUIBBO_TESTS_RELIABILITY_SUPPORT_H_
#define QUIBBO_TESTS_RELIABILITY_SUPPORT_H_

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "engine/learner.h"
#include "engine/text.h"
#include "tests/support/child.h"
#include "tests/support/failure.h"

namespace quibbo::testing {

// `count` lines of two or three sentences, each sentence in no other line.
inline Strings Script(const std::string& tag, int count) {
  Strings script;
  for (int i = 0; i < count; ++i) {
    const std::string n = tag + std::to_string(i);
    script.push_back(n + " says hello. and " + n + " says more" +
                     (i % 3 ? ". then " + n + " ends" : ""));
  }
  return script;
}

// The sentences learning makes of `lines`, in order.
inline Strings SentencesOf(const Strings& lines) {
  Strings sentences;
  for (const std::string& line : lines) {
    for (const std::string& sentence : CutSentences(line)) {
      if (!sentence.empty()) sentences.push_back(sentence);
    }
  }
  return sentences;
}

// The lines of the files in `folder` without an extension, by file name.
inline Strings LinesIn(const std::string& folder) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (!entry.path().has_extension()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  Strings lines;
  for (const auto& file : files) {
    std::istringstream in(FileBytes(file));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
  }
  return lines;
}

// The rows learning stores for a line of valid text, worked out without the
// engine's code: one per space-separated word of each piece between full
// stops that holds more than spaces, once those around it are trimmed.
inline int64_t RowsLearnedFrom(std::string_view line) {
  int64_t rows = 0;
  for (size_t start = 0; start <= line.size();) {
    const size_t stop = std::min(line.find('.', start), line.size());
    std::string_view piece = line.substr(start, stop - start);
    if (const size_t first = piece.find_first_not_of(' ');
        first != piece.npos) {
      piece = piece.substr(first, piece.find_last_not_of(' ') - first + 1);
      rows += 1 + std::ranges::count(piece, ' ');
    }
    start = stop + 1;
  }
  return rows;
}

// Talks through `lines` in one `quibbo-cli --json` run on `memory`, which
// holds something, so that no reply may be the trouble message. Every line
// is answered, or refused when it is not UTF-8, and the memory gains the
// rows the learning rules give. Returns the number of lines refused.
inline size_t TalkThrough(const TempMemory& memory, const Strings& lines,
                          std::chrono::seconds limit) {
  int64_t rows = memory.Rows().size();
  const Outcome chat =
      RunProgram(Program("quibbo-cli"), {"--json", "--memory", memory.path()},
                 Lines(lines), limit);
  const auto replies = Replies(chat.out);
  EXPECT_EQ(replies.size(), lines.size()) << chat.err.substr(0, 2000);
  size_t refused = 0;
  for (size_t i = 0; i < std::min(replies.size(), lines.size()); ++i) {
    // quibbo-cli reads a line without its LF and a CR before it.
    std::string_view line = lines[i];
    if (line.ends_with('\r')) line.remove_suffix(1);
    const bool valid = IsValidUtf8(line);
    refused += !valid;
    rows += valid ? RowsLearnedFrom(line) : 0;
    EXPECT_EQ(replies[i].has_value(), valid) << "line " << i + 1;
    EXPECT_FALSE(IsTrouble(replies[i].value_or(""))) << "line " << i + 1;
  }
  EXPECT_EQ(static_cast<int64_t>(memory.Rows().size()), rows);
  memory.Sentences();  // checks that all are whole
  return refused;
}

}  // namespace quibbo::testing

#endif  // QUIBBO_TESTS_RELIABILITY_SUPPORT_H_
