#include "tests/reliability/memory_check.h"

#include <fstream>
#include <iterator>
#include <sstream>

#include "engine/engine.h"
#include "engine/sqlite.h"

namespace quibbo::testing {

MemoryState ReadMemory(const std::string& path) {
  // A store of its own registers the collation the indexes need.
  auto store = Store::Open(path, Store::Access::kReadOnly);
  MemoryState state;
  {
    sqlite::Statement check(store->connection(), "PRAGMA integrity_check");
    while (check.Step()) {
      if (!state.integrity.empty()) state.integrity += "\n";
      state.integrity += check.ColumnText(0);
    }
  }
  sqlite::Statement rows(store->connection(),
                         "SELECT id, previous, middle, next, position FROM "
                         "word ORDER BY id");
  while (rows.Step()) {
    state.rows.push_back({rows.ColumnInt(0), rows.ColumnOptionalText(1),
                          rows.ColumnText(2), rows.ColumnOptionalText(3),
                          rows.ColumnInt(4)});
  }
  return state;
}

std::vector<std::string> SentenceProblems(const std::vector<WordRecord>& rows) {
  std::vector<std::string> problems;
  auto complain = [&](const WordRecord& row, const std::string& what) {
    problems.push_back("row " + std::to_string(row.id) + " ('" + row.middle +
                       "'): " + what);
  };
  const WordRecord* before = nullptr;  // the previous row of this sentence
  for (const WordRecord& row : rows) {
    if (before == nullptr) {
      if (row.position != 0) complain(row, "a sentence starts past 0");
      if (row.previous) complain(row, "a first word has a previous word");
    } else {
      if (row.position != before->position + 1) {
        complain(row, "positions do not run on");
      }
      if (row.previous != before->middle) {
        complain(row, "previous is not the word before");
      }
      if (before->next != row.middle) {
        complain(*before, "next is not the word after");
      }
    }
    before = row.next ? &row : nullptr;
  }
  if (before != nullptr) complain(*before, "the last sentence is unfinished");
  return problems;
}

std::vector<std::string> StoredSentences(const std::vector<WordRecord>& rows) {
  std::vector<std::string> sentences;
  std::string sentence;
  for (const WordRecord& row : rows) {
    if (row.position > 0) sentence += " ";
    sentence += row.middle;
    if (!row.next) {
      sentences.push_back(sentence);
      sentence.clear();
    }
  }
  return sentences;
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

bool IsTrouble(const std::string& reply) {
  // Its first sentence and the blank line after it, which no reply composed
  // from lines of input can hold.
  const std::string trouble = TroubleMessage("");
  return reply.rfind(trouble.substr(0, trouble.find("\n\n") + 2), 0) == 0;
}

}  // namespace quibbo::testing
