// The memory file out of reach or out of order, met by the engine and by
// quibbo-cli: every call reports the fault naming the file, nothing stored
// is lost or altered, and all works again once the fault is gone.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "engine/bulk_learner.h"
#include "engine/engine.h"
#include "engine/learner.h"
#include "engine/sqlite.h"
#include "tests/reliability/support.h"
#include "tests/support/engine_peer.h"
#include "tests/support/temp_memory.h"

namespace quibbo::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

std::unique_ptr<Engine> OpenEngine(const std::string& path) {
  StoreOptions options;
  options.busy_timeout = std::chrono::milliseconds(200);
  auto engine = std::make_unique<Engine>(
      path, std::make_unique<SeededRandom>(7),
      [](const WipeQuestion&) { return true; }, options);
  engine->SetReportErrors(true);
  return engine;
}

// Stores `count` sentences of nine words, about 30 a page.
void FillWithSentences(const std::string& path, int count) {
  auto store = Store::Open(path, Store::Access::kReadWrite);
  BulkLearner learner(*store);
  for (int i = 0; i < count; ++i) {
    learner.Learn("Sentence " + std::to_string(i) + " says word" +
                  std::to_string(i % 37) + " and then goes on");
  }
  learner.Commit();
}

void ExpectTrouble(const std::optional<std::string>& reply,
                   const std::string& path, const std::string& says) {
  ASSERT_TRUE(reply);
  EXPECT_TRUE(IsTrouble(*reply)) << *reply;
  EXPECT_THAT(*reply, AllOf(HasSubstr(path), HasSubstr(says)));
}

struct Fault {
  std::string name;
  std::string says;  // in the description, besides the file's path
  // Met by a program that opened the memory before, which a read-only file
  // or folder does not stop.
  bool meets_running_program = false;
  bool needs_permissions = false;
  bool damages_file = false;  // whose bytes must then stay as they are
  std::function<void(const TempMemory&)> make, undo;
};

void PrintTo(const Fault& fault, std::ostream* out) { *out << fault.name; }

