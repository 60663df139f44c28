// Fuzz target: arbitrary bytes, cut into lines, go through Respond on a
// temporary memory, and through the text helpers learning relies on. Beyond
// the sanitizers' findings, it aborts when a line is not answered, when the
// memory gains other rows than the learning rules give, or when the
// case-insensitive order contradicts itself.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "engine/engine.h"
#include "engine/learner.h"
#include "engine/text.h"
#include "tests/reliability/learning_rules.h"
#include "tests/support/engine_peer.h"

namespace {

using quibbo::Engine;

[[noreturn]] void Fail(const std::string& what, std::string_view line) {
  std::fprintf(stderr, "respond_fuzzer: %s\nline (%zu bytes): %.200s\n",
               what.c_str(), line.size(), std::string(line).c_str());
  std::abort();
}

// One memory for the whole run, emptied whenever it grows large, so that
// every input meets a memory with something in it and each run stays fast.
class FuzzMemory {
 public:
  FuzzMemory() {
    std::string folder =
        (std::filesystem::temp_directory_path() / "quibbo-fuzz-XXXXXX")
            .string();
    if (mkdtemp(folder.data()) == nullptr) Fail("no temporary folder", "");
    folder_ = folder;
    quibbo::MemoryFile::Create(folder_ + "/qvd.mdb");
    engine_ = std::make_unique<Engine>(
        folder_ + "/qvd.mdb", std::make_unique<quibbo::SeededRandom>(1),
        [](const quibbo::WipeQuestion&) { return true; });
    engine_->SetReportErrors(true);
  }
  ~FuzzMemory() {
    engine_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  Engine& engine() { return *engine_; }

 private:
  std::string folder_;
  std::unique_ptr<Engine> engine_;
};

FuzzMemory& Memory() {
  static FuzzMemory memory;
  return memory;
}

void CheckTextHelpers(std::string_view a, std::string_view b) {
  if (quibbo::CompareIgnoringCase(a, a) != 0) Fail("a != a", a);
  int forward = quibbo::CompareIgnoringCase(a, b);
  int backward = quibbo::CompareIgnoringCase(b, a);
  if ((forward < 0) != (backward > 0) || (forward == 0) != (backward == 0)) {
    Fail("comparison is not antisymmetric", a);
  }
  // Replies are built from stored words, sentence starts upper-cased.
  if (quibbo::IsValidUtf8(a) && !(quibbo::IsValidUtf8(quibbo::UpperCase(a)) &&
                                  quibbo::IsValidUtf8(quibbo::UpperFirst(a)))) {
    Fail("upper-casing broke the text", a);
  }
  if (quibbo::CharacterCount(a) > a.size()) Fail("more characters than", a);
  size_t stops = 0;
  for (char c : a) stops += c == '.';
  if (quibbo::CutSentences(a).size() != stops + 1) Fail("lost a piece", a);
}

void RespondTo(std::string_view line) {
  Engine& engine = Memory().engine();
  quibbo::Store& store = quibbo::testing::EnginePeer::Memory(engine);
  const int64_t before = store.RowCount();
  std::optional<std::string> reply = engine.Respond(line);
  if (!reply) Fail("no reply", line);
  const int64_t added = store.RowCount() - before;
  // Lines hold no line break, so no composed reply holds the blank line
  // that follows the trouble message's first sentence.
  const bool trouble =
      reply->rfind("I am having trouble with your last sentence.\n\n", 0) == 0;
  if (quibbo::TrimSpaces(line).empty()) {
    if (*reply != quibbo::kEmptyInputReply || added != 0) {
      Fail("blank line not asked about", line);
    }
  } else if (!quibbo::IsValidUtf8(line)) {
    if (!trouble || added != 0) Fail("invalid text was not refused", line);
  } else if (int64_t rows = quibbo::testing::RowsLearnedFrom(line);
             added != rows) {
    Fail("stored " + std::to_string(added) + " rows, not " +
             std::to_string(rows),
         line);
  } else if (trouble && store.RowCount() != 0) {
    Fail("trouble on a sound memory: " + *reply, line);
  }
  if (store.RowCount() > 5000) {
    engine.WipeMemory();
    if (store.RowCount() != 0) Fail("the wipe left rows", line);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t middle = input.size() / 2;
  CheckTextHelpers(input.substr(0, middle), input.substr(middle));
  // Lines as quibbo-cli and the window hand them over; a few per input.
  size_t start = 0;
  for (int lines = 0; lines < 16 && start <= input.size(); ++lines) {
    size_t end = std::min(input.find('\n', start), input.size());
    RespondTo(input.substr(start, end - start));
    start = end + 1;
  }
  return 0;
}
