// The engine as programs use it: what it stores and answers, how it reports
// failures, how it follows a memory file that was replaced, and the wipe.
#include "engine/engine.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/learner.h"
#include "tests/support/engine_peer.h"
#include "tests/support/failure.h"
#include "tests/support/temp_memory.h"

namespace quibbo::testing {
namespace {

std::unique_ptr<Engine> Open(const std::string& path) {
  auto engine =
      std::make_unique<Engine>(path, std::make_unique<SeededRandom>(1));
  engine->SetReportErrors(true);
  return engine;
}

TEST(EngineTest, StoresWhatIsSaidAndCountsItsWords) {
  TempMemory memory;
  auto engine = Open(memory.path());
  EXPECT_EQ(engine->Respond("hello there"), "Hello there.");
  EXPECT_EQ(memory.Rows(),
            (std::vector<WordRecord>{{1, std::nullopt, "Hello", "there.", 0},
                                     {2, "Hello", "there.", std::nullopt, 1}}));
  // Words are counted without regard to letter case.
  engine->Respond("I saw THE dog");
  EXPECT_EQ(engine->WordFrequency("tHe"), 1);
  EXPECT_EQ(engine->WordFrequency("dog"), kUnknownWordCount);
}

TEST(EngineTest, RefusesWhatCannotBeStoredAndReportsOnlyWhenAsked) {
  TempMemory memory;
  EXPECT_EQ(KindOf(*Open(memory.path())->Respond("bad \xff")),
            Kind::kInvalidText);
  EXPECT_TRUE(memory.Rows().empty());
  // Blank input needs no memory at all.
  Engine missing(memory.folder() + "/none.mdb");
  EXPECT_EQ(missing.Respond("   "), kEmptyInputReply);
  EXPECT_EQ(missing.Respond("hello"), std::nullopt);
  missing.SetReportErrors(true);
  EXPECT_EQ(KindOf(*missing.Respond("hello")), Kind::kMissing);
  EXPECT_FALSE(std::filesystem::exists(missing.memory_path()));
}

TEST(EngineTest, AFailedSentenceLeavesTheOnesBeforeItAndNothingOfItself) {
  TempMemory memory;
  auto engine = Open(memory.path());
  testing::EnginePeer::Memory(*engine).file().connection().Execute(
      "CREATE TEMP TRIGGER refuse BEFORE INSERT ON main.word "
      "WHEN new.middle = 'boom' BEGIN SELECT RAISE(ABORT, 'refused'); END;");
  EXPECT_TRUE(IsTrouble(*engine->Respond("one two. three boom here. four")));
  EXPECT_EQ(memory.Sentences(), std::vector<std::string>{"One two."});
  EXPECT_FALSE(IsTrouble(*engine->Respond("three")));
}

// A memory deleted while the engine has it open, and a new one made in its
// place: the engine follows the file, and the old memory never leaks into
// the new one.
TEST(EngineTest, FollowsAMemoryFileThatWasReplaced) {
  TempMemory memory;
  memory.Fill(std::vector<std::string>(200, "Old words here."));
  auto engine = Open(memory.path());
  EXPECT_FALSE(IsTrouble(*engine->Respond("more old words")));
  std::filesystem::remove(memory.path());
  EXPECT_EQ(KindOf(*engine->Respond("lost words")), Kind::kMissing);
  memory.Replace();
  EXPECT_EQ(Open(memory.path())->Respond("new words"), "New words.");
  EXPECT_FALSE(IsTrouble(*engine->Respond("the engine goes on")));
  EXPECT_EQ(memory.Sentences(),
            (std::vector<std::string>{"New words.", "The engine goes on."}));
}

// Only Yes to the first question and OK to the second delete anything.
TEST(EngineTest, WipeAsksTwoQuestionsInTurn) {
  const std::vector<bool> cases[] = {{}, {false}, {true, false}, {true, true}};
  for (const std::vector<bool>& answers : cases) {
    TempMemory memory;
    auto engine = Open(memory.path());
    engine->Respond("remember this");
    std::vector<const WipeQuestion*> asked;
    if (!answers.empty()) {
      engine->SetConfirm([&](const WipeQuestion& question) {
        asked.push_back(&question);
        return answers.at(asked.size() - 1);
      });
    }
    engine->WipeMemory();
    const WipeQuestion* both[] = {&kWipeFirstQuestion, &kWipeSecondQuestion};
    EXPECT_TRUE(
        std::equal(asked.begin(), asked.end(), both, both + answers.size()));
    const bool wiped = answers == std::vector<bool>{true, true};
    EXPECT_EQ(memory.Rows().empty(), wiped);
    EXPECT_EQ(engine->WordFrequency("remember") == kUnknownWordCount, wiped);
  }
  // A wipe that fails half-way deletes nothing.
  TempMemory memory;
  memory.Fill({"Keep this."});
  Engine engine(memory.path(), nullptr,
                [](const WipeQuestion&) { return true; });
  // Quibbo's connections run no triggers of the file's own, only TEMP ones.
  testing::EnginePeer::Memory(engine).file().connection().Execute(
      "CREATE TEMP TRIGGER keep BEFORE DELETE ON word_count "
      "BEGIN SELECT RAISE(ABORT, 'kept'); END;");
  EXPECT_THROW(engine.WipeMemory(), Error);
  EXPECT_EQ(memory.Sentences(), Strings{"Keep this."});
}

}  // namespace
}  // namespace quibbo::testing
