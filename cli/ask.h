// Asking the person at the terminal before anything is deleted or replaced.
// "y", "yes" and "ok", in any letter case, are yes at every question;
// anything else, an empty answer and the end of the input are no, and so
// is any answer to a question that could not be written.
#ifndef QUIBBO_CLI_ASK_H_
#define QUIBBO_CLI_ASK_H_

#include <string_view>

#include "quibbo/engine.h"

namespace quibbo::cli {

// Asks `question` with [y/N] on the standard output and reads the answer
// from the standard input.
bool AskYesNo(std::string_view question);

// Asks one of the two questions the window asks before it wipes, in its
// words: the title of its box on a line of its own, then its text.
bool Ask(WipeQuestion question);

// Asks the first WipeQuestion, then the second; true when both are answered
// yes. `assume_yes` answers both without asking.
bool ConfirmBoth(bool assume_yes);

}  // namespace quibbo::cli

#endif  // QUIBBO_CLI_ASK_H_
