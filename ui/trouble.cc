#include "ui/trouble.h"

namespace quibbo::ui {

std::string TroubleMessage(std::string_view description) {
  std::string message = "I am having trouble with your last sentence.\n\n";
  message += description;
  message +=
      "\n\nCould you please click on the Help/Email Quibbo Creator menu "
      "option and paste this message into the Email. This will help future "
      "versions of Quibbo become more stable.\nYou should be able to "
      "continue using Quibbo. If you cant, please select the File/Wipe "
      "Quibbos Memory menu option.";
  return message;
}

}  // namespace quibbo::ui
