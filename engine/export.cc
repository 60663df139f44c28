#include "engine/export.h"

#include "engine/store.h"

namespace quibbo {

ExportFigures ForEachSentence(
    const std::string& memory_path,
    const std::function<void(const std::string& sentence)>& each) {
  Store store(MemoryFile::Open(memory_path, MemoryFile::Access::kReadOnly));
  ExportFigures figures;
  Store::Transaction snapshot(store, Store::Transaction::Kind::kRead);
  store.ForEachSentence([&](const std::string& sentence, int64_t rows) {
    each(sentence);
    ++figures.sentences;
    figures.rows += rows;
  });
  snapshot.Commit();
  return figures;
}

std::optional<StoredSentence> SentenceHoldingRow(const std::string& memory_path,
                                                 int64_t row) {
  Store store(MemoryFile::Open(memory_path, MemoryFile::Access::kReadOnly));
  Store::Transaction snapshot(store, Store::Transaction::Kind::kRead);
  std::optional<Store::Sentence> sentence = store.SentenceHolding(row);
  snapshot.Commit();
  if (!sentence) return std::nullopt;
  return StoredSentence{sentence->span.first, std::move(sentence->text),
                        sentence->rows};
}

}  // namespace quibbo
