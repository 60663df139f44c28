#include <unistd.h>

#include <cerrno>
#include <memory>

#include "engine/failure/failures.h"
#include "engine/file/buffered_writer.h"
#include "engine/file/output_file.h"
#include "engine/rows/store.h"
#include "quibbo/memory.h"

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

ExportFigures ExportSentences(
    const std::string& memory_path, const std::string& file, bool replace,
    const std::function<std::string(const std::string& sentence)>& format,
    const StopRequested& stop) {
  std::unique_ptr<OutputFile> output;
  if (file != "-")
    output = std::make_unique<OutputFile>(file, replace, memory_path);
  // Straight to the file descriptor, so that a failure is seen with its
  // cause, and so that a stop ends a write that waits for a slow reader.
  BufferedWriter standard_output(
      STDOUT_FILENO,
      [](int error) {
        return error == EINTR ? StoppedOutput() : StandardOutputFailure(error);
      },
      stop);
  auto write = [&](std::string_view bytes) {
    if (output) {
      output->Write(bytes);
    } else {
      standard_output.Write(bytes);
    }
  };
  const ExportFigures figures =
      ForEachSentence(memory_path, [&](const std::string& sentence) {
        if (stop && stop()) throw output ? Interrupted(file) : StoppedOutput();
        write(format(sentence));
        write("\n");
      });
  if (output) {
    output->Commit();
  } else {
    standard_output.Flush();
  }
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
