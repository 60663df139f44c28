#include "bench/corpus.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "engine/text/text.h"
#include "quibbo/engine.h"

namespace quibbo::bench {

namespace fs = std::filesystem;
namespace {

constexpr size_t kLongestSentence = 250;  // bytes, with its full stop

// Appends `line` to `text` after a space, with tabs and runs of blanks made
// single spaces.
void AppendSquashed(std::string_view line, std::string* text) {
  auto add = [text](char c) {
    if (c == '\t') c = ' ';
    if (c != ' ' || (!text->empty() && text->back() != ' ')) text->push_back(c);
  };
  add(' ');
  for (char c : line) add(c);
}

// The whole sentences of `text`: the pieces a full stop ends.
void AddSentences(const std::string& text, std::vector<std::string>* out) {
  std::vector<std::string> pieces = Cut(text, '.');
  pieces.pop_back();  // what follows the last full stop
  for (const std::string& piece : pieces) {
    std::string_view sentence = TrimSpaces(piece);
    if (sentence.size() < kLongestSentence && Cut(sentence, ' ').size() >= 3) {
      out->push_back(std::string(sentence) + ".");
    }
  }
}

template <typename T>
void Shuffle(std::vector<T>* items) {
  // A fixed shuffle, the same on every machine.
  SeededRandom random(2024);
  for (size_t i = items->size(); i > 1; --i) {
    std::swap((*items)[i - 1], (*items)[random.Below(i)]);
  }
}

}  // namespace

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
  std::string fortune;  // its lines so far, joined
  bool holds_input = false;
  auto end_fortune = [&] {
    if (holds_input) AddSentences(fortune, &corpus.sentences);
    fortune.clear();
    holds_input = false;
  };
  for (const fs::path& path : files) {
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line == "%") end_fortune();
      if (line == "%" || !IsValidUtf8(line)) continue;
      AppendSquashed(line, &fortune);
      if (++index % 50 == 0 && Cut(TrimSpaces(line), ' ').size() >= 3) {
        held_back.push_back(line);
        holds_input = true;
        continue;
      }
      corpus.words += static_cast<int64_t>(Cut(line, ' ').size());
      corpus.training.push_back(std::move(line));
    }
    end_fortune();
  }
  Shuffle(&held_back);
  Shuffle(&corpus.sentences);
  const size_t warm_up = std::min<size_t>(20, held_back.size() / 2);
  corpus.warm_up.assign(held_back.begin(), held_back.begin() + warm_up);
  corpus.inputs.assign(held_back.begin() + warm_up, held_back.end());
  return corpus;
}

}  // namespace quibbo::bench
