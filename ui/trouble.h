// What the window says when a line met a failure of the memory or of the
// input: the trouble message, which the transcript shows as the reply.
#ifndef QUIBBO_UI_TROUBLE_H_
#define QUIBBO_UI_TROUBLE_H_

#include <string>
#include <string_view>

namespace quibbo::ui {

// The trouble message: its first sentence, the failure's `description`,
// and what the window advises (the Help menu's email, then a wipe), each
// after a blank line.
std::string TroubleMessage(std::string_view description);

}  // namespace quibbo::ui

#endif  // QUIBBO_UI_TROUBLE_H_
