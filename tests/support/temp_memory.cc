#include "tests/support/temp_memory.h"

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>

#include "engine/learner.h"

namespace quibbo::testing {

TempMemory::TempMemory() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "quibbo-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot create a temporary folder");
  }
  folder_ = pattern;
  path_ = folder_ + "/qvd.mdb";
  MemoryFile::Create(path_);
}

TempMemory::~TempMemory() {
  std::error_code ignored;
  std::filesystem::permissions(folder_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(folder_, ignored);
}

std::vector<WordRecord> TempMemory::Rows() const {
  auto file = MemoryFile::Open(path_, MemoryFile::Access::kReadOnly);
  sqlite::Statement select(
      file->connection(),
      "SELECT id, previous, middle, next, position FROM word ORDER BY id");
  std::vector<WordRecord> rows;
  while (select.Step()) {
    rows.push_back({select.ColumnInt(0), select.ColumnOptionalText(1),
                    select.ColumnText(2), select.ColumnOptionalText(3),
                    select.ColumnInt(4)});
  }
  return rows;
}

void TempMemory::Fill(const std::vector<std::string>& sentences) const {
  auto store = Store::Open(path_, Store::Access::kReadWrite);
  Store::Transaction transaction(*store, Store::Transaction::Kind::kWrite);
  for (const std::string& sentence : sentences) {
    for (const WordRecord& record : SentenceRecords(sentence)) {
      store->Append(record);
    }
  }
  transaction.Commit();
}

}  // namespace quibbo::testing
