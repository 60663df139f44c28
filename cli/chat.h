// The conversation on a terminal or a pipe: one line in, one reply out.
#ifndef QUIBBO_CLI_CHAT_H_
#define QUIBBO_CLI_CHAT_H_

#include <iosfwd>

#include "engine/engine.h"

namespace quibbo::cli {

struct ChatOptions {
  bool json = false;    // one JSON object per line instead of a transcript
  bool prompt = false;  // ask "You: " before each line (on a terminal)
  // The file descriptor `in` reads, if any: what waits there unread counts
  // as more input, during which the program is not idle.
  int input_fd = -1;
};

// Reads lines from `in` until its end and answers each through `engine`.
// A line loses its LF or CRLF and nothing else; a line that is not UTF-8 is
// refused with a message on `err` and not learned. Returns the exit status.
int RunChat(Engine& engine, std::istream& in, std::ostream& out,
            std::ostream& err, const ChatOptions& options);

}  // namespace quibbo::cli

#endif  // QUIBBO_CLI_CHAT_H_
