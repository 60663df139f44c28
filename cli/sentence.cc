// quibbo-cli sentence ID [--json]
#include <iostream>
#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/failure.h"
#include "cli/wording.h"
#include "quibbo/error.h"
#include "quibbo/memory.h"

namespace quibbo::cli {

int RunSentence(const Settings& settings) {
  try {
    const std::optional<StoredSentence> sentence =
        SentenceHoldingRow(settings.memory, *settings.row);
    if (!sentence) return Fail(NoSuchRow(settings.memory, *settings.row));
    if (settings.json) {
      const nlohmann::ordered_json object = {{"sentence", sentence->id},
                                             {"text", sentence->text}};
      std::cout << JsonText(object) << "\n";
    } else {
      std::cout << sentence->id << ": " << Printable(sentence->text) << "\n";
    }
    return 0;
  } catch (const Error& error) {
    return Fail(error);
  }
}

}  // namespace quibbo::cli
