// A memory edited by hand, as the sqlite3 shell allows: replies go on, and
// when a sentence has lost a word the failure says so. No edit may pass for
// another program changing the file.
#include <gtest/gtest.h>

#include "engine/reply.h"
#include "tests/support/temp_memory.h"

namespace quibbo::testing {
namespace {

TEST(EditedMemoryTest, RepliesOrNamesTheBrokenSentence) {
  const std::pair<std::string, bool> edits[] = {
      // and whether it breaks. Gaps in the ids, then one-word sentences
      // between the words of others:
      {"UPDATE word SET id = id + 1000000;"
       "UPDATE word SET id = (id - 1000000) * 3;"
       "INSERT INTO word SELECT id + 1, NULL, 'Cat.', NULL, 0 FROM word "
       "WHERE position = 2;",
       false},
      {"DELETE FROM word WHERE id % 17 = 3;", true},
      {"UPDATE word SET middle = 'dog' WHERE id % 13 = 2;", true}};
  for (const auto& [sql, breaks] : edits) {
    TempMemory memory;
    std::vector<std::string> sentences;
    for (int i = 0; i < 60; ++i) {
      sentences.push_back("The cat " + std::to_string(i % 7) + " sat on the " +
                          std::to_string(i % 5) + " mat.");
    }
    memory.Fill(sentences);
    memory.Execute(sql.c_str());
    auto store = Store::Open(memory.path(), Store::Access::kReadWrite);
    SeededRandom random(3);
    int damaged = 0;
    for (int i = 0; i < 300; ++i) {
      const std::string seed = std::to_string(i % 9);
      try {
        // Every word a walk adds is a stored word, and none is empty here.
        const std::string reply = ComposeReply(
            *store, random, {{"The cat " + seed + "."}, seed, "cat"});
        EXPECT_TRUE(!reply.empty() && reply.find("  ") == std::string::npos &&
                    reply.front() != ' ' && reply.back() != ' ')
            << reply;
      } catch (const Error& error) {
        ASSERT_EQ(error.kind(), Error::Kind::kDamaged) << error.what();
        ++damaged;
      }
    }
    EXPECT_TRUE(breaks || damaged == 0) << sql;
  }
}

}  // namespace
}  // namespace quibbo::testing
