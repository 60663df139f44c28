#include "cli/wipe.h"

#include <algorithm>
#include <cctype>
#include <istream>
#include <ostream>

#include "cli/lines.h"
#include "engine/engine.h"

namespace quibbo::cli {
namespace {

bool Ask(const WipeQuestion& question, std::istream& in, std::ostream& out) {
  const bool yes_no = question.buttons == WipeQuestion::Buttons::kYesNo;
  out << question.title << "\n"
      << question.text << (yes_no ? " [y/N] " : " [ok/Cancel] ") << std::flush;
  std::string answer;
  if (!ReadLine(in, &answer)) {
    out << "\n";
    return false;
  }
  std::transform(answer.begin(), answer.end(), answer.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  if (yes_no) return answer == "y" || answer == "yes";
  return answer == "ok" || answer == "o";
}

}  // namespace

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
