// Asking the person at the terminal before anything is deleted or replaced.
// An empty answer or the end of the input always takes the safe default.
#ifndef QUIBBO_CLI_ASK_H_
#define QUIBBO_CLI_ASK_H_

#include <iosfwd>
#include <string_view>

#include "engine/engine.h"

namespace quibbo::cli {

// Asks `question` with [y/N]; true only for "y" or "yes", any case.
bool AskYesNo(std::string_view question, std::istream& in, std::ostream& out);

// Asks one of the two questions the window asks before it wipes.
bool Ask(const WipeQuestion& question, std::istream& in, std::ostream& out);

// Asks kWipeFirstQuestion, then kWipeSecondQuestion; true when both are
// answered yes. `assume_yes` answers both without asking.
bool ConfirmBoth(bool assume_yes, std::istream& in, std::ostream& out);

}  // namespace quibbo::cli

#endif  // QUIBBO_CLI_ASK_H_
