#include "engine/rows/schema.h"

#include <sqlite3.h>

#include <cctype>
#include <set>

#include "engine/failure/failures.h"
#include "engine/file/memory_file.h"
#include "quibbo/memory.h"

namespace quibbo::schema {
namespace {

// Table word comes first: it is the memory, and the rest serves lookups.
constexpr char kWordSchema[] = R"sql(
CREATE TABLE word (
  id INTEGER PRIMARY KEY,
  previous TEXT COLLATE unicase,
  middle TEXT NOT NULL COLLATE unicase,
  next TEXT COLLATE unicase,
  position INTEGER NOT NULL
);
-- The seed search and the steps of both walks: a forward step's candidates
-- are the rows right after the rows holding the same word pair.
CREATE INDEX word_by_middle ON word (middle, next, position);
)sql";

// Added in version 3, in place of an index of every row by position.
// Moving to the same position in a neighbouring sentence: only the few rows
// far into long sentences are indexed (see kLatePosition).
constexpr char kLatePositionIndex[] = R"sql(
CREATE INDEX IF NOT EXISTS word_by_late_position ON word (position)
  WHERE position >= )sql" QUIBBO_LATE_POSITION R"sql(;
DROP INDEX IF EXISTS word_by_position;
)sql";

// Added in version 4: moving to the same position in a neighbouring
// sentence takes a few lookups here, whatever the sentences' lengths.
constexpr char kSentenceEndIndex[] = R"sql(
CREATE INDEX IF NOT EXISTS word_sentence_end ON word (position)
  WHERE next IS NULL;
)sql";

// Added in version 1.
constexpr char kWordCountSchema[] = R"sql(
CREATE TABLE word_count (
  word TEXT PRIMARY KEY COLLATE unicase,
  count INTEGER NOT NULL
) WITHOUT ROWID;
)sql";

// Added in version 2. They keep word_count exact through any edit another
// program makes: the sqlite3 shell with unicase.so, say. Quibbo's own
// connections turn triggers off and count in batches, which costs learning
// nothing (see memory_file.cc).
constexpr char kCountTriggers[] = R"sql(
CREATE TRIGGER IF NOT EXISTS word_inserted AFTER INSERT ON word BEGIN
  INSERT INTO word_count (word, count) VALUES (new.middle, 1)
    ON CONFLICT (word) DO UPDATE SET count = count + 1;
END;
CREATE TRIGGER IF NOT EXISTS word_deleted AFTER DELETE ON word BEGIN
  UPDATE word_count SET count = count - 1 WHERE word = old.middle;
  DELETE FROM word_count WHERE word = old.middle AND count <= 0;
END;
CREATE TRIGGER IF NOT EXISTS word_changed AFTER UPDATE OF middle ON word BEGIN
  UPDATE word_count SET count = count - 1 WHERE word = old.middle;
  DELETE FROM word_count WHERE word = old.middle AND count <= 0;
  INSERT INTO word_count (word, count) VALUES (new.middle, 1)
    ON CONFLICT (word) DO UPDATE SET count = count + 1;
END;
)sql";

// Added in version 4. INSERT OR REPLACE deletes the row it replaces without
// firing a delete trigger (unless recursive triggers are on, which the
// sqlite3 shell does not turn on): its count goes down beforehand. Any edit
// marks the memory: row 1 of memory_edited, "edited since the last check";
// row 2 is "found inconsistent", which stays until the next edit.
constexpr char kEditTriggers[] = R"sql(
CREATE TABLE IF NOT EXISTS memory_edited (id INTEGER PRIMARY KEY);
CREATE TRIGGER IF NOT EXISTS word_replacing BEFORE INSERT ON word
  WHEN EXISTS (SELECT 1 FROM word WHERE id = new.id) BEGIN
  UPDATE word_count SET count = count - 1
    WHERE word = (SELECT middle FROM word WHERE id = new.id);
  DELETE FROM word_count WHERE count <= 0;
END;
CREATE TRIGGER IF NOT EXISTS word_replacing_by_id BEFORE UPDATE OF id ON word
  WHEN new.id IS NOT old.id AND EXISTS (SELECT 1 FROM word WHERE id = new.id)
  BEGIN
  UPDATE word_count SET count = count - 1
    WHERE word = (SELECT middle FROM word WHERE id = new.id);
  DELETE FROM word_count WHERE count <= 0;
END;
CREATE TRIGGER IF NOT EXISTS word_edited_by_insert AFTER INSERT ON word BEGIN
  INSERT OR IGNORE INTO memory_edited (id) VALUES (1);
END;
CREATE TRIGGER IF NOT EXISTS word_edited_by_delete AFTER DELETE ON word BEGIN
  INSERT OR IGNORE INTO memory_edited (id) VALUES (1);
END;
CREATE TRIGGER IF NOT EXISTS word_edited_by_update AFTER UPDATE ON word BEGIN
  INSERT OR IGNORE INTO memory_edited (id) VALUES (1);
