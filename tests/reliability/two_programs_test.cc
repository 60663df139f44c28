// Two programs on one memory at the same time: a bulk learn beside a
// conversation, and two conversations. Both finish without an error that
// waiting briefly would have avoided, and every sentence either stored is
// there, whole, in the order its program stored it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "engine/learner.h"
#include "tests/reliability/child_process.h"
#include "tests/reliability/memory_check.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_memory.h"

namespace quibbo {
namespace {

using testing::Child;
using ::testing::IsEmpty;
using testing::IsTrouble;
using testing::MemoryState;
using testing::ReadMemory;
using testing::TempMemory;
using namespace std::chrono_literals;

std::string Cli() { return testing::ProgramDir() + "/quibbo-cli"; }

std::vector<std::string> Lines(const std::string& tag, int count) {
  std::vector<std::string> lines;
  for (int i = 0; i < count; ++i) {
    std::string n = tag + std::to_string(i);
    lines.push_back(n + " says hello. and " + n + " says more");
  }
  return lines;
}

// Runs the programs side by side until all have ended, two minutes at most.
void RunSideBySide(const std::vector<Child*>& programs) {
  const auto until = Child::Clock::now() + 120s;
  bool talking = true;
  while (talking && Child::Clock::now() < until) {
    talking = false;
    for (Child* program : programs) {
      program->Pump(Child::Clock::now() + 5ms);
      talking = talking || program->Talking();
    }
  }
  for (Child* program : programs) {
    EXPECT_EQ(program->Wait(Child::Clock::now() + 10s), 0) << program->err();
  }
}

// No reply of a conversation may be the trouble message.
void ExpectUntroubled(const Child& chat, size_t lines) {
  std::istringstream out(chat.out());
  std::string json;
  size_t replies = 0;
  while (std::getline(out, json)) {
    ++replies;
    nlohmann::json reply = nlohmann::json::parse(json)["quibbo"];
    ASSERT_TRUE(reply.is_string());
    EXPECT_FALSE(IsTrouble(reply.get<std::string>())) << reply;
  }
  EXPECT_EQ(replies, lines);
}

// Every sentence of each program's lines is stored once, whole, and in the
// program's order; nothing else was added.
void ExpectAllStored(const MemoryState& before, const std::string& path,
                     const std::vector<std::vector<std::string>>& programs) {
  const MemoryState after = ReadMemory(path);
  EXPECT_EQ(after.integrity, "ok");
  EXPECT_THAT(testing::SentenceProblems(after.rows), IsEmpty());
  std::vector<std::string> stored = testing::StoredSentences(
      {after.rows.begin() + before.rows.size(), after.rows.end()});
  std::map<std::string, size_t> where;
  for (size_t i = 0; i < stored.size(); ++i) {
    EXPECT_TRUE(where.emplace(stored[i], i).second) << "twice: " << stored[i];
  }
  size_t expected = 0;
  for (const std::vector<std::string>& lines : programs) {
    size_t last = 0;
    bool first = true;
    for (const std::string& line : lines) {
      for (const std::string& sentence : CutSentences(line)) {
        ++expected;
        auto found = where.find(sentence);
        ASSERT_NE(found, where.end()) << "lost: " << sentence;
        EXPECT_TRUE(first || found->second > last) << "out of order";
        last = found->second;
        first = false;
      }
    }
  }
  EXPECT_EQ(stored.size(), expected);
}

TEST(TwoProgramsTest, BulkLearnBesideAConversation) {
  TempMemory memory;
  memory.Fill({"Something to start with."});
  const MemoryState before = ReadMemory(memory.path());
  std::vector<std::string> book = Lines("book", 40000);
  const std::string file = memory.folder() + "/book.txt";
  {
    std::ofstream out(file);
    for (const std::string& line : book) out << line << "\n";
  }
  std::vector<std::string> talk = Lines("talk", 300);

  Child learn(Cli(), {"learn", file, "--memory", memory.path()});
  Child chat(Cli(), {"--json", "--memory", memory.path()});
  for (const std::string& line : talk) chat.Send(line + "\n");
  chat.CloseInputWhenSent();
  RunSideBySide({&learn, &chat});

  ExpectUntroubled(chat, talk.size());
  ExpectAllStored(before, memory.path(), {book, talk});
}

TEST(TwoProgramsTest, TwoConversations) {
  TempMemory memory;
  memory.Fill({"Something to start with."});
  const MemoryState before = ReadMemory(memory.path());
  std::vector<std::string> one = Lines("one", 400);
  std::vector<std::string> two = Lines("two", 400);

  Child first(Cli(), {"--json", "--memory", memory.path()});
  Child second(Cli(), {"--json", "--memory", memory.path()});
  for (const std::string& line : one) first.Send(line + "\n");
  for (const std::string& line : two) second.Send(line + "\n");
  first.CloseInputWhenSent();
  second.CloseInputWhenSent();
  RunSideBySide({&first, &second});

  ExpectUntroubled(first, one.size());
  ExpectUntroubled(second, two.size());
  ExpectAllStored(before, memory.path(), {one, two});
}

}  // namespace
}  // namespace quibbo
