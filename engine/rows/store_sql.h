// Every SQL statement the store runs, beside the id it is prepared under.
// Only the store's own files include this; the rest of the engine asks the
// store.
//
// Reads name `word` and `word_count` without a schema: on a connection that
// holds rows not stored yet, TEMP views of those names put them beside the
// stored rows (kShowPending), so every read is written once. Writes name
// main.word and main.word_count, which the views never hide.
#ifndef QUIBBO_ENGINE_ROWS_STORE_SQL_H_
#define QUIBBO_ENGINE_ROWS_STORE_SQL_H_

#include <iterator>

#include "engine/rows/schema.h"

namespace quibbo::store_sql {

#define QUIBBO_ROW "id, previous, middle, next, position"

enum StatementId : int {
  kInsert,
  kDeleteAll,
  kDeleteCounts,
  kCountAll,
  kCountUpTo,
  kIdRange,
  kIdAtOffset,
  kRow,
  kRowAfter,
  kNextWithWord,
  kLastWithWord,
  kPreviousAtPosition,
  kNextAtPosition,
  kPreviousAtLatePosition,
  kNextAtLatePosition,
  kPreviousSentenceEnd,
  kNextSentenceEnd,
  kCountWord,
  kCountedWord,
  kAddCount,
  kBackwardIds,
  kForwardBeforeIds,
  kForwardIds,
  kHasId,
  kNextWithWordNear,
  kDropCount,
  kRowsInOrder,
  kRowsInSpan,
  kIdsWithWord,
  kSentenceStartAtOrBefore,
  kSentenceStartAfter,
  kDeleteSpan,
  kCountSentences,
  kCountedWords,
  kCountCountedWords,
  kMostCountedWords,
  kWordGroups,
  kEdited,
  kForgetEdits,
  kInsertPending,
  kPendingShift,
  kNegatePendingIds,
  kShiftPendingIds,
  kPendingRows,
  kPendingLines,
  kDeletePending,
  kHoldSnapshot,
  kRowsFrom,
  kStatementCount,
};

struct StatementText {
  StatementId id;
  const char* sql;
};

inline constexpr StatementText kStatements[] = {
    {kInsert,
     "INSERT INTO main.word (previous, middle, next, position) "
     "VALUES (?, ?, ?, ?)"},
    {kDeleteAll, "DELETE FROM main.word"},
    {kDeleteCounts, "DELETE FROM main.word_count"},
    {kCountAll, "SELECT count(*) FROM word"},
    {kCountUpTo, "SELECT count(*) FROM (SELECT 1 FROM word LIMIT ?1)"},
    // ORDER BY ... LIMIT 1 rather than min() and max(): through the views the
    // two sides are merged in id order, where an aggregate reads them all.
    {kIdRange,
     "SELECT (SELECT id FROM word ORDER BY id LIMIT 1), "
     "(SELECT id FROM word ORDER BY id DESC LIMIT 1)"},
    {kIdAtOffset, "SELECT id FROM word ORDER BY id LIMIT 1 OFFSET ?"},
    {kRow, "SELECT " QUIBBO_ROW " FROM word WHERE id = ?"},
    {kRowAfter,
     "SELECT " QUIBBO_ROW " FROM word WHERE id > ? ORDER BY id LIMIT 1"},
    {kNextWithWord,
     "SELECT min(id) FROM word WHERE middle = ?1 COLLATE unicase AND id > ?2"},
    {kLastWithWord,
     "SELECT max(id) FROM word WHERE middle = ?1 COLLATE unicase"},
    // Reading the rows on from id ?2, or through an index of every row by
    // position in a memory of an earlier version: the last resort.
    {kPreviousAtPosition,
     "SELECT id FROM word WHERE position = ?1 AND id < ?2 "
     "ORDER BY id DESC LIMIT 1"},
    {kNextAtPosition,
     "SELECT id FROM word WHERE position = ?1 AND id > ?2 ORDER BY id LIMIT 1"},
    // The same through the index of late positions.
    {kPreviousAtLatePosition,
     "SELECT id FROM word WHERE position = ?1 AND id < ?2 AND "
     "position >= " QUIBBO_LATE_POSITION " ORDER BY id DESC LIMIT 1"},
    {kNextAtLatePosition,
     "SELECT id FROM word WHERE position = ?1 AND id > ?2 AND "
     "position >= " QUIBBO_LATE_POSITION " ORDER BY id LIMIT 1"},
    // A sentence's last row at ?1, through the index of those rows.
    {kPreviousSentenceEnd,
     "SELECT id FROM word WHERE position = ?1 AND next IS NULL AND id < ?2 "
     "ORDER BY id DESC LIMIT 1"},
    {kNextSentenceEnd,
     "SELECT id FROM word WHERE position = ?1 AND next IS NULL AND id > ?2 "
     "ORDER BY id LIMIT 1"},
    // A read-only memory of an earlier version keeps no counts.
    {kCountWord, "SELECT count(*) FROM word WHERE middle = ?1 COLLATE unicase"},
    // A word's stored count, plus its rows not stored yet through the view.
    {kCountedWord,
     "SELECT sum(count) FROM word_count WHERE word = ?1 COLLATE unicase"},
    {kAddCount,
     "INSERT INTO main.word_count (word, count) VALUES (?1, ?2) "
     "ON CONFLICT (word) DO UPDATE SET count = count + excluded.count"},
    // Walk steps. ?1 and ?2 are the word pair, ?3 the position bound.
    {kBackwardIds,
     "SELECT id, position FROM word WHERE middle = ?1 COLLATE unicase AND "
     "next = ?2 COLLATE unicase AND position <= ?3 ORDER BY position, id"},
    // The rows before the forward candidates hold the same pair as middle
    // and next, one position earlier: the index on (middle, next, position)
    // alone finds them, without reading the table.
    {kForwardBeforeIds,
     "SELECT id, position FROM word WHERE middle = ?1 COLLATE unicase AND "
     "next = ?2 COLLATE unicase AND position >= ?3 - 1 ORDER BY position, id"},
    // The candidates themselves, for a memory where the above misleads.
    {kForwardIds,
     "SELECT id, position FROM word WHERE previous = ?1 COLLATE unicase AND "
     "middle = ?2 COLLATE unicase AND position >= ?3 ORDER BY position, id"},
    {kHasId, "SELECT 1 FROM word WHERE id = ?"},
    // The same search within ids ?2 + 1 to ?3, reading the rows in id order:
    // the unary + keeps the index on middle out of it.
    {kNextWithWordNear,
     "SELECT min(id) FROM word WHERE id > ?2 AND id <= ?3 AND "
     "+middle = ?1 COLLATE unicase"},
    {kDropCount,
     "DELETE FROM main.word_count WHERE word = ?1 COLLATE unicase AND "
     "count <= 0"},
    // Sentence by sentence: a row at position 0 starts a sentence.
    {kRowsInOrder, "SELECT middle, position FROM word ORDER BY id"},
    {kRowsInSpan,
     "SELECT middle, position FROM word WHERE id >= ?1 AND id < ?2 "
     "ORDER BY id"},
    {kIdsWithWord, "SELECT id FROM word WHERE middle = ?1 COLLATE unicase"},
    // Reading the rows from ?1 back, or on, to the nearest sentence start.
    {kSentenceStartAtOrBefore,
     "SELECT id FROM word WHERE position = 0 AND id <= ?1 "
     "ORDER BY id DESC LIMIT 1"},
    {kSentenceStartAfter,
     "SELECT id FROM word WHERE position = 0 AND id > ?1 ORDER BY id LIMIT 1"},
    {kDeleteSpan, "DELETE FROM main.word WHERE id >= ?1 AND id < ?2"},
    // The rows before the first row at position 0 (an edit by hand) make a
    // sentence of their own, as the statements above read them.
    {kCountSentences,
     "SELECT count(*) + coalesce((SELECT position <> 0 FROM word ORDER BY id "
     "LIMIT 1), 0) FROM word WHERE position = 0"},
    // Distinct words, from the counts, in word order.
    {kCountedWords, "SELECT word, count FROM word_count WHERE count > 0"},
    {kCountCountedWords, "SELECT count(*) FROM word_count WHERE count > 0"},
    {kMostCountedWords,
     "SELECT word, count FROM word_count WHERE count > 0 "
     "ORDER BY count DESC, word LIMIT ?1"},
    // The same from the rows, for a memory of an earlier version read as it
    // is. Of a word's spellings, the greatest in byte order is shown: the
    // one in lower case, where there is one.
    {kWordGroups,
     "SELECT max(middle COLLATE BINARY), count(*) FROM word "
     "GROUP BY middle COLLATE unicase"},
    {kEdited, "SELECT EXISTS (SELECT 1 FROM memory_edited)"},
    {kForgetEdits, "DELETE FROM memory_edited"},
    // Rows not stored yet (kPendingTable), numbered on from the newest row.
    {kInsertPending,
     "INSERT INTO temp.pending_word (id, previous, middle, next, position, "
     "line) VALUES ((SELECT coalesce(max(id), 0) + 1 FROM (SELECT max(id) AS "
     "id FROM main.word UNION ALL SELECT max(id) FROM temp.pending_word)), "
     "?1, ?2, ?3, ?4, ?5)"},
    // How far the rows not stored yet must move to follow the newest stored
    // row at once; Null when there is none. They move in two steps, as ids
    // are unique at every step.
    {kPendingShift,
     "SELECT coalesce((SELECT max(id) FROM main.word), 0) + 1 - "
     "(SELECT min(id) FROM temp.pending_word)"},
    {kNegatePendingIds, "UPDATE temp.pending_word SET id = -id"},
    {kShiftPendingIds, "UPDATE temp.pending_word SET id = ?1 - id"},
    {kPendingRows,
     "SELECT previous, middle, next, position, line FROM temp.pending_word "
     "ORDER BY id"},
    {kPendingLines, "SELECT count(DISTINCT line) FROM temp.pending_word"},
    {kDeletePending, "DELETE FROM temp.pending_word"},
    // Stepped once and left so, it keeps the connection's read transaction,
    // and so its snapshot, open (Transaction::CommitKeepingSnapshot).
    {kHoldSnapshot, "SELECT 1 FROM main.sqlite_schema"},
    // The rows from a sentence's first on, read until the next sentence.
    {kRowsFrom,
     "SELECT id, middle, position FROM word WHERE id >= ?1 ORDER BY id"},
};

// The rows a conversation answered but could not store yet, on its own
// connection; made with the store, on connections that may write.
inline constexpr char kPendingTable[] = R"sql(
CREATE TEMP TABLE IF NOT EXISTS pending_word (
  id INTEGER PRIMARY KEY,
  previous TEXT COLLATE unicase,
  middle TEXT NOT NULL COLLATE unicase,
  next TEXT COLLATE unicase,
  position INTEGER NOT NULL,
  line INTEGER NOT NULL
);
CREATE INDEX IF NOT EXISTS temp.pending_by_middle
  ON pending_word (middle, next, position);
)sql";

// While rows wait there, every read sees them as the newest rows.
inline constexpr char kShowPending[] = R"sql(
CREATE TEMP VIEW IF NOT EXISTS word AS
  SELECT id, previous, middle, next, position FROM main.word
  UNION ALL SELECT id, previous, middle, next, position FROM temp.pending_word;
CREATE TEMP VIEW IF NOT EXISTS word_count AS
  SELECT word, count FROM main.word_count
  UNION ALL SELECT middle, 1 FROM temp.pending_word;
)sql";

inline constexpr char kHidePending[] =
    "DROP VIEW IF EXISTS temp.word; DROP VIEW IF EXISTS temp.word_count;";

constexpr bool InIdOrder() {
  for (int i = 0; i < kStatementCount; ++i) {
    if (kStatements[i].id != i) return false;
  }
  return true;
}
static_assert(std::size(kStatements) == kStatementCount && InIdOrder());

#undef QUIBBO_ROW

}  // namespace quibbo::store_sql

#endif  // QUIBBO_ENGINE_ROWS_STORE_SQL_H_
