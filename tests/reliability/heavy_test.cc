// The slow runs, on large inputs, labelled "heavy": two programs on one
// memory at once. After each, the memory is sound, every sentence in it
// whole and in the order it was said, and nothing answered is missing.
#include <fstream>

#include "tests/support/child.h"

namespace quibbo::testing {
namespace {

// quibbo-cli learning `script` from a file, or talking it through.
Child Start(const TempMemory& memory, bool learn, const Strings& script) {
  if (learn) std::ofstream(memory.folder() + "/book") << Lines(script);
  return Child(Program("quibbo-cli"),
               Words(learn ? "learn @/book" : "chat --json", memory),
               learn ? "" : Lines(script));
}

// Both finish without an error that waiting briefly would have avoided.
TEST(HeavyTest, TwoProgramsOnOneMemoryStoreEverySentenceOnce) {
  for (const bool learn : {true, false}) {  // beside a conversation
    TempMemory memory({"Something to start with."});
    const Strings scripts[] = {Script("1x", learn ? 40000 : 400),
                               Script("2x", 400)};
    Child first = Start(memory, learn, scripts[0]);
    Child second = Start(memory, false, scripts[1]);
    EXPECT_EQ(first.Wait(std::chrono::minutes(3)), 0) << first.err();
    EXPECT_EQ(second.Wait(std::chrono::minutes(3)), 0) << second.err();
    const std::string out = (learn ? "" : first.out()) + second.out();
    EXPECT_EQ(Failures(out), Kinds(Replies(out).size())) << out;
    // Each program's sentences are there once, whole, in the order said.
    const Strings stored = memory.Sentences(4);
    for (const char* tag : {"1x", "2x"}) {
      Strings mine;
      std::ranges::copy_if(stored, std::back_inserter(mine), [&](auto& s) {
        return s.find(tag) != std::string::npos;
      });
      EXPECT_EQ(mine, SentencesOf(scripts[*tag == '2']));
    }
    EXPECT_EQ(stored.size(),
              SentencesOf(scripts[0]).size() + SentencesOf(scripts[1]).size());
  }
}

}  // namespace
}  // namespace quibbo::testing
