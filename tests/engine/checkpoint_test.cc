// The write-ahead log is copied back into the memory off the reply path, and
// never grows without bound, however the copies fall behind.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/learner.h"
#include "engine/store.h"
#include "tests/support/temp_memory.h"

namespace quibbo {
namespace {

TEST(CheckpointTest, TheLogStaysBoundedOverManyCommits) {
  for (bool background : {true, false}) {
    testing::TempMemory memory;
    StoreOptions options;
    options.checkpoint_pages = 8;
    options.checkpoint_in_background = background;
    auto store = Store::Open(memory.path(), Store::Access::kReadWrite, options);
    for (int i = 0; i < 120; ++i) {
      Store::Transaction transaction(*store, Store::Transaction::Kind::kWrite);
      for (const WordRecord& record : SentenceRecords(
               "Line " + std::to_string(i) + " of a long conversation.")) {
        store->Append(record);
      }
      transaction.Commit();
    }
    // Each commit writes a few pages; without copies the log would hold
    // every one of them.
    const auto log_bytes = std::filesystem::file_size(memory.path() + "-wal");
    EXPECT_LT(log_bytes, (kLogBound + 4) * options.checkpoint_pages * 4200u)
        << (background ? "in the background" : "in the commit");
  }
}

}  // namespace
}  // namespace quibbo
