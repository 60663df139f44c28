// Reading input lines the same way everywhere in the terminal program.
#ifndef QUIBBO_CLI_LINES_H_
#define QUIBBO_CLI_LINES_H_

#include <istream>
#include <string>

namespace quibbo::cli {

// Reads the next line into `line` without its LF or CRLF terminator; false
// at the end of the input. A last line without a terminator still counts.
inline bool ReadLine(std::istream& in, std::string* line) {
  if (!std::getline(in, *line)) return false;
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return true;
}

}  // namespace quibbo::cli

#endif  // QUIBBO_CLI_LINES_H_
