// Hostile and odd input through quibbo-cli --json: real lines, quotes, SQL,
// control characters, lines not in UTF-8, long words. No crash, no hang,
// every line answered or refused, and the memory holds exactly the rows the
// learning rules give for the lines it accepted.
#include <gmock/gmock.h>

#include "tests/reliability/support.h"

namespace quibbo::testing {
namespace {

TEST(HostileInputTest, EveryHostileLineIsAnsweredAndStoredAsTyped) {
  TempMemory memory;
  memory.Fill({"Something to start with."});
  const Strings lines = LinesIn(QUIBBO_FUZZ_CORPUS);
  ASSERT_GT(lines.size(), 50u);
  // Nine of the corpus's files are not UTF-8.
  EXPECT_EQ(TalkThrough(memory, lines, std::chrono::seconds(120)), 9u);
  // Quotes and SQL are words like any other, and the table is still there.
  EXPECT_THAT(memory.Sentences(),
              ::testing::IsSupersetOf({"'); drop table word; --.",
                                       "\" or 1=1 --.", "Next.", "Id."}));
}

}  // namespace
}  // namespace quibbo::testing
