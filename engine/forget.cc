#include "engine/forget.h"

#include <limits>
#include <map>

#include "engine/store.h"
#include "engine/text.h"

namespace quibbo {
namespace {

using sqlite::Statement;

struct UnicaseLess {
  bool operator()(const std::string& a, const std::string& b) const {
    return CompareIgnoringCase(a, b) < 0;
  }
};

// Rows removed per word, letter case ignored.
using Tally = std::map<std::string, int64_t, UnicaseLess>;

// The sentences of one snapshot that hold any of some words, as id ranges
// [first, end) in id order.
class Doomed {
 public:
  Doomed(sqlite::Connection& db, const std::vector<std::string>& words)
      : db_(db) {
    Statement ids(db, "SELECT id FROM word WHERE middle = ?1 COLLATE unicase");
    for (const std::string& word : words) {
      // The last word of a sentence carries its full stop.
      std::string bare = word;
      if (!bare.empty() && bare.back() == '.') bare.pop_back();
      for (const std::string& form : {bare, bare + "."}) {
        sqlite::ScopedReset scope(ids);
        ids.Bind(1, std::string_view(form));
        while (ids.Step()) Cover(ids.ColumnInt(0));
      }
    }
  }

  // Calls `each` with the id and word of every row to delete, in id order.
  template <typename Each>
  void ForEachRow(Each&& each) {
    Statement rows(db_,
                   "SELECT id, middle FROM word WHERE id >= ?1 AND id < ?2 "
                   "ORDER BY id");
    for (const auto& [first, end] : ranges_) {
      sqlite::ScopedReset scope(rows);
      rows.Bind(1, first).Bind(2, end);
      while (rows.Step()) each(first, rows.ColumnText(1));
    }
  }

  void Delete() {
    Statement remove(db_, "DELETE FROM word WHERE id >= ?1 AND id < ?2");
    for (const auto& [first, end] : ranges_) {
      sqlite::ScopedReset scope(remove);
      remove.Bind(1, first).Bind(2, end);
      remove.Run();
    }
  }

  int64_t sentences() const { return static_cast<int64_t>(ranges_.size()); }

 private:
  // Adds the sentence holding row `id`, unless it is in already.
  void Cover(int64_t id) {
    auto after = ranges_.upper_bound(id);
    if (after != ranges_.begin() && id < std::prev(after)->second) return;
    // Rows before the first row at position 0 (an edit by hand) make a
    // sentence of their own.
    ranges_[Bound(start_, id, std::numeric_limits<int64_t>::min())] =
        Bound(end_, id, std::numeric_limits<int64_t>::max());
  }

  static int64_t Bound(Statement& bound, int64_t id, int64_t otherwise) {
    sqlite::ScopedReset scope(bound);
    bound.Bind(1, id);
    return bound.Step() && !bound.ColumnIsNull(0) ? bound.ColumnInt(0)
                                                  : otherwise;
  }

  sqlite::Connection& db_;
  Statement start_{db_,
                   "SELECT max(id) FROM word WHERE position = 0 AND id <= ?1"};
  Statement end_{db_,
                 "SELECT min(id) FROM word WHERE position = 0 AND id > ?1"};
  std::map<int64_t, int64_t> ranges_;
};

}  // namespace

ForgetFigures PreviewForget(const std::string& memory_path,
                            const std::vector<std::string>& words,
                            size_t examples) {
  Store store(MemoryFile::Open(memory_path, MemoryFile::Access::kReadOnly));
  MemoryFile& file = store.file();
  return file.Guard([&] {
    Store::Transaction snapshot(store, Store::Transaction::Kind::kRead);
    Doomed doomed(file.connection(), words);
    ForgetFigures figures;
    figures.sentences = doomed.sentences();
    int64_t sentence = -1;
    bool shown = false;
    doomed.ForEachRow([&](int64_t first, const std::string& word) {
      ++figures.rows;
      if (first != sentence) {
        sentence = first;
        shown = figures.examples.size() < examples;
        if (shown) figures.examples.push_back(word);
      } else if (shown) {
        figures.examples.back() += " " + word;
      }
    });
    snapshot.Commit();
    return figures;
  });
}

ForgetFigures Forget(const std::string& memory_path,
                     const std::vector<std::string>& words) {
  Store store(MemoryFile::Open(memory_path, MemoryFile::Access::kReadWrite));
  MemoryFile& file = store.file();
  return file.Guard([&] {
    Store::Transaction transaction(store, Store::Transaction::Kind::kWrite);
    sqlite::Connection& db = file.connection();
    Doomed doomed(db, words);
    ForgetFigures figures;
    figures.sentences = doomed.sentences();
    Tally removed;
    doomed.ForEachRow([&](int64_t, const std::string& word) {
      ++figures.rows;
      ++removed[word];
    });
    doomed.Delete();
    if (file.counted()) {
      Statement lower(db,
                      "UPDATE word_count SET count = count - ?2 "
                      "WHERE word = ?1 COLLATE unicase");
      Statement drop(db,
                     "DELETE FROM word_count "
                     "WHERE word = ?1 COLLATE unicase AND count <= 0");
      for (const auto& [word, count] : removed) {
        for (Statement* statement : {&lower, &drop}) {
          sqlite::ScopedReset scope(*statement);
          statement->Bind(1, std::string_view(word));
          if (statement == &lower) statement->Bind(2, count);
          statement->Run();
        }
      }
    }
    transaction.Commit();
    return figures;
  });
}

}  // namespace quibbo
