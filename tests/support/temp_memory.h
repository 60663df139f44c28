// Test support: a fresh memory file in a temporary folder of its own.
#ifndef QUIBBO_TESTS_SUPPORT_TEMP_MEMORY_H_
#define QUIBBO_TESTS_SUPPORT_TEMP_MEMORY_H_

#include <string>
#include <vector>

#include "engine/store.h"

namespace quibbo::testing {

class TempMemory {
 public:
  // Creates an empty memory named qvd.mdb in a new temporary folder.
  TempMemory();
  // Removes the folder and everything in it.
  ~TempMemory();
  TempMemory(const TempMemory&) = delete;
  TempMemory& operator=(const TempMemory&) = delete;

  const std::string& folder() const { return folder_; }
  const std::string& path() const { return path_; }

  // Every row, in id order, read through a connection of its own.
  std::vector<WordRecord> Rows() const;
  // Stores `sentences` (already in stored form, words split at spaces)
  // exactly as learning would, bypassing seed choice.
  void Fill(const std::vector<std::string>& sentences) const;

 private:
  std::string folder_;
  std::string path_;
};

}  // namespace quibbo::testing

#endif  // QUIBBO_TESTS_SUPPORT_TEMP_MEMORY_H_
