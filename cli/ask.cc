#include "cli/ask.h"

#include <algorithm>
#include <cctype>
#include <istream>
#include <ostream>
#include <string>

#include "cli/lines.h"

namespace quibbo::cli {
namespace {

// The answer in lower case; nullopt at the end of the input.
std::optional<std::string> Answer(std::istream& in, std::ostream& out) {
  std::string answer;
  if (!ReadLine(in, &answer)) {
    out << "\n";
    return std::nullopt;
  }
  std::transform(answer.begin(), answer.end(), answer.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  return answer;
}

}  // namespace

bool AskYesNo(std::string_view question, std::istream& in, std::ostream& out) {
  out << question << " [y/N] " << std::flush;
  std::optional<std::string> answer = Answer(in, out);
  return answer == "y" || answer == "yes";
}

bool Ask(const WipeQuestion& question, std::istream& in, std::ostream& out) {
  out << question.title << "\n";
  if (question.buttons == WipeQuestion::Buttons::kYesNo) {
    return AskYesNo(question.text, in, out);
  }
  out << question.text << " [ok/Cancel] " << std::flush;
  std::optional<std::string> answer = Answer(in, out);
  return answer == "ok" || answer == "o";
}

bool ConfirmBoth(bool assume_yes, std::istream& in, std::ostream& out) {
  if (assume_yes) return true;
  return Ask(kWipeFirstQuestion, in, out) && Ask(kWipeSecondQuestion, in, out);
}

}  // namespace quibbo::cli