// Puts the memory aside and what `put` makes in its place. A program that
// opened the memory before meets a missing file too, but the damage is done
// while no program runs.
Fault Replace(std::string name, std::string says, bool damages,
              std::function<void(const std::string&)> put) {
  Fault fault{name, says, !damages, false, damages, nullptr, nullptr};
  fault.make = [put](const TempMemory& m) {
    fs::rename(m.path(), m.path() + ".real");
    put(m.path());
  };
  fault.undo = [damages](const TempMemory& m) {
    // The log beside a damaged file is its own; beside a missing one, the
    // memory's.
    for (const char* end : {"", "-wal", "-shm", "-journal"}) {
      if (damages || *end == '\0') fs::remove(m.path() + end);
    }
    fs::rename(m.path() + ".real", m.path());
  };
  return fault;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

void MakeDatabase(const std::string& path, const char* sql) {
  sqlite::Connection(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)
      .Execute(sql);
}

// The write lock, held by a connection of its own until undone.
Fault Lock(std::string name, const char* sql, bool meets_running_program) {
  static std::unique_ptr<sqlite::Connection> holder;
  return {name,
          "in use by another program",
          meets_running_program,
          false,
          false,
          [sql](const TempMemory& m) {
            holder = std::make_unique<sqlite::Connection>(
                m.path(), SQLITE_OPEN_READWRITE);
            holder->Execute(sql);
          },
          [](const TempMemory&) {
            holder->Execute("ROLLBACK;");
            holder.reset();
          }};
}

const std::vector<Fault> kFaults = {
    Replace("Missing", "does not exist", false, [](const std::string&) {}),
    Replace("FolderInItsPlace", "is a folder", false,
            [](const std::string& path) { fs::create_directory(path); }),
    {"ReadOnlyFile", "read-only", false, true, false,
     [](const TempMemory& m) { chmod(m.path().c_str(), 0444); },
     [](const TempMemory& m) { chmod(m.path().c_str(), 0644); }},
    {"ReadOnlyFolder", "folder", false, true, false,
     [](const TempMemory& m) { chmod(m.folder().c_str(), 0555); },
     [](const TempMemory& m) { chmod(m.folder().c_str(), 0700); }},
    // In write-ahead-log mode, readers go on while another program writes.
    Lock("LockedForWriting", "BEGIN EXCLUSIVE;", true),
    // An exclusive locking mode shuts out readers too; it cannot be taken
    // while another program has the memory open.
    Lock("LockedForReading",
         "PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE; "
         "SELECT count(*) FROM word;",
         false),
    Replace("NotSqlite", "not an SQLite database", true,
            [](const std::string& path) {
              std::string notes;
              for (int i = 0; i < 200; ++i) notes += "Shopping: milk, eggs.\n";
              WriteFile(path, notes);
            }),
    Replace("WithoutTableWord", "no table word", true,
            [](const std::string& path) {
              MakeDatabase(path,
                           "CREATE TABLE notes (text TEXT);"
                           "INSERT INTO notes VALUES ('keep me');");
            }),
    Replace("WordLacksColumns", "lacks the column(s) next, previous", true,
            [](const std::string& path) {
              MakeDatabase(path,
                           "CREATE TABLE word (id INTEGER PRIMARY KEY, "
                           "middle TEXT, position INTEGER);"
                           "INSERT INTO word (middle, position) "
                           "VALUES ('keep', 0);");
            }),
    Replace("Truncated", "damaged", true,
            [](const std::string& path) {
              std::string bytes = FileBytes(path + ".real");
              WriteFile(path, bytes.substr(0, bytes.size() / 2 + 100));
            }),
    Replace("TableRootZeroed", "damaged", true,
            [](const std::string& path) {
              // Page 2 is the root of table word, the first thing created.
              std::string bytes = FileBytes(path + ".real");
              size_t page = (static_cast<unsigned char>(bytes.at(16)) << 8) |
                            static_cast<unsigned char>(bytes.at(17));
              if (page == 1) page = 65536;
              WriteFile(path, bytes.replace(page, page, std::string(page, 0)));
            }),
    Replace("GarbageOverItsEnd", "damaged", true,
            [](const std::string& path) {
              std::string bytes = FileBytes(path + ".real");
              for (size_t i = bytes.size() / 2; i < bytes.size(); ++i) {
                bytes[i] = static_cast<char>(i * 7919 % 251);
              }
              WriteFile(path, bytes);
            }),
};

class FaultTest : public ::testing::TestWithParam<Fault> {};

TEST_P(FaultTest, ReportedNothingLostAndWorksAgainAfterwards) {
  const Fault& fault = GetParam();
  std::string why;
  if (fault.needs_permissions && !ObeyFilePermissions(&why)) {
    GTEST_SKIP() << why;
  }
  TempMemory memory;
  const std::string& path = memory.path();
  FillWithSentences(path, 400);
  std::unique_ptr<Engine> running = OpenEngine(path);
  ASSERT_FALSE(IsTrouble(*running->Respond("a program was running")));
  if (!fault.meets_running_program) running.reset();
  const std::vector<WordRecord> before = SoundRows(path);

  fault.make(memory);
  const std::string bytes_at_fault = fault.damages_file ? FileBytes(path) : "";
  const char kLine[] = "these words must not be stored. nor these";
  std::unique_ptr<Engine> started = OpenEngine(path);
  for (Engine* engine : {started.get(), running.get()}) {
    if (engine == nullptr) continue;
    SCOPED_TRACE(engine == started.get() ? "started" : "already running");
    ExpectTrouble(engine->Respond(kLine), path, fault.says);
    try {
      engine->WipeMemory();
      ADD_FAILURE() << "the wipe went through";
    } catch (const Error& error) {
      EXPECT_THAT(error.description(),
                  AllOf(HasSubstr(path), HasSubstr(fault.says)));
    }
  }
  started.reset();
  CliResult chat = RunCli(ChatArguments(path), std::string(kLine) + "\n");
  EXPECT_EQ(chat.exit_status, 0) << chat.err;
  std::vector<std::optional<std::string>> replies = Replies(chat.out);
  ASSERT_EQ(replies.size(), 1u);
  ExpectTrouble(replies[0], path, fault.says);

  CliResult wipe = RunCli({"wipe", "--yes", "--memory", path});
  EXPECT_EQ(wipe.exit_status, 1);
  EXPECT_THAT(wipe.err, AllOf(HasSubstr(path), HasSubstr(fault.says),
                              HasSubstr("Nothing was deleted.")));
  if (fault.damages_file) {
    // Not a byte rewritten, not even by a log waiting to be copied in.
    EXPECT_TRUE(FileBytes(path) == bytes_at_fault);
    EXPECT_EQ(FileBytes(path + "-wal"), "");
  }
  fault.undo(memory);
  EXPECT_EQ(SoundRows(path), before);

  EXPECT_FALSE(IsTrouble(*OpenEngine(path)->Respond("back to work")));
  replies = Replies(RunCli(ChatArguments(path), "and on the line\n").out);
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_TRUE(replies[0] && !IsTrouble(*replies[0]));
  size_t rows = before.size() + 3 + 4;
  if (running) {
    EXPECT_FALSE(IsTrouble(*running->Respond("still here")));
    rows += 2;
  }
  EXPECT_EQ(SoundRows(path).size(), rows);
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultTest, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return info.param.name; });

