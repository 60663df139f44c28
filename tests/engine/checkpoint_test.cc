// The write-ahead log is copied back into the memory off the reply path, and
// never grows without bound, however the copies fall behind.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/learner.h"
#include "tests/support/temp_memory.h"

namespace quibbo::testing {
namespace {

TEST(CheckpointTest, TheLogStaysBoundedOverManyCommits) {
  for (bool background : {true, false}) {
    TempMemory memory;
    auto store = Store::Open(
        memory.path(), Store::Access::kReadWrite,
        {.checkpoint_pages = 8, .checkpoint_in_background = background});
    for (int i = 0; i < 120; ++i) {
      Store::Transaction transaction(*store, Store::Transaction::Kind::kWrite);
      for (const WordRecord& record :
           SentenceRecords("Line " + std::to_string(i) + " of a talk.")) {
        store->Append(record);
      }
      transaction.Commit();
    }
    // Without copies the log would hold every page of every commit.
    EXPECT_LT(std::filesystem::file_size(memory.path() + "-wal"),
              (kLogBound + 4) * 8 * 4200u)
        << background;
  }
}

}  // namespace
}  // namespace quibbo::testing
