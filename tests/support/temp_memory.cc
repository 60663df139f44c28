#include "tests/support/temp_memory.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine/bulk_learner.h"
#include "engine/unicase.h"

namespace quibbo::testing {

namespace fs = std::filesystem;

TempMemory::TempMemory()
    : folder_((fs::temp_directory_path() / "quibbo-test-XXXXXX").string()) {
  if (mkdtemp(folder_.data()) == nullptr) throw fs::filesystem_error("", {});
  path_ = folder_ + "/qvd.mdb";
  MemoryFile::Create(path_);
}

TempMemory::~TempMemory() {
  std::error_code ignored;  // a test may have left the folder read-only
  fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add,
                  ignored);
  fs::remove_all(folder_, ignored);
}

void TempMemory::Fill(const Strings& lines) const {
  auto store = Store::Open(path_, Store::Access::kReadWrite);
  BulkLearner learner(*store);
  for (const std::string& line : lines) learner.Learn(line);
  learner.Commit();
}

std::unique_ptr<sqlite::Connection> TempMemory::Connect() const {
  auto db = std::make_unique<sqlite::Connection>(path_, SQLITE_OPEN_READWRITE);
  // A program under test may be writing; wait for it as Quibbo does.
  sqlite3_busy_timeout(db->handle(), 5000);
  sqlite3_create_collation(db->handle(), kUnicaseCollation, SQLITE_UTF8,
                           nullptr, CollateUnicase);
  return db;
}

std::vector<WordRecord> TempMemory::Rows() const {
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

Strings TempMemory::Sentences(size_t skip) const {
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

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace quibbo::testing
