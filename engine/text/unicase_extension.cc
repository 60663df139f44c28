// unicase.so: a loadable SQLite extension that registers the `unicase`
// collation, so that the sqlite3 shell and other SQLite tools can compare,
// change and delete words in a memory:
//
//   sqlite3 qvd.mdb
//   sqlite> .load ./unicase
//
// SQLite finds sqlite3_unicase_init from the file name. The comparison is
// the engine's own, compiled into this module, so an index built by Quibbo
// stays in order whatever a tool writes.
#include <sqlite3ext.h>

#include "engine/text/unicase.h"

SQLITE_EXTENSION_INIT1

extern "C" __attribute__((visibility("default"))) int sqlite3_unicase_init(
    sqlite3* db, char** /*error_message*/, const sqlite3_api_routines* api) {
  SQLITE_EXTENSION_INIT2(api);
  return sqlite3_create_collation(db, quibbo::kUnicaseCollation, SQLITE_UTF8,
                                  nullptr, quibbo::CollateUnicase);
}
