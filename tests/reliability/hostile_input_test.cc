// Hostile and odd input through quibbo-cli --json: no crash, no hang, every
// line answered, and the memory holds exactly what the learning rules give
// for the lines it accepted.
#include "tests/reliability/hostile_input.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/reliability/memory_check.h"
#include "tests/support/temp_memory.h"

namespace quibbo {
namespace {

using testing::ReadMemory;
using testing::TempMemory;

TEST(HostileInputTest, EveryHostileLineIsAnsweredAndStoredAsTyped) {
  TempMemory memory;
  memory.Fill({"Something to start with."});
  std::vector<std::string> lines = testing::HostileLines();
  ASSERT_GT(lines.size(), 50u);
  // Nine of the corpus's files are not UTF-8.
  EXPECT_EQ(testing::TalkThrough(memory, lines, std::chrono::seconds(120)), 9u);

  // Quotes and SQL are words like any other, and the table is still there.
  std::vector<std::string> sentences =
      testing::StoredSentences(ReadMemory(memory.path()).rows);
  for (const char* stored :
       {"'); drop table word; --.", "\" or 1=1 --.", "Next.", "Id."}) {
    EXPECT_THAT(sentences, ::testing::Contains(stored));
  }
}

}  // namespace
}  // namespace quibbo
