#include "tests/reliability/faults.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <stdexcept>

#include "engine/learner.h"
#include "engine/sqlite.h"
#include "tests/reliability/memory_check.h"

namespace quibbo::testing {
namespace {

namespace fs = std::filesystem;

std::string Aside(const TempMemory& memory) { return memory.path() + ".real"; }

void RemoveMemoryFiles(const std::string& path) {
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
    fs::remove(path + suffix);
  }
}

// Puts the real memory aside and `bytes` in its place.
void ReplaceWith(const TempMemory& memory, const std::string& bytes) {
  fs::rename(memory.path(), Aside(memory));
  WriteFile(memory.path(), bytes);
}

// Puts the real memory aside and an SQLite file made by `sql` in its place.
void ReplaceWithDatabase(const TempMemory& memory, const char* sql) {
  fs::rename(memory.path(), Aside(memory));
  sqlite::Connection other(memory.path(),
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  other.Execute(sql);
}

void PutBack(const TempMemory& memory) {
  RemoveMemoryFiles(memory.path());
  fs::rename(Aside(memory), memory.path());
}

size_t PageSize(const std::string& file) {
  size_t size = (static_cast<unsigned char>(file.at(16)) << 8) |
                static_cast<unsigned char>(file.at(17));
  return size == 1 ? 65536 : size;
}

// Holds the memory's write lock from a connection of its own until undone.
Fault LockFault(const std::string& name, const char* sql,
                bool meets_running_program) {
  auto holder = std::make_shared<std::unique_ptr<sqlite::Connection>>();
  Fault fault;
  fault.name = name;
  fault.says = "in use by another program";
  fault.meets_running_program = meets_running_program;
  fault.make = [holder, sql](const TempMemory& memory) {
    *holder = std::make_unique<sqlite::Connection>(memory.path(),
                                                   SQLITE_OPEN_READWRITE);
    (*holder)->Execute(sql);
  };
  fault.undo = [holder](const TempMemory&) {
    (*holder)->Execute("ROLLBACK;");
    holder->reset();
  };
  return fault;
}

std::vector<Fault> MakeFaults() {
  std::vector<Fault> faults;
  auto add = [&](Fault fault) { faults.push_back(std::move(fault)); };

  add({.name = "Missing",
       .says = "does not exist",
       .meets_running_program = true,
       .make = [](const TempMemory& m) { fs::rename(m.path(), Aside(m)); },
       .undo = [](const TempMemory& m) { fs::rename(Aside(m), m.path()); }});
  add({.name = "FolderInItsPlace",
       .says = "is a folder",
       .meets_running_program = true,
       .make =
           [](const TempMemory& m) {
             fs::rename(m.path(), Aside(m));
             fs::create_directory(m.path());
           },
       .undo =
           [](const TempMemory& m) {
             fs::remove(m.path());
             fs::rename(Aside(m), m.path());
           }});
  add({.name = "ReadOnlyFile",
       .says = "read-only",
       .needs_permissions = true,
       .make = [](const TempMemory& m) { chmod(m.path().c_str(), 0444); },
       .undo = [](const TempMemory& m) { chmod(m.path().c_str(), 0644); }});
  add({.name = "ReadOnlyFolder",
       .says = "folder",
       .needs_permissions = true,
       .make = [](const TempMemory& m) { chmod(m.folder().c_str(), 0555); },
       .undo = [](const TempMemory& m) { chmod(m.folder().c_str(), 0700); }});
  // In write-ahead-log mode, readers go on while another program writes.
  add(LockFault("LockedForWriting", "BEGIN EXCLUSIVE;", true));
  // An exclusive locking mode shuts out readers as well. It cannot be taken
  // while another program has the memory open.
  add(LockFault("LockedForReading",
                "PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE; "
                "SELECT count(*) FROM word;",
                false));
  add({.name = "NotSqlite",
       .says = "not an SQLite database",
       .damaged_file = true,
       .make =
           [](const TempMemory& m) {
             std::string notes;
             for (int i = 0; i < 200; ++i) notes += "Shopping: milk, eggs.\n";
             ReplaceWith(m, notes);
           },
       .undo = PutBack});
  add({.name = "WithoutTableWord",
       .says = "no table word",
       .damaged_file = true,
       .make =
           [](const TempMemory& m) {
             ReplaceWithDatabase(m,
                                 "CREATE TABLE notes (text TEXT);"
                                 "INSERT INTO notes VALUES ('keep me');");
           },
       .undo = PutBack});
  add({.name = "WordLacksColumns",
       .says = "lacks the column(s) next, previous",
       .damaged_file = true,
       .make =
           [](const TempMemory& m) {
             ReplaceWithDatabase(
                 m,
                 "CREATE TABLE word (id INTEGER PRIMARY KEY, middle TEXT, "
                 "position INTEGER);"
                 "INSERT INTO word (middle, position) VALUES ('keep', 0);");
           },
       .undo = PutBack});
  add({.name = "Truncated",
       .says = "damaged",
       .damaged_file = true,
       .make =
           [](const TempMemory& m) {
             std::string bytes = FileBytes(m.path());
             ReplaceWith(m, bytes.substr(0, bytes.size() / 2 + 100));
           },
       .undo = PutBack});
  add({.name = "TableRootZeroed",
       .says = "damaged",
       .damaged_file = true,
       .make =
           [](const TempMemory& m) {
             // Page 2 is the root of table word, the first thing created.
             std::string bytes = FileBytes(m.path());
             size_t page = PageSize(bytes);
             bytes.replace(page, page, std::string(page, '\0'));
             ReplaceWith(m, bytes);
           },
       .undo = PutBack});
  add({.name = "GarbageOverItsEnd",
       .says = "damaged",
       .damaged_file = true,
       .make =
           [](const TempMemory& m) {
             std::string bytes = FileBytes(m.path());
             for (size_t i = bytes.size() / 2; i < bytes.size(); ++i) {
               bytes[i] = static_cast<char>(i * 7919 % 251);
             }
             ReplaceWith(m, bytes);
           },
       .undo = PutBack});
  return faults;
}

}  // namespace

const std::vector<Fault>& AllFaults() {
  static const std::vector<Fault> faults = MakeFaults();
  return faults;
}

std::vector<std::string> FaultNames() {
  std::vector<std::string> names;
  for (const Fault& fault : AllFaults()) names.push_back(fault.name);
  return names;
}

const Fault& FaultNamed(const std::string& name) {
  for (const Fault& fault : AllFaults()) {
    if (fault.name == name) return fault;
  }
  throw std::invalid_argument("no fault named " + name);
}

void FillWithSentences(const std::string& path, int count) {
  auto store = Store::Open(path, Store::Access::kReadWrite);
  Store::Transaction transaction(*store, Store::Transaction::Kind::kWrite);
  for (int i = 0; i < count; ++i) {
    StoreLine(*store, "Sentence " + std::to_string(i) + " says word" +
                          std::to_string(i % 37) + " and then goes on");
  }
  transaction.Commit();
}

void FillWithSentences(const TempMemory& memory, int count) {
  FillWithSentences(memory.path(), count);
}

}  // namespace quibbo::testing