END;
)sql";

// Whether some row disagrees with the row stored right before or after it:
// its neighbour word, its position, or a missing neighbour.
constexpr char kInconsistent[] = R"sql(
SELECT EXISTS (SELECT 1 FROM word AS b LEFT JOIN word AS a ON a.id = b.id - 1
  WHERE b.previous IS NOT NULL AND (a.id IS NULL OR a.next IS NULL
    OR a.middle <> b.previous OR a.next <> b.middle
    OR a.position <> b.position - 1))
OR EXISTS (SELECT 1 FROM word AS a LEFT JOIN word AS b ON b.id = a.id + 1
  WHERE a.next IS NOT NULL AND (b.id IS NULL OR b.previous IS NULL
    OR b.previous <> a.middle OR b.middle <> a.next
    OR b.position <> a.position + 1))
)sql";

// Indexes and counts every word anew, as the collation compares words now:
// words an earlier version held apart may be one now, and keys of one word
// would clash in word_count's own index, so the counts go first. Then in a
// memory of version 0 the words are counted for the first time, in one of
// version 1 because an edit made without the triggers may have left the
// counts behind, and in one of version 3 because INSERT OR REPLACE may have.
constexpr char kReindex[] = R"sql(
DELETE FROM word_count;
REINDEX unicase;
INSERT INTO word_count (word, count)
  SELECT middle, count(*) FROM word GROUP BY middle COLLATE unicase;
)sql";

// Clears the mark of an edit when every row is consistent with its
// neighbours, or keeps it, checked, when some are not; reading every row
// once per edit rather than at every start.
void CheckConsistency(sqlite::Connection& db) {
  db.Execute("DELETE FROM memory_edited;");
  if (db.QueryInt(kInconsistent)) {
    db.Execute("INSERT INTO memory_edited (id) VALUES (2);");
  }
}

void SetVersion(sqlite::Connection& db) {
  db.Execute(
      ("PRAGMA user_version = " + std::to_string(kVersion) + ";").c_str());
}

// Runs `body` in a write transaction, rolled back if it throws.
template <typename Body>
void InWriteTransaction(sqlite::Connection& db, Body&& body) {
  db.Execute("BEGIN IMMEDIATE;");
  try {
    body();
    db.Execute("COMMIT;");
  } catch (...) {
    sqlite3_exec(db.handle(), "ROLLBACK;", nullptr, nullptr, nullptr);
    throw;
  }
}

}  // namespace

void Create(sqlite::Connection& db) {
  InWriteTransaction(db, [&] {
    db.Execute(kWordSchema);
    db.Execute(kLatePositionIndex);
    db.Execute(kSentenceEndIndex);
    db.Execute(kWordCountSchema);
    db.Execute(kCountTriggers);
    db.Execute(kEditTriggers);
    SetVersion(db);
  });
}

void Check(sqlite::Connection& db, const std::string& path) {
  sqlite::Statement columns(db, "PRAGMA table_info(word)");
  std::set<std::string> missing = {"id", "previous", "middle", "next",
                                   "position"};
  bool any = false;
  while (columns.Step()) {
    any = true;
    std::string name = columns.ColumnText(1);
    for (char& c : name) c = static_cast<char>(std::tolower(c));
    missing.erase(name);
  }
  if (!any) throw WithoutTableWord(path);
  if (!missing.empty()) {
    std::string names;
    for (const std::string& name : missing) {
      names += (names.empty() ? "" : ", ") + name;
    }
    throw LacksColumns(path, names);
  }
}

int64_t Version(sqlite::Connection& db) {
  return db.QueryInt("PRAGMA user_version");
}

void Upgrade(sqlite::Connection& db) {
  constexpr char kUnchecked[] =
      "SELECT EXISTS (SELECT 1 FROM memory_edited WHERE id = 1)";
  if (Version(db) >= kVersion && !db.QueryInt(kUnchecked)) return;
  InWriteTransaction(db, [&] {
    // Another program may have done it while this one waited.
    const int64_t version = Version(db);
    if (version >= kVersion) {
      if (db.QueryInt(kUnchecked)) CheckConsistency(db);
      return;
    }
    if (version < 1) {
      db.Execute(kWordCountSchema);
      // Forward steps use word_by_middle now.
      db.Execute("DROP INDEX IF EXISTS word_by_previous;");
    }
    if (version < 2) db.Execute(kCountTriggers);
    if (version < 3) db.Execute(kLatePositionIndex);
    if (version < 4) {
      db.Execute(kSentenceEndIndex);
      db.Execute(kEditTriggers);
    }
    if (version < kUnicodeFormsVersion) db.Execute(kReindex);
    if (version < kMarkedVersion || db.QueryInt(kUnchecked)) {
      CheckConsistency(db);
    }
    SetVersion(db);
  });
}

}  // namespace quibbo::schema

namespace quibbo {

void CreateMemory(const std::string& path) {
  MemoryFile::Create(path, schema::Create);
}

}  // namespace quibbo
