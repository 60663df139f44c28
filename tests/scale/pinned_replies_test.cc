// Pins the replies of a seeded conversation, so that no change made for
// speed can change what the engine answers. The expected replies were
// recorded once and must never be edited to make this test pass.
#include <gtest/gtest.h>

#include <fstream>

#include "tests/scale/pinned_conversation.h"
#include "tests/support/temp_memory.h"

namespace quibbo::testing {
namespace {

constexpr int kLines = 1500;
constexpr uint64_t kLineSeed = 20240611;
constexpr uint64_t kReplySeed = 7;

std::vector<Exchange> ReadPinned() {
  std::ifstream in(QUIBBO_SCALE_TEST_DIR "/pinned_replies.tsv");
  std::vector<Exchange> pinned;
  std::string row;
  while (std::getline(in, row)) {
    size_t tab = row.find('\t');
    if (tab == std::string::npos) break;
    pinned.push_back({row.substr(0, tab), row.substr(tab + 1)});
  }
  return pinned;
}

TEST(PinnedRepliesTest, SeededConversationAnswersAsRecorded) {
  std::vector<Exchange> pinned = ReadPinned();
  ASSERT_EQ(pinned.size(), static_cast<size_t>(kLines));

  TempMemory memory;
  std::vector<Exchange> actual =
      Converse(memory.path(), ConversationLines(kLines, kLineSeed), kReplySeed);
  ASSERT_EQ(actual.size(), pinned.size());
  int differences = 0;
  for (size_t i = 0; i < actual.size() && differences < 5; ++i) {
    ASSERT_EQ(actual[i].line, pinned[i].line) << "line " << i + 1;
    if (actual[i].reply != pinned[i].reply) {
      ++differences;
      ADD_FAILURE() << "line " << i + 1 << ": " << actual[i].line
                    << "\n  recorded: " << pinned[i].reply
                    << "\n  now:      " << actual[i].reply;
    }
  }
}

}  // namespace
}  // namespace quibbo::testing
