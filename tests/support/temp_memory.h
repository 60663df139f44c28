// Test support: a fresh memory in a temporary folder of its own, the ways
// tests fill it and look into it from outside the engine, and lines for
// tests to say with the sentences and rows learning makes of them.
#ifndef QUIBBO_TESTS_SUPPORT_TEMP_MEMORY_H_
#define QUIBBO_TESTS_SUPPORT_TEMP_MEMORY_H_

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <utf8proc.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "engine/file/sqlite.h"
#include "engine/language/learner.h"
#include "engine/rows/store.h"
#include "engine/text/text.h"
#include "engine/text/unicase.h"
#include "quibbo/engine.h"
#include "quibbo/learn.h"

namespace quibbo::testing {

using Strings = std::vector<std::string>;

// The content of a file; empty when there is none.
inline std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class TempMemory {
 public:
  // Creates a memory named qvd.mdb that learned `lines`, in a new temporary
  // folder, and removes the folder and all in it when destroyed.
  explicit TempMemory(const Strings& lines = {})
      : folder_((std::filesystem::temp_directory_path() / "quibbo-test-XXXXXX")
                    .string()) {
    if (!mkdtemp(folder_.data()))
      throw std::filesystem::filesystem_error("", {});
    path_ = folder_ + "/qvd.mdb";
    CreateMemory(path_);
    if (!lines.empty()) Fill(lines);
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

  // A connection of its own, which knows the memory's collation, once it
  // ran `sql`: as another program, holding a lock ("BEGIN IMMEDIATE;") or
  // a read of the log ("BEGIN; SELECT count(*) FROM word;") until reset.
  std::unique_ptr<sqlite::Connection> Connect(
      const std::string& sql = "") const {
    auto db =
        std::make_unique<sqlite::Connection>(path_, SQLITE_OPEN_READWRITE);
    // A program under test may be writing; wait for it as Quibbo does.
    sqlite3_busy_timeout(db->handle(), 5000);
    sqlite3_create_collation(db->handle(), kUnicaseCollation, SQLITE_UTF8,
                             nullptr, CollateUnicase);
    if (!sql.empty()) db->Execute(sql.c_str());
    return db;
  }
  void Execute(const std::string& s) const { Connect()->Execute(s.c_str()); }

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
    EXPECT_EQ(Connect()->QueryInt("SELECT integrity_check = 'ok' FROM "
                                  "pragma_integrity_check"),
              1)
        << path_;
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

// Words whose kept count is missing, wrong or left over; 0 when exact.
inline int64_t MiscountedWords(const TempMemory& memory) {
  return memory.Connect()->QueryInt(R"(
      SELECT count(*) FROM word_count AS kept FULL JOIN (SELECT middle AS word,
        count(*) AS count FROM word GROUP BY middle COLLATE unicase) AS recount
      USING (word, count) WHERE kept.word IS NULL OR recount.word IS NULL)");
}

// `text` in Unicode's composed form (NFC), or with `decomposed` in its
// decomposed form (NFD), as utf8proc makes them; `text` must be valid.
inline std::string Form(const std::string& text, bool decomposed = false) {
  auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.c_str());
  std::unique_ptr<utf8proc_uint8_t, decltype(&free)> form(
      decomposed ? utf8proc_NFD(bytes) : utf8proc_NFC(bytes), &free);
  return reinterpret_cast<const char*>(form.get());
}

// `count` lines of two or three sentences, each sentence in no other line.
inline Strings Script(const std::string& tag, int count) {
  Strings script;
  for (int i = 0; i < count; ++i) {
    const std::string n = tag + std::to_string(i);
    script.push_back(n + " says hello. and " + n + " says more" +
                     (i % 3 ? ". then " + n + " ends" : ""));
  }
  return script;
}

// `count` lines of `fewest` to `most` words drawn from `pool`, one space
// between two words, as a generator seeded with `seed` draws them.
inline Strings RandomLines(unsigned seed, int count, const Strings& pool,
                           int fewest, int most) {
  std::mt19937 random(seed);
  Strings lines(count);
  for (std::string& line : lines)
    for (int words = fewest + random() % (most - fewest + 1); words > 0;
         --words)
      line += pool[random() % pool.size()] + (words > 1 ? " " : "");
  return lines;
}

// The sentences learning makes of `lines`, in order.
inline Strings SentencesOf(const Strings& lines) {
  Strings sentences;
  for (const std::string& line : lines) {
    std::ranges::copy_if(CutSentences(line), std::back_inserter(sentences),
                         [](const std::string& s) { return !s.empty(); });
  }
  return sentences;
}

// The rows learning stores for a line of valid text: one per word of each
// of its sentences.
inline int64_t RowsLearnedFrom(std::string_view line) {
  int64_t rows = 0;
  for (const std::string& s : SentencesOf({std::string(line)}))
    rows += 1 + std::ranges::count(s, ' ');
  return rows;
}

}  // namespace quibbo::testing

#endif  // QUIBBO_TESTS_SUPPORT_TEMP_MEMORY_H_
