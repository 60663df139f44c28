// The memory file out of order, met by the engine and by quibbo-cli: every
// call reports the fault's kind and names the file, nothing stored is lost
// or altered, and all works again once the fault is gone. Also a memory that
// another program holds, and hostile input.
#include <gmock/gmock.h>
#include <sqlite3.h>

#include <fstream>
#include <set>

#include "tests/support/child.h"

namespace quibbo::testing {
namespace {

namespace fs = std::filesystem;

std::unique_ptr<Engine> OpenEngine(const std::string& path) {
  return std::make_unique<Engine>(
      path, nullptr, [](WipeQuestion) { return true; },
      StoreOptions{.busy_timeout = std::chrono::milliseconds(200)});
}

// Reported by `engine`, and by quibbo-cli.
void ExpectReported(Engine& engine, const std::string& path, Kind kind) {
  const std::string line = "these words must not be stored. nor these";
  const Response response = engine.Respond(line);
  EXPECT_EQ(KindOf(response), kind);
  const Outcome chat = Cli({"--json", "--memory", path}, line + "\n");
  EXPECT_EQ(Failures(chat.out), Kinds{kind});
  EXPECT_EQ(chat.status, ExitStatusOf(kind));  // no line reached the memory
  for (const std::string& told :
       {std::string(response.failure->description()),
        Replies(chat.out).at(0).value_or("no reply")}) {
    EXPECT_THAT(told, ::testing::HasSubstr(path));
  }
  EXPECT_THAT(
      [&] { engine.WipeMemory(); },
      ::testing::Throws<Error>(::testing::Property(&Error::kind, kind)));
}

// What stands in the memory's place, made from the memory's own file.
using Bytes = std::function<std::string(const std::string& real)>;

// The bytes of a database of another program, made with `sql`.
Bytes Database(const char* sql) {
  return [sql](const std::string& path) {
    sqlite::Connection(path + ".db", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)
        .Execute(sql);
    return FileBytes(path + ".db");
  };
}

// Each fault and what stands in the memory's place: a folder when null,
// else a file of these bytes.
const std::pair<Kind, Bytes> kFaults[] = {
    {Kind::kMissing, nullptr},
    {Kind::kNotAMemory, nullptr},
    {Kind::kNotAMemory, [](auto&) { return std::string(5000, 'x'); }},
    {Kind::kNotAMemory, Database("CREATE TABLE notes (text);")},
    {Kind::kNotAMemory, Database("CREATE TABLE word (id, middle, position);")},
    {Kind::kDamaged,
     [](const std::string& real) {
       return FileBytes(real).substr(0, fs::file_size(real) / 2 + 100);
     }},
};

TEST(FaultTest, ReportedNothingLostAndWorksAgainAfterwards) {
  for (const auto& fault : kFaults) {
    SCOPED_TRACE("fault " + std::to_string(&fault - kFaults));
    const auto& [kind, bytes_of] = fault;
    TempMemory memory(Script("kept", 400));
    const std::string& path = memory.path();
    // A program that has the memory open meets a missing file too; damage
    // is done while none runs, or its log would be read into the damage.
    std::unique_ptr<Engine> running = OpenEngine(path);
    ASSERT_EQ(KindOf(running->Respond("a program was running")), std::nullopt);
    if (bytes_of) running.reset();
    const std::vector<WordRecord> before = memory.Rows();

    fs::rename(path, path + ".real");
    if (bytes_of) std::ofstream(path) << bytes_of(path + ".real");
    if (!bytes_of && kind == Kind::kNotAMemory) fs::create_directory(path);
    const std::string bytes = bytes_of ? FileBytes(path) : "";
    ExpectReported(*OpenEngine(path), path, kind);
    if (running) ExpectReported(*running, path, kind);
    // Not a byte rewritten, not even by a log waiting to be copied in.
    EXPECT_TRUE(!bytes_of ||
                (FileBytes(path) == bytes && FileBytes(path + "-wal") == ""));
    for (const char* end : {"", "-wal", "-shm"})
      if (bytes_of || *end == '\0') fs::remove(path + end);
    fs::rename(path + ".real", path);
    EXPECT_EQ(memory.Rows(), before);
    EXPECT_EQ(KindOf(OpenEngine(path)->Respond("back to work")), std::nullopt);
    EXPECT_FALSE(running && running->Respond("still here").failure);
    EXPECT_EQ(memory.Rows().size(), before.size() + 3 + (running ? 2 : 0));
    memory.Sentences();  // checks that all are whole
  }
}

// A write lock held past the wait is reported, for no longer than the wait
// allowed, and the memory works again once it goes.
TEST(FaultTest, AMemoryHeldByAnotherProgramIsReported) {
  TempMemory memory;
  std::unique_ptr<Engine> running = OpenEngine(memory.path());
  auto holder = memory.Connect("BEGIN EXCLUSIVE;");
  ExpectReported(*running, memory.path(), Kind::kBusy);
  holder.reset();
  EXPECT_EQ(KindOf(running->Respond("and now")), std::nullopt);
  EXPECT_EQ(memory.Sentences(), Strings{"And now."});
}

// Real lines, quotes, SQL, control characters, lines not in UTF-8, long
// words: no crash, no hang, every line answered or refused, and the memory
// holds exactly the rows the learning rules give for the lines it accepted.
TEST(HostileInputTest, EveryHostileLineIsAnsweredAndStoredAsTyped) {
  TempMemory memory({"Something to start with."});
  Strings lines;  // of the corpus's files, by name
  for (const fs::path& file :
       std::set<fs::path>(fs::directory_iterator(QUIBBO_FUZZ_CORPUS), {})) {
    std::istringstream in(FileBytes(file));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
  }
  // Nine of the corpus's files are not UTF-8.
  EXPECT_EQ(TalkThrough(memory, lines, std::chrono::seconds(120)), 9u);
  // Quotes and SQL are words like any other, and the table is still there.
  EXPECT_THAT(memory.Sentences(),
              ::testing::IsSupersetOf({"'); drop table word; --.",
                                       "\" or 1=1 --.", "Next.", "Id."}));
}

}  // namespace
}  // namespace quibbo::testing
