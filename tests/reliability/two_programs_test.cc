// Two programs on one memory at the same time: a bulk learn beside a
// conversation, and two conversations. Both finish without an error that
// waiting briefly would have avoided, and every sentence either stored is
// there once, whole, in the order its program stored it.
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "tests/reliability/support.h"
#include "tests/support/temp_memory.h"

namespace quibbo::testing {
namespace {

struct Pair {
  const char* name;
  bool bulk_learn;  // the first program, or a conversation
  int first_lines, second_lines;
};

void PrintTo(const Pair& pair, std::ostream* out) { *out << pair.name; }

class TwoProgramsTest : public ::testing::TestWithParam<Pair> {};

TEST_P(TwoProgramsTest, BothFinishAndStoreEverySentenceWhole) {
  const Pair& pair = GetParam();
  TempMemory memory;
  memory.Fill({"Something to start with."});
  const size_t rows_before = SoundRows(memory.path()).size();
  const std::vector<std::vector<std::string>> scripts = {
      Script("one", pair.first_lines), Script("two", pair.second_lines)};
  const std::string book = memory.folder() + "/book.txt";
  std::ofstream(book) << Input(scripts[0]);
  const std::vector<std::string> chat = {"--json", "--memory", memory.path()};
  Child first(
      pair.bulk_learn
          ? std::vector<std::string>{"learn", book, "--memory", memory.path()}
          : chat,
      pair.bulk_learn ? "" : Input(scripts[0]));
  Child second(chat, Input(scripts[1]));
  const auto until = Clock::now() + std::chrono::minutes(2);
  while ((first.Talking() || second.Talking()) && Clock::now() < until) {
    first.Pump(Clock::now() + std::chrono::milliseconds(5));
    second.Pump(Clock::now() + std::chrono::milliseconds(5));
  }
  for (Child* program : {&first, &second}) {
    EXPECT_EQ(program->Wait(Clock::now() + std::chrono::seconds(10)), 0)
        << program->err();
    if (program == &first && pair.bulk_learn) continue;
    std::vector<std::optional<std::string>> replies = Replies(program->out());
    EXPECT_EQ(replies.size(), scripts[program == &first ? 0 : 1].size());
    for (const std::optional<std::string>& reply : replies) {
      EXPECT_TRUE(reply && !IsTrouble(*reply)) << reply.value_or("no reply");
    }
  }

  // Sentences are unique, so where each is stored tells the order.
  const std::vector<std::string> stored =
      StoredSentences(SoundRows(memory.path()), rows_before);
  std::map<std::string, size_t> where;
  for (size_t i = 0; i < stored.size(); ++i) {
    EXPECT_TRUE(where.emplace(stored[i], i).second) << "twice: " << stored[i];
  }
  size_t expected = 0;
  for (const std::vector<std::string>& script : scripts) {
    std::optional<size_t> last;
    for (const std::string& sentence : SentencesOf(script)) {
      ++expected;
      auto found = where.find(sentence);
      ASSERT_NE(found, where.end()) << "lost: " << sentence;
      EXPECT_TRUE(!last || found->second > *last) << "out of order";
      last = found->second;
    }
  }
  EXPECT_EQ(stored.size(), expected);
}

INSTANTIATE_TEST_SUITE_P(OnOneMemory, TwoProgramsTest,
                         ::testing::Values(Pair{"BulkLearnBesideAChat", true,
                                                40000, 300},
                                           Pair{"TwoChats", false, 400, 400}),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace quibbo::testing
