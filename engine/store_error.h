// The one kind of failure the engine raises.
#ifndef QUIBBO_ENGINE_STORE_ERROR_H_
#define QUIBBO_ENGINE_STORE_ERROR_H_

#include <stdexcept>
#include <string>

namespace quibbo {

// A failure of the memory or of the engine, with a number and a description
// a person can act on. The number is SQLite's extended result code when the
// failure came from SQLite, or one of the codes below.
class StoreError : public std::runtime_error {
 public:
  enum : int {
    kMissing = 1001,        // the memory file does not exist
    kNotAMemory = 1002,     // it is not an SQLite file or lacks table word
    kEmptyMemory = 1003,    // nothing stored, so nothing to reply with
    kInvalidText = 1004,    // the input is not valid UTF-8
    kAlreadyExists = 1005,  // refusing to create over an existing file
  };

  StoreError(int code, const std::string& description)
      : std::runtime_error(description), code_(code) {}

  int code() const { return code_; }
  const char* description() const { return what(); }

 private:
  int code_;
};

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_STORE_ERROR_H_
