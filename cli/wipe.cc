#include "cli/wipe.h"

#include <ostream>

#include "cli/ask.h"
#include "engine/engine.h"

namespace quibbo::cli {

int RunWipe(const std::string& memory_path, bool assume_yes, std::istream& in,
            std::ostream& out, std::ostream& err) {
  int yes_answers = 0;
  Engine engine(memory_path, nullptr, [&](const WipeQuestion& question) {
    bool yes = assume_yes || Ask(question, in, out);
    yes_answers += yes;
    return yes;
  });
  try {
    engine.WipeMemory();
  } catch (const Error& error) {
    err << "quibbo-cli: " << error.description() << "\n";
    err << "Nothing was deleted.\n";
    return 1;
  }
  out << (yes_answers == 2 ? "The memory is now empty.\n"
                           : "Nothing was deleted.\n");
  return 0;
}

}  // namespace quibbo::cli
