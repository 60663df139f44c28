// Test support: a fresh memory in a temporary folder of its own, and the
// ways tests fill it and look into it from outside the engine.
#ifndef QUIBBO_TESTS_SUPPORT_TEMP_MEMORY_H_
#define QUIBBO_TESTS_SUPPORT_TEMP_MEMORY_H_

#include <memory>
#include <string>
#include <vector>

#include "engine/sqlite.h"
#include "engine/store.h"

namespace quibbo::testing {

using Strings = std::vector<std::string>;

class TempMemory {
 public:
  // Creates an empty memory named qvd.mdb in a new temporary folder, and
  // removes the folder and all in it when destroyed.
  TempMemory();
  ~TempMemory();
  TempMemory(const TempMemory&) = delete;
  TempMemory& operator=(const TempMemory&) = delete;

  const std::string& folder() const { return folder_; }
  const std::string& path() const { return path_; }

  // Learns `lines` as `quibbo-cli learn` does, without replying.
  void Fill(const Strings& lines) const;

  // A connection of its own, which knows the memory's collation.
  std::unique_ptr<sqlite::Connection> Connect() const;
  void Execute(const char* sql) const { Connect()->Execute(sql); }
  // Every row, in id order.
  std::vector<WordRecord> Rows() const;
  // The stored sentences from row `skip` on, words joined by spaces, once
  // checked that the file is sound and every sentence in it whole.
  Strings Sentences(size_t skip = 0) const;

 private:
  std::string folder_, path_;
};

// The content of a file; empty when there is none.
std::string FileBytes(const std::string& path);

}  // namespace quibbo::testing

#endif  // QUIBBO_TESTS_SUPPORT_TEMP_MEMORY_H_
