// Every SQL statement the store runs, beside the id it is prepared under.
// Only the store's own files include this; the rest of the engine asks the
// store.
#ifndef QUIBBO_ENGINE_STORE_SQL_H_
#define QUIBBO_ENGINE_STORE_SQL_H_

#include <iterator>

#include "engine/schema.h"

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
  kRowsFrom,
  kStatementCount,
};

struct StatementText {
  StatementId id;
  const char* sql;
};

inline constexpr StatementText kStatements[] = {
    {kInsert,
     "INSERT INTO word (previous, middle, next, position) VALUES (?, ?, ?, ?)"},
    {kDeleteAll, "DELETE FROM word"},
    {kDeleteCounts, "DELETE FROM word_count"},
    {kCountAll, "SELECT count(*) FROM word"},
    {kCountUpTo, "SELECT count(*) FROM (SELECT 1 FROM word LIMIT ?1)"},
    {kIdRange, "SELECT (SELECT min(id) FROM word), (SELECT max(id) FROM word)"},
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
    {kCountedWord,
     "SELECT count FROM word_count WHERE word = ?1 COLLATE unicase"},
    {kAddCount,
     "INSERT INTO word_count (word, count) VALUES (?1, ?2) "
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
    // The same search within ids ?2 + 1 to ?3, reading the table in id order.
    {kNextWithWordNear,
     "SELECT min(id) FROM word NOT INDEXED WHERE id > ?2 AND id <= ?3 AND "
     "middle = ?1 COLLATE unicase"},
    {kDropCount,
     "DELETE FROM word_count WHERE word = ?1 COLLATE unicase AND count <= 0"},
    // Sentence by sentence: a row at position 0 starts a sentence.
    {kRowsInOrder, "SELECT middle, position FROM word ORDER BY id"},
    {kRowsInSpan,
     "SELECT middle, position FROM word WHERE id >= ?1 AND id < ?2 "
     "ORDER BY id"},
    {kIdsWithWord, "SELECT id FROM word WHERE middle = ?1 COLLATE unicase"},
    // Reading the rows from ?1 back, or on, to the nearest sentence start.
    {kSentenceStartAtOrBefore,
     "SELECT max(id) FROM word WHERE position = 0 AND id <= ?1"},
    {kSentenceStartAfter,
     "SELECT min(id) FROM word WHERE position = 0 AND id > ?1"},
    {kDeleteSpan, "DELETE FROM word WHERE id >= ?1 AND id < ?2"},
    {kCountSentences, "SELECT count(*) FROM word WHERE position = 0"},
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
    // The rows from a sentence's first on, read until the next sentence.
    {kRowsFrom,
     "SELECT id, middle, position FROM word WHERE id >= ?1 ORDER BY id"},
};

constexpr bool InIdOrder() {
  for (int i = 0; i < kStatementCount; ++i) {
    if (kStatements[i].id != i) return false;
  }
  return true;
}
static_assert(std::size(kStatements) == kStatementCount && InIdOrder());

#undef QUIBBO_ROW

}  // namespace quibbo::store_sql

#endif  // QUIBBO_ENGINE_STORE_SQL_H_
