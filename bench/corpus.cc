#include "bench/corpus.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "engine/random.h"
#include "engine/text.h"

namespace quibbo::bench {

namespace fs = std::filesystem;

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
  const size_t warm_up = std::min<size_t>(20, held_back.size() / 2);
  corpus.warm_up.assign(held_back.begin(), held_back.begin() + warm_up);
  corpus.inputs.assign(held_back.begin() + warm_up, held_back.end());
  return corpus;
}

}  // namespace quibbo::bench
