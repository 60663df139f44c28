#include "engine/language/learner.h"

#include "engine/failure/failures.h"
#include "engine/text/text.h"
#include "quibbo/learn.h"

namespace quibbo {

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

namespace {

// What a word held `count` times counts in the choice of the seed word.
int32_t Frequency(int64_t count) {
  return count == 0 ? kUnknownWordCount : static_cast<int32_t>(count);
}

}  // namespace

int32_t WordFrequency(Store& store, std::string_view word) {
  return Frequency(store.CountWord(word));
}

namespace {

// After a failure in sentence `failed`, keeps the sentences before it, which
// SQLite may have taken back with the whole transaction. Best effort: the
// failure itself is what the caller reports.
void KeepSentencesBefore(Store& store, Store::Transaction& transaction,
                         const std::vector<std::string>& sentences,
                         size_t failed) {
  try {
    if (!store.InTransaction()) {
      transaction.Restart();
      for (size_t i = 0; i < failed; ++i) {
        for (const WordRecord& record : SentenceRecords(sentences[i])) {
          store.Append(record);
        }
      }
    }
    transaction.Commit();
  } catch (const Error&) {
  }
}

// Learn and Consider: the same choices, with or without storing the rows.
Intake TakeIn(Store& store, Store::Transaction* transaction,
              std::string_view line) {
  Intake intake;
  intake.sentences = CutSentences(line);
  // One transaction for the whole line, which writes each page it changes
  // once, however many sentences the line holds; a savepoint per sentence
  // keeps a failure from taking more than its own sentence.
  if (transaction && line.size() >= kLongLineBytes) {
    transaction->GrowCache(kBulkStoreOptions.cache_kib);
  }
  size_t fallback_length = 0;
  // The seed word's count, read once and then kept up with as rows are
  // appended, rather than asked for again at every word. An unset seed
  // counts as the empty word.
  std::optional<int64_t> seed_count;
  size_t i = 0;
  try {
    for (; i < intake.sentences.size(); ++i) {
      const std::string& sentence = intake.sentences[i];
      if (sentence.empty()) continue;
      std::optional<Store::Savepoint> savepoint;
      if (transaction) savepoint.emplace(store);
      for (const WordRecord& record : SentenceRecords(sentence)) {
        // Counted before the word's own row is stored, after the rows of the
        // words before it.
        const int64_t count = store.CountWord(record.middle);
        if (!seed_count)
          seed_count = store.CountWord(intake.seed_word.value_or(""));
        if (Frequency(count) < Frequency(*seed_count)) {
          intake.seed_word = record.middle;
          seed_count = count;
        }
        if (transaction) {
          store.Append(record);
          if (CompareIgnoringCase(record.middle,
                                  intake.seed_word.value_or("")) == 0) {
            ++*seed_count;
          }
        }
        size_t length = CharacterCount(record.middle);
        if (length > fallback_length) {
          intake.fallback_word = record.middle;
          fallback_length = length;
        }
      }
      if (savepoint) savepoint->Release();
    }
  } catch (const Error&) {
    if (transaction) {
      KeepSentencesBefore(store, *transaction, intake.sentences, i);
    }
    throw;
  }
  return intake;
}

}  // namespace

Intake Learn(Store& store, Store::Transaction& transaction,
             std::string_view line) {
  return TakeIn(store, &transaction, line);
}

Intake Learn(Store& store, std::string_view line) {
  Store::Transaction transaction(store, Store::Transaction::Kind::kWrite);
  Intake intake = Learn(store, transaction, line);
  transaction.Commit();
  return intake;
}

Intake Consider(Store& store, std::string_view line) {
  return TakeIn(store, nullptr, line);
}

}  // namespace quibbo