// A memory deleted while a program has it open, and a new one made in its
// place: the old memory's log must never be read into the new one.
TEST(ReplacedMemoryTest, TheOldMemoryNeverLeaksIntoTheNewOne) {
  TempMemory memory;
  FillWithSentences(memory.path(), 200);
  std::unique_ptr<Engine> old_program = OpenEngine(memory.path());
  ASSERT_FALSE(IsTrouble(*old_program->Respond("old words here")));
  fs::remove(memory.path());
  MemoryFile::Create(memory.path());
  EXPECT_EQ(OpenEngine(memory.path())->Respond("new words"), "New words.");
  EXPECT_FALSE(IsTrouble(*old_program->Respond("the old program goes on")));
  EXPECT_THAT(StoredSentences(SoundRows(memory.path())),
              ::testing::ElementsAre("New words.", "The old program goes on."));
}

// After `lines` met a full disk and got `replies`: the rows stored `before`
// are kept, then every sentence of each line answered without trouble, of
// a line that met the full disk its first sentences at most, and no more.
// Returns how many lines met it and how many sentences were stored.
std::pair<size_t, size_t> ExpectStoredUntilFull(
    const std::vector<WordRecord>& before, const std::string& path,
    const std::vector<std::string>& lines,
    const std::vector<std::optional<std::string>>& replies) {
  const std::vector<WordRecord> rows = SoundRows(path);
  EXPECT_TRUE(rows.size() >= before.size() &&
              std::equal(before.begin(), before.end(), rows.begin()));
  const std::vector<std::string> learned = StoredSentences(rows, before.size());
  size_t next = 0, troubled = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_TRUE(replies.at(i)) << "no reply to " << lines[i];
    const bool trouble = IsTrouble(replies[i].value_or(""));
    if (trouble) {
      ++troubled;
      EXPECT_THAT(*replies[i], HasSubstr(path));
    }
    // Sentences are unique to their line, so matching greedily is exact.
    const std::vector<std::string> sentences = SentencesOf({lines[i]});
    size_t whole = 0;
    while (whole < sentences.size() && next < learned.size() &&
           learned[next] == sentences[whole]) {
      ++whole, ++next;
    }
    EXPECT_EQ(whole == sentences.size(), !trouble) << lines[i];
  }
  EXPECT_EQ(next, learned.size()) << "stored, but not from these lines";
  return {troubled, learned.size()};
}

