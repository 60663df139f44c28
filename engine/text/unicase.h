// The `unicase` collation as SQLite calls it, shared by the engine's own
// connections and by the loadable extension unicase.so, so that a word
// compares the same in Quibbo and in any SQLite tool.
#ifndef QUIBBO_ENGINE_TEXT_UNICASE_H_
#define QUIBBO_ENGINE_TEXT_UNICASE_H_

namespace quibbo {

// The name the schema declares on the word columns.
inline constexpr char kUnicaseCollation[] = "unicase";

// An xCompare callback for sqlite3_create_collation (SQLITE_UTF8):
// CompareIgnoringCase of the two texts.
int CollateUnicase(void* unused, int left_size, const void* left,
                   int right_size, const void* right);

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_TEXT_UNICASE_H_
