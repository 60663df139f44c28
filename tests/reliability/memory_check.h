// Reliability test support: looking at a memory file from outside, to tell
// whether anything was lost, altered or left half-written.
#ifndef QUIBBO_TESTS_RELIABILITY_MEMORY_CHECK_H_
#define QUIBBO_TESTS_RELIABILITY_MEMORY_CHECK_H_

#include <string>
#include <vector>

#include "engine/store.h"

namespace quibbo::testing {

// What a memory holds, read through a connection of its own.
struct MemoryState {
  std::string integrity;         // PRAGMA integrity_check: "ok" when sound
  std::vector<WordRecord> rows;  // every row, in id order
};
MemoryState ReadMemory(const std::string& path);

// What is wrong with the sentences in `rows`: each must run at positions
// 0..n-1 in id order, name its neighbours as they are stored, and end in a
// word without `next`. Empty when every sentence is whole.
std::vector<std::string> SentenceProblems(const std::vector<WordRecord>& rows);

// The stored sentences, each as its words joined by spaces, in id order.
// Assumes whole sentences (see SentenceProblems).
std::vector<std::string> StoredSentences(const std::vector<WordRecord>& rows);

// The bytes of a file; empty when it cannot be read.
std::string FileBytes(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

// Whether a reply is the trouble message rather than an answer, also when
// someone typed its first sentence.
bool IsTrouble(const std::string& reply);

}  // namespace quibbo::testing

#endif  // QUIBBO_TESTS_RELIABILITY_MEMORY_CHECK_H_