void LimitPages(Engine& engine, int64_t more) {
  sqlite::Connection& connection =
      EnginePeer::Memory(engine).file().connection();
  sqlite::Statement count(connection, "PRAGMA page_count");
  count.Step();
  std::string sql =
      "PRAGMA max_page_count = " + std::to_string(count.ColumnInt(0) + more);
  connection.Execute(sql.c_str());
}

TEST(DiskFullTest, EngineKeepsTheSentencesBeforeThePageLimit) {
  TempMemory memory;
  const std::string& path = memory.path();
  FillWithSentences(path, 50);
  std::unique_ptr<Engine> engine = OpenEngine(path);
  ASSERT_FALSE(IsTrouble(*engine->Respond("warm up")));
  const std::vector<WordRecord> before = SoundRows(path);

  LimitPages(*engine, 4);
  // Forty sentences with long words: each takes a page or more.
  std::string line;
  for (int i = 0; i < 40; ++i) {
    line += "sentence" + std::to_string(i) + " " +
            std::string(900, static_cast<char>('a' + i % 26)) + " end. ";
  }
  std::optional<std::string> reply = engine->Respond(line);
  ExpectTrouble(reply, path, "disk is full");
  EXPECT_GE(ExpectStoredUntilFull(before, path, {line}, {reply}).second, 1u)
      << "no room for even one sentence";

  // The wipe deletes whole, or refuses and deletes nothing.
  const size_t stored = SoundRows(path).size();
  try {
    engine->WipeMemory();
    EXPECT_THAT(SoundRows(path), IsEmpty());
  } catch (const Error& error) {
    EXPECT_THAT(error.description(), HasSubstr(path));
    EXPECT_EQ(SoundRows(path).size(), stored);
  }
  LimitPages(*engine, 1 << 30);
  EXPECT_FALSE(IsTrouble(*engine->Respond("there is room again")));
}

TEST(DiskFullTest, CliKeepsWhatItAnsweredAndWipesNothing) {
  TempMemory memory;
  const std::string& path = memory.path();
  FillWithSentences(path, 400);
  const std::vector<WordRecord> before = SoundRows(path);
  std::vector<std::string> lines = Script("full", 60);

  // Writes past the limit fail as on a full disk (EFBIG, which SQLite
  // reports as an I/O error).
  CliResult chat =
      RunCli(ChatArguments(path), Input(lines), fs::file_size(path));
  EXPECT_EQ(chat.exit_status, 0) << chat.err;
  std::vector<std::optional<std::string>> replies = Replies(chat.out);
  ASSERT_EQ(replies.size(), lines.size());
  const size_t troubled =
      ExpectStoredUntilFull(before, path, lines, replies).first;
  EXPECT_GT(troubled, 0u) << "the disk never filled up";
  EXPECT_LT(troubled, lines.size()) << "nothing learned before it filled up";

  // Room for the shared-memory index, not for deleting every row.
  const std::vector<WordRecord> stored = SoundRows(path);
  CliResult wipe = RunCli({"wipe", "--yes", "--memory", path}, "", 40 << 10);
  EXPECT_EQ(wipe.exit_status, 1);
  EXPECT_THAT(wipe.err,
              AllOf(HasSubstr(path), HasSubstr("Nothing was deleted.")));
  EXPECT_EQ(SoundRows(path), stored);

  replies = Replies(RunCli(ChatArguments(path), "there is room again\n").out);
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_TRUE(replies[0] && !IsTrouble(*replies[0]));
  EXPECT_EQ(RunCli({"wipe", "--yes", "--memory", path}).exit_status, 0);
  EXPECT_THAT(SoundRows(path), IsEmpty());
}

}  // namespace
}  // namespace quibbo::testing
