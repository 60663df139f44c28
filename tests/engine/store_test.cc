#include "engine/store.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>

#include "engine/error.h"
#include "tests/support/engine_peer.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_memory.h"

namespace quibbo {
namespace {

using ::testing::HasSubstr;
using testing::TempMemory;

std::string OpenError(const std::string& path) {
  try {
    Store::Open(path, Store::Access::kReadWrite);
  } catch (const Error& error) {
    return error.description();
  }
  return "(opened)";
}

TEST(StoreOpenTest, RefusesWhatIsNotAMemoryAndCreatesNothing) {
  TempMemory memory;
  const std::string folder = memory.folder();

  const std::string missing = folder + "/missing.mdb";
  EXPECT_THAT(OpenError(missing), HasSubstr(missing + " does not exist"));
  EXPECT_FALSE(std::filesystem::exists(missing));

  std::filesystem::create_directory(folder + "/dir.mdb");
  EXPECT_THAT(OpenError(folder + "/dir.mdb"), HasSubstr("is a folder"));

  std::ofstream(folder + "/text.mdb") << "just some text, long enough to "
                                         "be read as a header by SQLite......";
  EXPECT_THAT(OpenError(folder + "/text.mdb"),
              HasSubstr("is not an SQLite database"));

  {
    sqlite::Connection other(folder + "/other.mdb",
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    other.Execute("CREATE TABLE notes (text TEXT);");
  }
  EXPECT_THAT(OpenError(folder + "/other.mdb"), HasSubstr("no table word"));

  {
    sqlite::Connection partial(folder + "/partial.mdb",
                               SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    partial.Execute("CREATE TABLE word (id INTEGER PRIMARY KEY, middle TEXT);");
  }
  EXPECT_THAT(OpenError(folder + "/partial.mdb"),
              HasSubstr("lacks the column(s) next, position, previous"));
}

TEST(StoreCreateTest, NeverOverwritesAnExistingFile) {
  TempMemory memory;
  memory.Fill({"Keep me."});
  EXPECT_THROW(MemoryFile::Create(memory.path()), Error);
  EXPECT_EQ(memory.Rows().size(), 2u);
}

TEST(StoreCreateTest, StockSqliteShellReadsTheMemory) {
  const std::string shell = "/usr/bin/sqlite3";
  if (!std::filesystem::exists(shell)) GTEST_SKIP() << "no sqlite3 shell";
  TempMemory memory;
  memory.Fill({"Hello \"next\" there."});
  testing::ProgramResult result =
      testing::RunProgram(shell, {memory.path(), "SELECT * FROM word"});
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(result.out,
            "1||Hello|\"next\"|0\n2|Hello|\"next\"|there.|1\n"
            "3|\"next\"|there.||2\n");
}

class StoreQueryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    memory_.Fill({"Über die Brücke.", "über alles.", "Дом дом."});
    store_ = Store::Open(memory_.path(), Store::Access::kReadWrite);
  }
  TempMemory memory_;
  std::unique_ptr<Store> store_;
};

TEST_F(StoreQueryTest, WordsMatchWithoutRegardToCase) {
  EXPECT_EQ(store_->CountWord("ÜBER"), 2);
  EXPECT_EQ(store_->CountWord("дом"), 1);
  EXPECT_EQ(store_->CountWord("ДОМ."), 1);
  EXPECT_EQ(store_->NextIdWithWord("über", 1), 4);
  EXPECT_EQ(store_->NextIdWithWord("über", 4), std::nullopt);
  EXPECT_EQ(store_->LastIdWithWord("ÜBER"), 4);
  // Backward from 'die': rows holding 'über' followed by 'die'.
  WordRecord die = store_->Row(2);
  EXPECT_EQ(testing::StepIds(*store_, Direction::kBackward, die),
            std::vector<int64_t>{1});
  // Forward from 'über' (row 4): rows holding 'alles.' after 'über'.
  EXPECT_EQ(testing::StepIds(*store_, Direction::kForward, store_->Row(4)),
            std::vector<int64_t>{5});
}

TEST_F(StoreQueryTest, RowsAreFoundAlsoWhenIdsHaveGaps) {
  // A memory edited by hand may lack rows; the k-th row is still the k-th.
  store_->file().connection().Execute("DELETE FROM word WHERE id IN (2, 5);");
  EXPECT_EQ(store_->RowCount(), 5);
  std::vector<int64_t> ids;
  for (int64_t k = 0; k < 5; ++k) ids.push_back(store_->IdOfRow(k));
  EXPECT_EQ(ids, (std::vector<int64_t>{1, 3, 4, 6, 7}));
}

TEST_F(StoreQueryTest, RowCountFollowsOtherWriters) {
  EXPECT_EQ(store_->RowCount(), 7);
  memory_.Fill({"One more."});
  EXPECT_EQ(store_->RowCount(), 9);
  EXPECT_EQ(store_->IdOfRow(8), 9);
}

TEST_F(StoreQueryTest, RolledBackRowsAreNotCounted) {
  {
    Store::Transaction transaction(*store_, Store::Transaction::Kind::kWrite);
    store_->Append({0, std::nullopt, "Gone.", std::nullopt, 0});
    EXPECT_EQ(store_->RowCount(), 8);
  }
  EXPECT_EQ(store_->RowCount(), 7);
}

}  // namespace
}  // namespace quibbo
