#include "cli/ask.h"

#include <cctype>
#include <iostream>
#include <string>

#include "cli/standard_streams.h"
#include "quibbo/text.h"

namespace quibbo::cli {
namespace {

// Each of the wipe's questions, in their order: a title, then the question.
constexpr const char* kWipeQuestions[][2] = {
    {"Delete All Data!", "Are you absolutely sure about this?"},
    {"Proceed with delete?", "This data is irrecoverable!"},
};

}  // namespace

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

bool Ask(WipeQuestion question) {
  const auto& [title, text] = kWipeQuestions[static_cast<int>(question)];
  std::cout << title << "\n";
  return AskYesNo(text);
}

bool ConfirmBoth(bool assume_yes) {
  return assume_yes ||
         (Ask(WipeQuestion::kFirst) && Ask(WipeQuestion::kSecond));
}

}  // namespace quibbo::cli
