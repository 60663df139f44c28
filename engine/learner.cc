#include "engine/learner.h"

#include "engine/text.h"

namespace quibbo {
namespace {

// True when the memory holds `word` fewer times than `than`, where a word it
// does not hold counts kUnknownWordCount. Counting a common word reads all
// of its rows, so both counts are taken only as far as the comparison needs:
// up to a limit that grows until one of them stops short of it.
bool HeldFewerTimes(Store& store, std::string_view word,
                    std::string_view than) {
  for (int64_t limit = 64;; limit *= 8) {
    int64_t count = store.CountWord(word, limit);
    if (count == 0) return false;  // kUnknownWordCount is never fewer.
    int64_t other = store.CountWord(than, limit);
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
  for (const std::string& sentence : intake.sentences) {
    if (sentence.empty()) continue;
    Store::Transaction transaction(store, Store::Transaction::Kind::kWrite);
    for (const WordRecord& record : SentenceRecords(sentence)) {
      // Counted before the word's own row is stored, after the rows of the
      // words before it.
      if (HeldFewerTimes(store, record.middle, intake.seed_word.value_or(""))) {
        intake.seed_word = record.middle;
      }
      store.Append(record);
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
