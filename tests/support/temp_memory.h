// Test support: a fresh memory in a temporary folder of its own, and the
// ways tests fill it and look into it from outside the engine.
#ifndef QUIBBO_TESTS_SUPPORT_TEMP_MEMORY_H_
#define QUIBBO_TESTS_SUPPORT_TEMP_MEMORY_H_

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "engine/bulk_learner.h"
#include "engine/sqlite.h"
#include "engine/store.h"
#include "engine/unicase.h"

namespace quibbo::testing {

using Strings = std::vector<std::string>;

// The content of a file; empty when there is none.
inline std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class TempMemory {
 public:
  // Creates an empty memory named qvd.mdb in a new temporary folder, and
  // removes the folder and all in it when destroyed.
  TempMemory()
      : folder_((std::filesystem::temp_directory_path() / "quibbo-test-XXXXXX")
                    .string()) {
    if (!mkdtemp(folder_.data()))
      throw std::filesystem::filesystem_error("", {});
    path_ = folder_ + "/qvd.mdb";
    MemoryFile::Create(path_);
  }
  ~TempMemory() {
    namespace fs = std::filesystem;
    std::error_code ignored;  // a test may have left the folder read-only
    fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add,
                    ignored);
    fs::remove_all(folder_, ignored);
  }
  TempMemory(const TempMemory&) = delete;
  TempMemory& operator=(const TempMemory&) = delete;

  const std::string& folder() const { return folder_; }
  const std::string& path() const { return path_; }

  // Learns `lines` as `quibbo-cli learn` does, without replying.
  void Fill(const Strings& lines) const {
    auto store = Store::Open(path_, Store::Access::kReadWrite);
    BulkLearner learner(*store);
    for (const std::string& line : lines) learner.Learn(line);
    learner.Commit();
  }

  // A connection of its own, which knows the memory's collation.
  std::unique_ptr<sqlite::Connection> Connect() const {
    auto db =
        std::make_unique<sqlite::Connection>(path_, SQLITE_OPEN_READWRITE);
    // A program under test may be writing; wait for it as Quibbo does.
    sqlite3_busy_timeout(db->handle(), 5000);
    sqlite3_create_collation(db->handle(), kUnicaseCollation, SQLITE_UTF8,
                             nullptr, CollateUnicase);
    return db;
  }
  void Execute(const char* sql) const { Connect()->Execute(sql); }

  // Every row, in id order.
  std::vector<WordRecord> Rows() const {
    auto db = Connect();
    sqlite::Statement select(*db, "SELECT * FROM word ORDER BY id");
    std::vector<WordRecord> rows;
    while (select.Step()) {
      rows.push_back({select.ColumnInt(0), select.ColumnOptionalText(1),
                      select.ColumnText(2), select.ColumnOptionalText(3),
                      select.ColumnInt(4)});
    }
    return rows;
  }

  // The stored sentences from row `skip` on, words joined by spaces, once
  // checked that the file is sound and every sentence in it whole.
  Strings Sentences(size_t skip = 0) const {
    auto db = Connect();
    sqlite::Statement check(*db, "PRAGMA integrity_check");
    EXPECT_TRUE(check.Step() && check.ColumnText(0) == "ok") << path_;
    const std::vector<WordRecord> rows = Rows();
    Strings sentences;
    std::string sentence;
    for (size_t i = 0; i < rows.size(); ++i) {
      // Each row starts a sentence or goes on with the one of the row before.
      const WordRecord& row = rows[i];
      const WordRecord* before = i > 0 && rows[i - 1].next ? &rows[i - 1] : 0;
      if (before
              ? row.position != before->position + 1 ||
                    row.previous != before->middle || before->next != row.middle
              : row.position != 0 || row.previous) {
        ADD_FAILURE() << "row " << row.id << " does not go on with a sentence";
        break;
      }
      sentence += (before ? " " : "") + row.middle;
      if (!row.next && i >= skip) sentences.push_back(sentence);
      if (!row.next) sentence.clear();
    }
    EXPECT_TRUE(rows.empty() || !rows.back().next) << "unfinished sentence";
    return sentences;
  }

 private:
  std::string folder_, path_;
};

}  // namespace quibbo::testing

#endif  // QUIBBO_TESTS_SUPPORT_TEMP_MEMORY_H_
