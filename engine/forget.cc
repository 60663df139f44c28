#include "engine/forget.h"

#include "engine/store.h"

namespace quibbo {
namespace {

// The stored forms of the words to forget: each as typed, and with the full
// stop that the last word of a sentence carries.
std::vector<std::string> Forms(const std::vector<std::string>& words) {
  std::vector<std::string> forms;
  for (const std::string& word : words) {
    std::string bare = word;
    if (!bare.empty() && bare.back() == '.') bare.pop_back();
    forms.push_back(bare);
    forms.push_back(bare + ".");
  }
  return forms;
}

}  // namespace

ForgetFigures PreviewForget(const std::string& memory_path,
                            const std::vector<std::string>& words,
                            size_t examples) {
  Store store(MemoryFile::Open(memory_path, MemoryFile::Access::kReadOnly));
  Store::Transaction snapshot(store, Store::Transaction::Kind::kRead);
  const std::vector<IdSpan> doomed = store.SentencesHolding(Forms(words));
  ForgetFigures figures;
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
  const std::vector<IdSpan> doomed = store.SentencesHolding(Forms(words));
  ForgetFigures figures;
  figures.sentences = static_cast<int64_t>(doomed.size());
  figures.rows = store.DeleteSentences(doomed);
  transaction.Commit();
  store.file().EmptyLog();
  return figures;
}

}  // namespace quibbo
