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

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_EXPORT_H_
