// The store finds a walk's candidates through one index: forward ones as the
// rows right after the rows holding the same word pair. This checks that it
// finds exactly the rows, in the order, that the plain definition selects.
#include <gtest/gtest.h>

#include "engine/learner.h"
#include "engine/sqlite.h"
#include "tests/scale/pinned_conversation.h"
#include "tests/support/temp_memory.h"

namespace quibbo::testing {
namespace {

std::vector<int64_t> Select(Store& store, const char* sql,
                            std::string_view first, std::string_view second,
                            int64_t position) {
  sqlite::Statement select(store.connection(), sql);
  select.Bind(1, first).Bind(2, second).Bind(3, position);
  std::vector<int64_t> ids;
  while (select.Step()) ids.push_back(select.ColumnInt(0));
  return ids;
}

TEST(CandidatesTest, EveryStepFindsWhatTheDefinitionSelects) {
  TempMemory memory;
  auto store = Store::Open(memory.path(), Store::Access::kReadWrite);
  for (const std::string& line : ConversationLines(400, 11)) {
    Learn(*store, line);
  }
  int checked = 0;
  for (const WordRecord& row : memory.Rows()) {
    if (row.previous) {
      EXPECT_EQ(store->CandidateIds(Direction::kBackward, row),
                Select(*store,
                       "SELECT id FROM word WHERE middle = ?1 AND next = ?2 "
                       "AND position <= ?3 ORDER BY position, id",
                       *row.previous, row.middle, row.position))
          << "backward from row " << row.id;
      ++checked;
    }
    if (row.next) {
      EXPECT_EQ(store->CandidateIds(Direction::kForward, row),
                Select(*store,
                       "SELECT id FROM word WHERE previous = ?1 AND middle = "
                       "?2 AND position >= ?3 ORDER BY position, id",
                       row.middle, *row.next, row.position))
          << "forward from row " << row.id;
      ++checked;
    }
  }
  EXPECT_GT(checked, 5000);
}

}  // namespace
}  // namespace quibbo::testing
