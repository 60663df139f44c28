#include "cli/ask.h"

#include <cctype>
#include <iostream>
#include <string>

#include "cli/standard_streams.h"
#include "quibbo/text.h"

namespace quibbo::cli {

bool AskYesNo(std::string_view question) {
  std::cout << question << " [y/N] " << std::flush;
  // A question nobody could see is not answered yes.
  if (StandardOutputError() != 0) return false;
  std::string answer;
  if (!std::getline(std::cin, answer)) {
    std::cout << "\n";
    return false;
  }
  answer = UpperCase(answer);
  std::string_view word = answer;
  while (!word.empty() && std::isspace(static_cast<unsigned char>(word[0])))
    word.remove_prefix(1);
  while (!word.empty() && std::isspace(static_cast<unsigned char>(word.back())))
    word.remove_suffix(1);
  return word == "Y" || word == "YES" || word == "OK";
}

bool Ask(const WipeQuestion& question) {
  std::cout << question.title << "\n";
  return AskYesNo(question.text);
}

bool ConfirmBoth(bool assume_yes) {
  return assume_yes || (Ask(kWipeFirstQuestion) && Ask(kWipeSecondQuestion));
}

}  // namespace quibbo::cli
