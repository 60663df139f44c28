// Reading back every stored sentence, in the order it was learned.
//
// A sentence is the run of rows from one at position 0 up to the next, in id
// order; its text is their words joined by single spaces, which is the
// sentence exactly as it was stored. Learning that text again stores the
// same rows, so an export is a memory in a form any editor can read.
#ifndef QUIBBO_ENGINE_EXPORT_H_
#define QUIBBO_ENGINE_EXPORT_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace quibbo {

struct ExportFigures {
  int64_t sentences = 0;
  int64_t rows = 0;
};

// Calls `each` with the text of every sentence of the memory at
// `memory_path`, oldest first, reading one snapshot with the memory opened
// only for reading. In a memory edited by hand, rows before the first row at
// position 0 make a sentence of their own. Throws Error, and whatever `each`
// throws.
ExportFigures ForEachSentence(
    const std::string& memory_path,
    const std::function<void(const std::string& sentence)>& each);

// One stored sentence: the id of its first row, its text as an export
// writes it, and its number of rows.
struct StoredSentence {
  int64_t id = 0;
  std::string text;
  int64_t rows = 0;

  bool operator==(const StoredSentence&) const = default;
};

// The sentence of the memory at `memory_path` that holds row `row`, read
// with the memory opened only for reading; unset when no row has that id.
// Throws Error.
std::optional<StoredSentence> SentenceHoldingRow(const std::string& memory_path,
                                                 int64_t row);

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_EXPORT_H_
