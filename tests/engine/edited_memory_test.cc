// A memory edited by hand, as the sqlite3 shell allows: replies go on, and
// when a sentence has lost a word the failure says so. No edit may pass for
// another program changing the file.
#include <gtest/gtest.h>

#include "engine/error.h"
#include "engine/reply.h"
#include "tests/support/temp_memory.h"

namespace quibbo {
namespace {

using testing::TempMemory;

struct Edit {
  const char* name;
  const char* sql;
  bool breaks_sentences;  // whether a reply may meet a missing word
};

void PrintTo(const Edit& edit, std::ostream* out) { *out << edit.name; }

class EditedMemoryTest : public ::testing::TestWithParam<Edit> {};

TEST_P(EditedMemoryTest, RepliesOrNamesTheBrokenSentence) {
  TempMemory memory;
  std::vector<std::string> sentences;
  for (int i = 0; i < 60; ++i) {
    sentences.push_back("The cat " + std::to_string(i % 7) + " sat on the " +
                        std::to_string(i % 5) + " mat.");
  }
  memory.Fill(sentences);
  {
    auto file = MemoryFile::Open(memory.path(), MemoryFile::Access::kReadWrite);
    file->connection().Execute(GetParam().sql);
  }
  auto store = Store::Open(memory.path(), Store::Access::kReadWrite);
  SeededRandom random(3);
  int damaged = 0;
  for (int i = 0; i < 300; ++i) {
    Intake intake;
    intake.sentences = {"The cat " + std::to_string(i % 9) + "."};
    intake.seed_word = std::to_string(i % 9);
    intake.fallback_word = "cat";
    try {
      // Every word a walk adds is a stored word, and none is empty here.
      const std::string reply = ComposeReply(*store, random, intake);
      EXPECT_TRUE(!reply.empty() && reply.find("  ") == std::string::npos &&
                  reply.front() != ' ' && reply.back() != ' ')
          << reply;
    } catch (const Error& error) {
      ASSERT_EQ(error.kind(), Error::Kind::kDamaged) << error.what();
      EXPECT_NE(std::string(error.what()).find("unfinished sentence"),
                std::string::npos)
          << error.what();
      ++damaged;
    }
  }
  if (!GetParam().breaks_sentences) {
    EXPECT_EQ(damaged, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Edits, EditedMemoryTest,
    ::testing::Values(
        Edit{"GapsInIds",
             "UPDATE word SET id = id + 1000000;"
             "UPDATE word SET id = (id - 1000000) * 3;",
             false},
        Edit{"ForeignRowsInGaps",
             "UPDATE word SET id = id + 1000000;"
             "UPDATE word SET id = (id - 1000000) * 3;"
             // One-word sentences between the words of others.
             "INSERT INTO word SELECT id + 1, NULL, 'Cat.', NULL, 0 "
             "FROM word WHERE position = 2;",
             false},
        Edit{"DeletedRows", "DELETE FROM word WHERE id % 17 = 3;", true},
        Edit{"ChangedWords",
             "UPDATE word SET middle = 'dog' WHERE id % 13 = 2;", true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quibbo
