#include "tests/scale/pinned_conversation.h"

#include <array>
#include <memory>

#include "engine/engine.h"

namespace quibbo::testing {
namespace {

// A fixed linear congruential generator: std distributions differ between
// standard libraries, and these lines must not.
class Lcg {
 public:
  explicit Lcg(uint64_t seed) : state_(seed) {}
  uint32_t Below(uint32_t bound) {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<uint32_t>(state_ >> 33) % bound;
  }
  // Skewed towards small values, so a few words are very common.
  uint32_t Skewed(uint32_t bound) { return Below(Below(bound) + 1); }

 private:
  uint64_t state_;
};

// Common words first. Case variants and words whose case foldings meet
// ("straße", "STRASSE") test that the store matches words as the collation
// does.
constexpr std::array<const char*, 64> kWords = {
    "the",  "a",     "of",    "to",     "and",     "is",    "in",   "it",
    "you",  "that",  "I",     "was",    "for",     "on",    "are",  "with",
    "as",   "be",    "at",    "this",   "have",    "from",  "or",   "one",
    "had",  "by",    "word",  "but",    "not",     "what",  "all",  "were",
    "we",   "when",  "your",  "can",    "said",    "there", "use",  "an",
    "each", "which", "she",   "do",     "how",     "their", "if",   "will",
    "up",   "other", "about", "out",    "many",    "then",  "them", "cat",
    "mat",  "über",  "Über",  "straße", "STRASSE", "naïve", "café", "time"};

// Lines said again and again, so that replies repeating them get rejected;
// and lines with nothing to learn or nothing known.
constexpr std::array<const char*, 9> kRepeated = {"hello there",
                                                  "how are you?",
                                                  "the cat sat on the mat",
                                                  "I like it",
                                                  "what time is it?",
                                                  "the the the cat",
                                                  "zebra crossing",
                                                  "   ",
                                                  ". ."};

std::string Word(Lcg& random) {
  std::string word = kWords[random.Skewed(kWords.size())];
  switch (random.Below(20)) {
    case 0:
      word += ',';
      break;
    case 1:
      word += '?';
      break;
    case 2:
      for (char& c : word) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      }
      break;
    case 3:
      if (word[0] >= 'a' && word[0] <= 'z') word[0] -= 'a' - 'A';
      break;
    default:
      break;
  }
  return word;
}

std::string Sentence(Lcg& random) {
  std::string sentence;
  int words = 1 + static_cast<int>(random.Skewed(24));
  for (int i = 0; i < words; ++i) {
    if (i > 0) sentence += random.Below(60) == 0 ? "  " : " ";
    sentence += Word(random);
  }
  return sentence;
}

}  // namespace

std::vector<std::string> ConversationLines(int count, uint64_t seed) {
  Lcg random(seed);
  std::vector<std::string> lines;
  lines.reserve(count);
  for (int i = 0; i < count; ++i) {
    if (random.Below(8) == 0) {
      lines.emplace_back(kRepeated[random.Below(kRepeated.size())]);
      continue;
    }
    std::string line = Sentence(random);
    for (int more = random.Below(3); more > 0; --more) {
      line += random.Below(2) ? ". " : ".";
      line += Sentence(random);
    }
    if (random.Below(3) == 0) line += ".";
    lines.push_back(std::move(line));
  }
  return lines;
}

std::vector<Exchange> Converse(const std::string& memory_path,
                               const std::vector<std::string>& lines,
                               uint64_t seed) {
  Engine engine(memory_path, std::make_unique<SeededRandom>(seed));
  engine.SetReportErrors(true);
  std::vector<Exchange> exchanges;
  exchanges.reserve(lines.size());
  for (const std::string& line : lines) {
    exchanges.push_back({line, engine.Respond(line).value_or("<no reply>")});
  }
  return exchanges;
}

}  // namespace quibbo::testing
