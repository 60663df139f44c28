// quibbo-cli forget WORD... [--yes]
#include "engine/forget.h"

#include <ostream>

#include "cli/ask.h"
#include "cli/memory_commands.h"
#include "engine/error.h"

namespace quibbo::cli {
namespace {

constexpr size_t kExamples = 5;

std::string Sentences(int64_t count) {
  return std::to_string(count) + (count == 1 ? " sentence" : " sentences");
}

std::string Words(int64_t count) {
  return std::to_string(count) + (count == 1 ? " word" : " words");
}

}  // namespace

int RunForget(const std::string& memory_path,
              const std::vector<std::string>& words, bool assume_yes,
              std::istream& in, std::ostream& out, std::ostream& err) {
  try {
    ForgetFigures preview = PreviewForget(memory_path, words, kExamples);
    if (preview.sentences == 0) {
      out << "No sentence holds "
          << (words.size() == 1 ? "that word" : "any of those words")
          << "; nothing was deleted.\n";
      return 0;
    }
    out << "This deletes " << Sentences(preview.sentences) << " ("
        << Words(preview.rows) << " in all), such as:\n";
    for (const std::string& sentence : preview.examples) {
      out << "  " << sentence << "\n";
    }
    if (preview.sentences > static_cast<int64_t>(preview.examples.size())) {
      out << "  ...\n";
    }
    if (!assume_yes && !AskYesNo("Forget them?", in, out)) {
      out << "Nothing was deleted.\n";
      return 0;
    }
    ForgetFigures gone = Forget(memory_path, words);
    out << "Forgot " << Sentences(gone.sentences) << " (" << Words(gone.rows)
        << ").\n";
    return 0;
  } catch (const Error& error) {
    err << "quibbo-cli: " << error.description() << "\n"
        << "Nothing was deleted.\n";
    return 1;
  }
}

}  // namespace quibbo::cli
