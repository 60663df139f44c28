// quibbo-cli learn FILE... [--json]
#include "quibbo/learn.h"

#include <unistd.h>
#include <utf8proc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string_view>

#include "cli/commands.h"
#include "cli/failure.h"
#include "cli/inputs.h"
#include "cli/interrupt.h"
#include "cli/line_reader.h"
#include "cli/progress.h"
#include "cli/wording.h"
#include "quibbo/error.h"
#include "quibbo/text.h"

namespace quibbo::cli {
namespace {

// Lines or files skipped that the summary names.
constexpr size_t kListedSkips = 5;

// Whether `line`, valid UTF-8, holds white space alone: spaces of every
// width, tabs, and the other characters Unicode counts as white space.
bool IsBlank(std::string_view line) {
  const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(line.data());
  for (size_t at = 0; at < line.size();) {
    utf8proc_int32_t c = 0;
    at += utf8proc_iterate(bytes + at, line.size() - at, &c);
    const auto category = utf8proc_category(c);
    if (!((c >= '\t' && c <= '\r') || c == 0x85 ||
          category == UTF8PROC_CATEGORY_ZS ||
          category == UTF8PROC_CATEGORY_ZL ||
          category == UTF8PROC_CATEGORY_ZP)) {
      return false;
    }
  }
  return true;
}

// Replaces a line of `learn --json` with the text of its JSON string; false
// when it holds anything else.
bool DecodeJsonLine(std::string* line) {
  nlohmann::json value = nlohmann::json::parse(*line, nullptr, false);
  if (!value.is_string()) return false;
  *line = value.get<std::string>();
  return true;
}

// "a, b, c" of the first kListedSkips of `count` names, with ", ..." when
// there are more.
std::string List(const std::vector<std::string>& names, int64_t count) {
  std::string list;
  for (size_t i = 0; i < std::min(names.size(), kListedSkips); ++i)
    list += (list.empty() ? "" : ", ") + names[i];
  return list + (count > static_cast<int64_t>(kListedSkips) ? ", ..." : "");
}

}  // namespace

int RunLearn(const Settings& settings) {
  Inputs inputs;
  std::unique_ptr<BulkLearner> learner;
  try {
    inputs = CheckInputs(settings.arguments, settings.memory);
    learner = BulkLearner::Open(settings.memory);
  } catch (const Error& error) {
    return Fail(error, "Nothing was learned.");
  }
  const auto start = std::chrono::steady_clock::now();
  ProgressBar progress(std::cerr, isatty(STDERR_FILENO), inputs.total_bytes);
  std::vector<std::string> skipped;
  int64_t skipped_count = 0;
  int64_t bytes_before = 0;
  std::optional<Error> failure;
  try {
    std::string line;
    for (const Input& input : inputs.texts) {
      InputFile file(input, inputs);
      // Sentences read from a terminal or a pipe are stored before waiting
      // for more, not when someone finally types the next line.
      LineReader reader(file.fd(), [&learner] { learner->Commit(); });
      int64_t number = 1;
      for (; reader.Next(&line); ++number) {
        if ((settings.json && !DecodeJsonLine(&line)) || !IsValidUtf8(line)) {
          if (skipped.size() < kListedSkips) {
            skipped.push_back(input.name + " line " + GroupDigits(number));
          }
          ++skipped_count;
          continue;
        }
        // Nothing to learn, as in an empty line.
        if (IsBlank(line)) line.clear();
        learner->Learn(line);
        progress.Update(learner->learned().lines, learner->learned().words,
                        bytes_before + reader.bytes_read());
      }
      if (reader.too_long()) {
        failure =
            InputLineTooLong(input.name, GroupDigits(number), kMaxLineText);
        break;
      }
      if (reader.error() != 0) {
        failure = ReadingFailed(input.name, reader.error());
        break;
      }
      if (Interrupted()) break;
      bytes_before += reader.bytes_read();
    }
    learner->Commit();
  } catch (const Error& error) {
    failure = error;
  }
  progress.Clear();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
          .count();
  const LearnedCounts counts = learner->committed();
  char time[32];
  std::snprintf(time, sizeof time, "%.2f", seconds);
  std::cout << (Interrupted() ? "Interrupted; learned " : "Learned ")
            << Count(counts.lines, "line", "lines") << ": "
            << Count(counts.sentences, "sentence", "sentences") << ", "
            << Count(counts.words, "word", "words") << " stored in " << time
            << " s";
  if (skipped_count > 0) {
    std::cout << "; skipped " << Count(skipped_count, "line", "lines")
              << (settings.json ? " not a JSON string of UTF-8 text ("
                                : " not in UTF-8 (")
              << List(skipped, skipped_count) << ")";
  }
  if (!inputs.not_text.empty()) {
    const int64_t files = inputs.not_text.size();
    std::cout << "; skipped " << Count(files, "file", "files") << " not text ("
              << List(inputs.not_text, files) << ")";
  }
  std::cout << "." << std::endl;
  if (failure) return Fail(*failure);
  return Interrupted() ? InterruptedStatus() : 0;
}

}  // namespace quibbo::cli
