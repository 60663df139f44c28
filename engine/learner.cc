#include "engine/learner.h"

#include <algorithm>
#include <map>

#include "engine/text.h"

namespace quibbo {
namespace {

// The counts of the words of one line. Each word is counted in the memory
// only as far as a comparison has needed so far, and the line's own rows are
// added as they are stored. Counting them again for every word instead made a
// line that repeats a word cost the square of its length (a minute for 20 000
// words). A program writing between two sentences of the line can only shift
// which word is chosen.
class LineCounts {
 public:
  explicit LineCounts(Store& store) : store_(store) {}

  // The number of rows holding `word`, or `limit` when there are at least
  // that many.
  int64_t Count(std::string_view word, int64_t limit) {
    Entry& entry = Find(word);
    if (!entry.exact && entry.held + entry.own < limit) {
      int64_t counted = store_.CountWord(word, limit);
      entry.exact = counted < limit;
      entry.held = counted - entry.own;
    }
    return std::min(entry.held + entry.own, limit);
  }

  // Notes that a row holding `word` was stored.
  void Stored(std::string_view word) { ++Find(word).own; }

 private:
  struct Entry {
    int64_t held = 0;  // rows from before the line: exact or a lower bound
    bool exact = false;
    int64_t own = 0;  // rows the line has stored
  };
  struct IgnoringCase {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const {
      return CompareIgnoringCase(a, b) < 0;
    }
  };

  Entry& Find(std::string_view word) {
    auto found = entries_.find(word);
    if (found == entries_.end()) {
      found = entries_.emplace(std::string(word), Entry()).first;
    }
    return found->second;
  }

  Store& store_;
  std::map<std::string, Entry, IgnoringCase> entries_;
};

// True when the memory holds `word` fewer times than `than`, where a word it
// does not hold counts kUnknownWordCount. Counting a common word reads all
// of its rows, so both counts are taken only as far as the comparison needs:
// up to a limit that grows until one of them stops short of it.
bool HeldFewerTimes(LineCounts& counts, std::string_view word,
                    std::string_view than) {
  for (int64_t limit = 64;; limit *= 8) {
    int64_t count = counts.Count(word, limit);
    if (count == 0) return false;  // kUnknownWordCount is never fewer.
    int64_t other = counts.Count(than, limit);
    if (other == 0) return true;
    if (count < limit || other < limit) return count < other;
  }
}

}  // namespace

std::vector<std::string> CutSentences(std::string_view line) {
  std::vector<std::string> sentences = Cut(line, '.');
  for (std::string& sentence : sentences) {
    std::string_view trimmed = TrimSpaces(sentence);
    sentence = trimmed.empty() ? std::string() : UpperFirst(trimmed) + ".";
  }
  return sentences;
}

std::vector<WordRecord> SentenceRecords(std::string_view sentence) {
  std::vector<std::string> words = Cut(sentence, ' ');
  std::vector<WordRecord> records(words.size());
  for (size_t j = 0; j < words.size(); ++j) {
    WordRecord& record = records[j];
    if (j > 0) record.previous = words[j - 1];
    record.next =
        j + 1 < words.size() ? std::optional(words[j + 1]) : std::nullopt;
    record.position = static_cast<int64_t>(j);
  }
  for (size_t j = 0; j < words.size(); ++j) {
    records[j].middle = std::move(words[j]);
  }
  return records;
}

int32_t WordFrequency(Store& store, std::string_view word) {
  int64_t count = store.CountWord(word);
  return count == 0 ? kUnknownWordCount : static_cast<int32_t>(count);
}

Intake Learn(Store& store, std::string_view line) {
  Intake intake;
  intake.sentences = CutSentences(line);
  size_t fallback_length = 0;
  LineCounts counts(store);
  for (const std::string& sentence : intake.sentences) {
    if (sentence.empty()) continue;
    Store::Transaction transaction(store, Store::Transaction::Kind::kWrite);
    for (const WordRecord& record : SentenceRecords(sentence)) {
      // Counted before the word's own row is stored, after the rows of the
      // words before it.
      if (HeldFewerTimes(counts, record.middle,
                         intake.seed_word.value_or(""))) {
        intake.seed_word = record.middle;
      }
      store.Append(record);
      counts.Stored(record.middle);
      size_t length = CharacterCount(record.middle);
      if (length > fallback_length) {
        intake.fallback_word = record.middle;
        fallback_length = length;
      }
    }
    transaction.Commit();
  }
  return intake;
}

int64_t StoreLine(Store& store, std::string_view line) {
  int64_t rows = 0;
  for (const std::string& sentence : CutSentences(line)) {
    if (sentence.empty()) continue;
    for (const WordRecord& record : SentenceRecords(sentence)) {
      store.Append(record);
      ++rows;
    }
  }
  return rows;
}

}  // namespace quibbo
