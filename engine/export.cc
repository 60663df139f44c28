#include "engine/export.h"

#include "engine/store.h"

namespace quibbo {

ExportFigures ForEachSentence(
    const std::string& memory_path,
    const std::function<void(const std::string& sentence)>& each) {
  Store store(MemoryFile::Open(memory_path, MemoryFile::Access::kReadOnly));
  MemoryFile& file = store.file();
  ExportFigures figures;
  Store::Transaction snapshot(store, Store::Transaction::Kind::kRead);
  std::string sentence;
  file.Guard([&] {
    sqlite::Statement rows(file.connection(),
                           "SELECT middle, position FROM word ORDER BY id");
    while (rows.Step()) {
      if (figures.rows > 0 && rows.ColumnInt(1) == 0) {
        each(sentence);
        ++figures.sentences;
        sentence.clear();
      } else if (figures.rows > 0) {
        sentence += ' ';
      }
      sentence += rows.ColumnText(0);
      ++figures.rows;
    }
  });
  if (figures.rows > 0) {
    each(sentence);
    ++figures.sentences;
  }
  snapshot.Commit();
  return figures;
}

}  // namespace quibbo
