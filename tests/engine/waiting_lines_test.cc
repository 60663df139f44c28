// Lines answered beside a learner, before they are stored: every one is
// stored in the end, in order, or reported when the program ends; a failure
// to store them stays with them and never falls on a later line; a wipe
// takes them with it; and a reply reads the memory its line was learned in.
#include <sqlite3.h>

#include "engine/file/wait_signal.h"
#include "engine/language/learner.h"
#include "quibbo/engine.h"
#include "tests/support/child.h"
#include "tests/support/engine_peer.h"

namespace quibbo::testing {
namespace {

const Strings kSaid = {"alpha one says hi", "beta two says hi",
                       "gamma three says hi"};

// A learner at work and another program holding the lock, as the sqlite3
// shell's BEGIN IMMEDIATE does: quibbo-cli answers every line at once. When
// the lock goes within the wait for a write, the lines are stored as it ends;
// when it is held past it, they are reported in one line, with the status of
// the failure, and the memory is as before.
TEST(WaitingLinesTest, AnsweredLinesAreStoredOrReportedAtTheEnd) {
  for (const bool released : {true, false}) {
    SCOPED_TRACE(released ? "lock released in time" : "lock held");
    TempMemory memory({"A memory that holds something."});
    auto learner = WaitSignal::Create(memory.path());
    auto lock = memory.Connect("BEGIN IMMEDIATE;");
    Child chat(Program("quibbo-cli"), Words("--json", memory), Lines(kSaid));
    ASSERT_TRUE(WaitUntil([&] { return Replies(chat.out()).size() == 3; },
                          std::chrono::seconds(10)))
        << chat.err();
    if (released) {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      lock.reset();
    }
    EXPECT_EQ(chat.Wait(std::chrono::seconds(20)),
              released ? 0 : ExitStatusOf(Kind::kBusy));
    lock.reset();
    EXPECT_EQ(Failures(chat.out()), Kinds(3, std::nullopt));
    Strings said = {"A memory that holds something."};
    if (released) said.insert(said.end(), kSaid.begin(), kSaid.end());
    EXPECT_EQ(memory.Sentences(), SentencesOf(said));
    const std::string err = chat.err();
    EXPECT_TRUE(released ? err.empty()
                         : OneLine(err) &&
                               err.starts_with("quibbo-cli: 3 answered lines"))
        << err;
  }
}

// A line that cannot be stored keeps its failure: the lines said after it
// are answered, not charged with it, and wait behind it; the end reports
// them all, and the memory holds none of them.
TEST(WaitingLinesTest, AFailureToStoreThemStaysWithThem) {
  TempMemory memory({"A memory that holds something."});
  Engine engine(memory.path(), std::make_unique<SeededRandom>(1));
  // Quibbo's connections run TEMP triggers only.
  EnginePeer::Execute(
      engine,
      "CREATE TEMP TRIGGER refuse BEFORE INSERT ON main.word "
      "WHEN new.middle = 'boom.' BEGIN SELECT RAISE(ABORT, 'refused'); END;");
  {
    auto learner = WaitSignal::Create(memory.path());
    EXPECT_EQ(KindOf(engine.Respond("it goes boom")), std::nullopt);
  }
  for (const char* line : {"the next line", "and one more"})
    EXPECT_EQ(KindOf(engine.Respond(line)), std::nullopt) << line;
  const Unstored unstored = engine.Close();
  EXPECT_EQ(unstored.lines, 3);
  EXPECT_EQ(
      unstored.failure ? std::optional(unstored.failure->kind()) : std::nullopt,
      Kind::kDamaged);
  EXPECT_EQ(memory.Sentences(), Strings{"A memory that holds something."});
}

// Lines said before a wipe go with it, stored or not; none comes back after.
TEST(WaitingLinesTest, AWipeTakesTheLinesSaidBeforeIt) {
  TempMemory memory({"Old words here."});
  Engine engine(memory.path(), std::make_unique<SeededRandom>(1),
                [](WipeQuestion) { return true; });
  {
    auto learner = WaitSignal::Create(memory.path());
    auto lock = memory.Connect("BEGIN IMMEDIATE;");
    EXPECT_FALSE(engine.Respond("said before the wipe").failure);
    lock.reset();
    engine.WipeMemory();
  }
  EXPECT_FALSE(engine.Respond("said after it").failure);
  EXPECT_EQ(engine.Close().lines, 0);
  EXPECT_EQ(memory.Sentences(), Strings{"Said after it."});
}

// A reply is composed from the memory exactly as its line's commit left it,
// whatever another program stores meanwhile.
TEST(WaitingLinesTest, AReplyReadsTheSnapshotItsLineWasLearnedIn) {
  TempMemory memory({"One two three."});
  auto mine = Store::Open(memory.path(), Store::Access::kReadWrite);
  auto other = Store::Open(memory.path(), Store::Access::kReadWrite);
  {
    Store::Transaction write(*mine, Store::Transaction::Kind::kWrite);
    Learn(*mine, write, "four five");
    write.CommitKeepingSnapshot();
    Learn(*other, "six seven eight");
    EXPECT_EQ(mine->RowCount(), 5);
  }
  EXPECT_EQ(mine->RowCount(), 8);
}

}  // namespace
}  // namespace quibbo::testing
