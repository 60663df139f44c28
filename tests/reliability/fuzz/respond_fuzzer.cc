// Fuzz target for `make fuzz`: arbitrary bytes, cut into lines, go through
// Respond on a temporary memory. Beyond the sanitizers' findings, it aborts
// when a line is not answered as it should be, or when the memory gains
// other rows than the learning rules give.
#include <cstdio>

#include "tests/support/child.h"

namespace {

using namespace quibbo;
namespace test = quibbo::testing;

void Check(bool ok, const char* what, std::string_view line) {
  if (ok) return;
  std::fprintf(stderr, "respond_fuzzer: %s\nline (%zu bytes): %.200s\n", what,
               line.size(), std::string(line).c_str());
  std::abort();
}

// One memory for the whole run, emptied whenever it grows large, so that
// every input meets a memory with something in it and each run stays fast.
const test::TempMemory memory;
const auto counter = memory.Connect();
Engine engine(memory.path(), std::make_unique<SeededRandom>(1),
              [](WipeQuestion) { return true; });

int64_t Rows() { return counter->QueryInt("SELECT count(*) FROM word"); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  // Lines as quibbo-cli and the window hand them over; a few per input.
  for (size_t start = 0, lines = 0; start <= size && lines < 16; ++lines) {
    const std::string_view line =
        input.substr(start, std::min(input.find('\n', start), size) - start);
    start += line.size() + 1;
    const int64_t before = Rows();
    const Response response = engine.Respond(line);
    const int64_t added = Rows() - before;
    if (TrimSpaces(line).empty()) {
      Check(response.text == kEmptyInputReply && added == 0, "blank not asked",
            line);
    } else if (!IsValidUtf8(line)) {
      Check(test::KindOf(response) == Error::Kind::kInvalidText && added == 0,
            "not refused", line);
    } else {
      Check(added == test::RowsLearnedFrom(line), "wrong rows", line);
      Check(!response.failure || Rows() == 0, "trouble", line);
    }
    if (Rows() > 5000) engine.WipeMemory();
  }
  return 0;
}
