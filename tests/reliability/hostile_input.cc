#include "tests/reliability/hostile_input.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/reliability/child_process.h"
#include "tests/reliability/memory_check.h"
#include "tests/support/run_program.h"

namespace quibbo::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace fs = std::filesystem;

void AppendLines(const std::string& text, std::vector<std::string>* lines) {
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines->push_back(line);
}

// Files sorted by name, so that the lines come in the same order each time.
std::vector<fs::path> FilesIn(const std::string& folder) {
  std::vector<fs::path> files;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

std::vector<std::string> HostileLines() {
  std::vector<std::string> lines;
  for (const fs::path& file : FilesIn(QUIBBO_FUZZ_CORPUS)) {
    AppendLines(FileBytes(file), &lines);
  }
  return lines;
}

std::vector<std::string> FortuneLines() {
  std::vector<std::string> lines;
  for (const fs::path& file : FilesIn("/usr/share/games/fortunes")) {
    // Beside each fortune file lie its index (.dat) and, for some, a copy
    // converted to UTF-8 (.u8).
    if (file.has_extension()) continue;
    AppendLines(FileBytes(file), &lines);
  }
  return lines;
}

bool WellFormedUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto byte = [&](size_t at) {
      return at < text.size() ? static_cast<unsigned char>(text[at]) : 0u;
    };
    unsigned lead = byte(i);
    int length;
    uint32_t code_point;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      code_point = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      code_point = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      code_point = lead & 0x07;
    } else {
      return false;
    }
    for (int k = 1; k < length; ++k) {
      unsigned next = byte(i + k);
      if ((next & 0xC0) != 0x80) return false;
      code_point = (code_point << 6) | (next & 0x3F);
    }
    const uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code_point < smallest[length] || code_point > 0x10FFFF ||
        (code_point >= 0xD800 && code_point <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

int64_t RowsLearnedFrom(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (!WellFormedUtf8(line)) return 0;
  int64_t rows = 0;
  size_t start = 0;
  while (start <= line.size()) {
    size_t stop = std::min(line.find('.', start), line.size());
    std::string_view piece = line.substr(start, stop - start);
    size_t first = piece.find_first_not_of(' ');
    if (first != std::string_view::npos) {
      size_t last = piece.find_last_not_of(' ');
      piece = piece.substr(first, last - first + 1);
      rows += 1 + std::count(piece.begin(), piece.end(), ' ');
    }
    start = stop + 1;
  }
  return rows;
}

size_t TalkThrough(const TempMemory& memory,
                   const std::vector<std::string>& lines,
                   std::chrono::seconds limit) {
  const int64_t rows_before = ReadMemory(memory.path()).rows.size();
  EXPECT_GT(rows_before, 0);
  std::string input;
  int64_t expected_rows = rows_before;
  for (const std::string& line : lines) {
    input += line + "\n";
    expected_rows += RowsLearnedFrom(line);
  }
  ChildResult chat = RunChild(
      ProgramDir() + "/quibbo-cli",
      {"--json", "--seed", "11", "--memory", memory.path()}, input, {}, limit);
  EXPECT_FALSE(chat.timed_out) << "hung";
  EXPECT_EQ(chat.exit_status, 0) << chat.err.substr(0, 2000);

  std::istringstream out(chat.out);
  std::string json;
  size_t number = 0;
  size_t refused = 0;
  while (std::getline(out, json) && number < lines.size()) {
    std::string line = lines[number++];
    if (!line.empty() && line.back() == '\r') line.pop_back();
    nlohmann::json answer = nlohmann::json::parse(json);
    const nlohmann::json& reply = answer["quibbo"];
    if (!WellFormedUtf8(line)) {
      EXPECT_TRUE(reply.is_null()) << "line " << number << " was not refused";
      EXPECT_THAT(chat.err, HasSubstr("line " + std::to_string(number) +
                                      " is not valid UTF-8"));
      ++refused;
      continue;
    }
    EXPECT_EQ(answer["you"], line) << "line " << number;
    EXPECT_TRUE(reply.is_string() && !IsTrouble(reply.get<std::string>()))
        << "line " << number << ": " << reply;
  }
  EXPECT_EQ(number, lines.size()) << "lines left unanswered";
  EXPECT_FALSE(std::getline(out, json)) << "more answers than lines";

  const MemoryState state = ReadMemory(memory.path());
  EXPECT_EQ(state.integrity, "ok");
  EXPECT_EQ(static_cast<int64_t>(state.rows.size()), expected_rows);
  EXPECT_THAT(testing::SentenceProblems(state.rows), IsEmpty());
  return refused;
}

}  // namespace quibbo::testing
