// The text the benchmark learns and talks with: every line of Debian's
// fortunes (text nobody here wrote), with some lines held back as inputs.
// A fortune's lines break mid-sentence, so the inputs are fragments; the
// whole sentences around them are inputs too, as a person types them.
#ifndef QUIBBO_BENCH_CORPUS_H_
#define QUIBBO_BENCH_CORPUS_H_

#include <cstdint>
#include <string>
#include <vector>

namespace quibbo::bench {

struct Corpus {
  std::vector<std::string> training;
  std::vector<std::string> inputs;   // timed replies, in a fixed shuffle
  std::vector<std::string> warm_up;  // replies before the timed ones
  // Whole sentences of the fortunes that hold an input, in a fixed shuffle.
  std::vector<std::string> sentences;
  int64_t words = 0;  // in the training lines
};

// Every line of every fortune file in `folder` except the "%" separators.
// One line in fifty with three words or more is held back from learning;
// the first 20 of them, after a fixed shuffle, warm up, the rest are inputs.
// The sentences are those of 3 words or more and at most 250 characters (what
// the window's input holds), with the fortune's line breaks and runs of
// blanks made single spaces, and the full stop that ended them.
Corpus LoadCorpus(const std::string& folder);

// The training lines, from the first, round again as often as needed.
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

}  // namespace quibbo::bench

#endif  // QUIBBO_BENCH_CORPUS_H_
