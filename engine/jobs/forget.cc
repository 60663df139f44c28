#include <algorithm>
#include <span>
#include <string_view>

#include "engine/failure/failures.h"
#include "engine/rows/schema.h"
#include "engine/rows/store.h"
#include "engine/text/text.h"
#include "quibbo/memory.h"

namespace quibbo {
namespace {

// The apostrophes people type; a word's core spells each as the first.
constexpr std::string_view kApostrophes[] = {
    "'", "\u2019", "\u2018", "\u02BC", "\uFF07", "`", "\u00B4", "\u2032"};

// The words whose "'s" is a contraction, as quibbo/memory.h lists them.
constexpr std::string_view kContracted[] = {
    "he",    "she",  "it",  "this", "that", "who",   "what",
    "where", "when", "why", "how",  "here", "there", "let"};

// A word as forget compares it: one apostrophe for all, and without the
// punctuation at its ends and a possessive "'s" ("Bob’s", "\"Bob\".",
// "Bob?." all give "Bob"; "It's" stays).
std::string Core(std::string_view word) {
  std::string spelt;
  spelt.reserve(word.size());
  for (size_t at = 0; at < word.size();) {
    const auto apostrophe = std::ranges::find_if(
        kApostrophes,
        [&](std::string_view one) { return word.substr(at).starts_with(one); });
    if (apostrophe == std::end(kApostrophes)) {
      spelt += word[at++];
    } else {
      spelt += kApostrophes[0];
      at += apostrophe->size();
    }
  }
  const std::string_view core = TrimPunctuation(spelt);
  if (core.size() > 2 && (core.ends_with("'s") || core.ends_with("'S"))) {
    const std::string_view stem = core.substr(0, core.size() - 2);
    const bool contracted =
        std::ranges::any_of(kContracted, [&](std::string_view pronoun) {
          return CompareIgnoringCase(stem, pronoun) == 0;
        });
    if (!contracted) return std::string(TrimPunctuation(stem));
  }
  return std::string(core);
}

// A word typed to forget, with its core found once for every stored word
// it is compared with.
struct Typed {
  std::string_view word;
  std::string core;
};

// Whether the stored word `stored`, whose core is `core`, counts as `typed`:
// the same core, letter case ignored. A typed word that is all punctuation
// matches itself alone, with or without a sentence's full stop.
bool SameWord(std::string_view stored, std::string_view core,
              const Typed& typed) {
  if (typed.core.empty()) {
    if (stored.ends_with('.') && stored.size() > typed.word.size()) {
      stored.remove_suffix(1);
    }
    return CompareIgnoringCase(stored, typed.word) == 0;
  }
  return CompareIgnoringCase(core, typed.core) == 0;
}

// The stored words that count as any of `words`, one spelling of each.
std::vector<std::string> Forms(Store& store,
                               const std::vector<std::string>& words) {
  std::vector<Typed> typed;
  for (const std::string& word : words) typed.push_back({word, Core(word)});
  std::vector<std::string> forms;
  store.ForEachWord([&](const WordTally& tally) {
    const std::string core = Core(tally.word);
    for (const Typed& word : typed) {
      if (SameWord(tally.word, core, word)) {
        forms.push_back(tally.word);
        return;
      }
    }
  });
  return forms;
}

// The memory at `path` for reading, brought up to date first where it may be
// written: an earlier version's indexes may hold apart words that Forget,
// which upgrades the memory, then finds to be one.
std::unique_ptr<MemoryFile> OpenForPreview(const std::string& path) {
  auto file = MemoryFile::Open(path, MemoryFile::Access::kReadOnly);
  if (schema::Version(file->connection()) >= schema::kVersion) return file;
  try {
    return MemoryFile::Open(path, MemoryFile::Access::kReadWrite);
  } catch (const Error& error) {
    if (error.kind() != Error::Kind::kReadOnly) throw;
    return file;
  }
}

}  // namespace

ForgetFigures PreviewForget(const std::string& memory_path,
                            const std::vector<std::string>& words,
                            size_t examples) {
  Store store(OpenForPreview(memory_path));
  Store::Transaction snapshot(store, Store::Transaction::Kind::kRead);
  ForgetFigures figures;
  figures.forms = Forms(store, words);
  const std::vector<IdSpan> doomed = store.SentencesHolding(figures.forms);
  figures.sentences = static_cast<int64_t>(doomed.size());
  store.ForEachSentenceIn(doomed, [&](const std::string& text, int64_t rows) {
    figures.rows += rows;
    if (figures.examples.size() < examples) figures.examples.push_back(text);
  });
  snapshot.Commit();
  return figures;
}

ForgetFigures Forget(const std::string& memory_path,
                     const std::vector<std::string>& words) {
  Store store(MemoryFile::Open(memory_path, MemoryFile::Access::kReadWrite));
  Store::Transaction transaction(store, Store::Transaction::Kind::kWrite);
  ForgetFigures figures;
  figures.forms = Forms(store, words);
  const std::vector<IdSpan> doomed = store.SentencesHolding(figures.forms);
  figures.sentences = static_cast<int64_t>(doomed.size());
  figures.rows = store.DeleteSentences(doomed);
  transaction.Commit();
  figures.log_held = store.file().EmptyLog();
  return figures;
}

ForgetFigures ForgetSentence(const std::string& memory_path,
                             const StoredSentence& sentence) {
  Store store(MemoryFile::Open(memory_path, MemoryFile::Access::kReadWrite));
  Store::Transaction transaction(store, Store::Transaction::Kind::kWrite);
  ForgetFigures figures;
  // Ids of rows deleted may be given again to new rows: the same id alone
  // does not make the same sentence.
  const std::optional<Store::Sentence> now = store.SentenceHolding(sentence.id);
  if (now && now->span.first == sentence.id && now->text == sentence.text) {
    figures.sentences = 1;
    figures.rows = store.DeleteSentences({now->span});
  }
  transaction.Commit();
  if (figures.rows > 0) figures.log_held = store.file().EmptyLog();
  return figures;
}

std::optional<Error> EmptyMemoryLog(const std::string& memory_path) {
  std::unique_ptr<MemoryFile> file;
  try {
    file = MemoryFile::Open(memory_path, MemoryFile::Access::kReadWrite);
  } catch (const Error& error) {
    // Nothing was ever deleted through this user's hands.
    if (error.kind() == Error::Kind::kReadOnly) return std::nullopt;
    throw;
  }
  if (file->EmptyLog()) return LogStillHeld(memory_path);
  return std::nullopt;
}

}  // namespace quibbo
