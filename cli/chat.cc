#include "cli/chat.h"

#include <poll.h>

#include <istream>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>

#include "cli/lines.h"
#include "engine/text.h"

namespace quibbo::cli {
namespace {

void WriteJson(std::ostream& out, const std::string& line,
               const std::optional<std::string>& reply) {
  nlohmann::json object = {{"you", line}, {"quibbo", nullptr}};
  if (reply) object["quibbo"] = *reply;
  // Replacement characters stand in for bytes that are not UTF-8, so the
  // output stays valid JSON whatever the memory holds.
  out << object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
      << std::endl;
}

// Whether more input is at hand, or comes within a millisecond: lines fed
// by another program come that fast, a person's never do.
bool MoreInput(std::istream& in, int fd) {
  if (in.rdbuf()->in_avail() > 0) return true;
  pollfd ready = {.fd = fd, .events = POLLIN, .revents = 0};
  return fd >= 0 && poll(&ready, 1, 1) > 0;
}

}  // namespace

int RunChat(Engine& engine, std::istream& in, std::ostream& out,
            std::ostream& err, const ChatOptions& options) {
  std::string line;
  for (int64_t number = 1;; ++number) {
    if (options.prompt) out << "You: " << std::flush;
    if (!ReadLine(in, &line)) break;
    std::optional<std::string> reply;
    if (!IsValidUtf8(line)) {
      err << "quibbo-cli: line " << number
          << " is not valid UTF-8 text; it was not learned." << std::endl;
    } else {
      reply = engine.Respond(line).text;
    }
    if (options.json) {
      WriteJson(out, line, reply);
    } else {
      out << "Quibbo: " << reply.value_or("") << "\n\n" << std::flush;
    }
    // The reply is out; what is left of the commit's housekeeping is done
    // while the user reads it, unless the next line is already there.
    if (!MoreInput(in, options.input_fd)) engine.Idle();
  }
  if (options.prompt) out << "\n";
  return 0;
}

}  // namespace quibbo::cli
