// quibbo-cli export [FILE|-] [--json] [--force]
#include <iostream>
#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/failure.h"
#include "cli/interrupt.h"
#include "cli/wording.h"
#include "quibbo/error.h"
#include "quibbo/memory.h"

namespace quibbo::cli {

int RunExport(const Settings& settings) {
  const std::string file =
      settings.arguments.empty() ? "-" : settings.arguments[0];
  int64_t with_line_breaks = 0;
  try {
    std::cout.flush();
    const ExportFigures figures = ExportSentences(
        settings.memory, file, settings.force,
        [&](const std::string& sentence) {
          if (settings.json) {
            return JsonText(nlohmann::json(sentence));
          }
          with_line_breaks += sentence.find('\n') != std::string::npos;
          return sentence;
        },
        Interrupted);
    if (file != "-") {
      std::cout << "Exported "
                << Count(figures.sentences, "sentence", "sentences") << " ("
                << Count(figures.rows, "word", "words") << ") to " << file
                << ".\n";
    }
  } catch (const Error& error) {
    return Fail(error);
  }
  if (with_line_breaks > 0) {
    std::cerr << "quibbo-cli: "
              << Count(with_line_breaks, "sentence holds", "sentences hold")
              << " a line break, which plain text cannot keep; export with "
                 "--json to keep every sentence exact."
              << std::endl;
  }
  return 0;
}

}  // namespace quibbo::cli
