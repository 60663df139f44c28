#include "bench/learning.h"

#include <sqlite3.h>

#include <vector>

#include "bench/figures.h"
#include "engine/file/sqlite.h"
#include "engine/language/learner.h"
#include "engine/text/text.h"
#include "quibbo/learn.h"

namespace quibbo::bench {

LearnRun BulkLearn(const Corpus& corpus, const std::string& path,
                   int64_t rows) {
  RemoveMemory(path);
  CreateMemory(path);
  LineSource lines(corpus);
  Clock::time_point start = Clock::now();
  int64_t words = 0;
  {
    auto store =
        Store::Open(path, Store::Access::kReadWrite, kBulkStoreOptions);
    BulkLearner learner(*store);
    while (learner.learned().words < rows) {
      const std::string& line = lines.Next();
      if (IsValidUtf8(line)) learner.Learn(line);
    }
    learner.Commit();
    words = learner.committed().words;
    // Closing copies the write-ahead log into the file: part of the work.
  }
  return {words, Seconds(Clock::now() - start)};
}

LearnRun RawSqlite(const Corpus& corpus, const std::string& path,
                   int64_t rows) {
  std::vector<WordRecord> records;
  LineSource lines(corpus);
  while (static_cast<int64_t>(records.size()) < rows) {
    for (const std::string& sentence : CutSentences(lines.Next())) {
      if (sentence.empty()) continue;
      for (WordRecord& record : SentenceRecords(sentence)) {
        records.push_back(std::move(record));
      }
    }
  }
  RemoveMemory(path);
  Clock::time_point start = Clock::now();
  {
    sqlite::Connection db(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    db.Execute(
        "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;"
        "PRAGMA cache_size = -262144;"
        "CREATE TABLE word (id INTEGER PRIMARY KEY, previous TEXT, "
        "middle TEXT NOT NULL, next TEXT, position INTEGER NOT NULL);"
        "BEGIN;");
    sqlite::Statement insert(db,
                             "INSERT INTO word (previous, middle, next, "
                             "position) VALUES (?, ?, ?, ?)");
    for (const WordRecord& record : records) {
      insert.Bind(1, record.previous)
          .Bind(2, std::string_view(record.middle))
          .Bind(3, record.next)
          .Bind(4, record.position);
      insert.Run();
      insert.Reset();
    }
    db.Execute("COMMIT;");
  }
  double seconds = Seconds(Clock::now() - start);
  RemoveMemory(path);
  return {static_cast<int64_t>(records.size()), seconds};
}

}  // namespace quibbo::bench
