// The tables of a memory, how a memory is recognised, and how one made by an
// earlier version is brought up to date.
//
// Table `word` is the memory itself: one row per stored occurrence of a word,
// with its neighbours and position. Everything else serves lookups and can be
// rebuilt from it: the indexes, and table `word_count`, which keeps the
// number of rows of each word (letter case ignored) so that choosing the
// rarest word of a line never counts rows. Triggers on `word` keep the
// counts exact when another program edits the rows (through INSERT OR
// REPLACE too), and mark the memory as edited in table `memory_edited`;
// Quibbo's own connections turn them off and keep the counts themselves.
//
// Quibbo only ever appends whole sentences and deletes whole sentences, so
// in a memory it alone wrote, each row's neighbours are the rows stored
// right before and after it (the store's fast walk steps rely on that). An
// edit by hand can break that; the mark says so until the next program to
// open the memory for writing finds every row consistent again.
#ifndef QUIBBO_ENGINE_ROWS_SCHEMA_H_
#define QUIBBO_ENGINE_ROWS_SCHEMA_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/file/sqlite.h"

namespace quibbo::schema {

// The version PRAGMA user_version holds in an up-to-date memory.
inline constexpr int kVersion = 5;
// The first version that marks edits by hand.
inline constexpr int kMarkedVersion = 4;
// The first version that keeps table word_count.
inline constexpr int kCountedVersion = 1;
// The first version that indexes the last row of every sentence by its
// position: the rows a sentence ends with, one per sentence.
inline constexpr int kSentenceEndVersion = 4;
// The first version whose indexes and counts compare words whatever their
// Unicode form (the `unicase` collation of CompareIgnoringCase in text.h).
// Older memories are indexed and counted anew by the upgrade.
inline constexpr int kUnicodeFormsVersion = 5;

// Rows at this position or later are indexed by position (since version 3).
// A row at an earlier position is found from the index of sentence ends
// (kSentenceEndVersion): the row at position p of a sentence that ends at
// position q stands q - p ids before its end. An index of every row would
// cost learning a fifth of its time. It is SQL text because a partial index
// serves only the statements whose text implies its condition.
#define QUIBBO_LATE_POSITION "12"
inline constexpr int kLatePosition = [] {
  int position = 0;
  for (char digit : std::string_view(QUIBBO_LATE_POSITION)) {
    position = position * 10 + (digit - '0');
  }
  return position;
}();

// Creates every table and index of an empty memory, in one transaction.
void Create(sqlite::Connection& db);

// Throws Error (kNotAMemory) unless `db` holds a table word with the columns
// id, previous, middle, next and position (letter case ignored).
void Check(sqlite::Connection& db, const std::string& path);

// The schema version the memory records.
int64_t Version(sqlite::Connection& db);

// Brings a memory of an earlier version up to date, and clears the mark of
// an edit by hand once every row is consistent with its neighbours again.
// Does nothing to a current, unmarked one. Safe when two programs try at
// once: one of them does it.
void Upgrade(sqlite::Connection& db);

}  // namespace quibbo::schema

#endif  // QUIBBO_ENGINE_ROWS_SCHEMA_H_
