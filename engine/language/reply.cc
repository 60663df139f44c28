#include "engine/language/reply.h"

#include <algorithm>

#include "engine/failure/failures.h"
#include "engine/text/text.h"

namespace quibbo {
namespace {

// A word a walk read, noted only for an explanation: the row it was read
// from, its position in that row's sentence, and whether it is the empty
// word (two spaces in a row), which trimming the reply may take away.
struct Read {
  int64_t row;
  int64_t position;
  bool empty;
};
using Reads = std::vector<Read>;

void Note(Reads* reads, const WordRecord& row, int64_t position,
          std::string_view word) {
  if (reads) reads->push_back({row.id, position, word.empty()});
}

// Steps from `from` to one of the rows holding the same word pair, on the
// side the walk is heading for, each equally likely.
WordRecord Step(Store& store, RandomSource& random, Direction direction,
                const WordRecord& from) {
  return store.walk().Step(direction, from,
                           [&random](uint64_t n) { return random.Below(n); });
}

// Prepends words from `current` back to the start of a sentence, each
// followed by a space; notes in `reads`, if given, where each came from, in
// the order read.
void WalkBackward(Store& store, RandomSource& random, WordRecord current,
                  std::string* reply, Reads* reads) {
  for (int step = 0; step < kMaxWalkSteps; ++step) {
    if (!current.previous) {
      *reply = current.middle + " " + *reply;
      Note(reads, current, current.position, current.middle);
      return;
    }
    current = Step(store, random, Direction::kBackward, current);
    // The word as the row stepped to stores it.
    *reply = current.next.value_or("") + " " + *reply;
    Note(reads, current, current.position + 1, WordOrEmpty(current.next));
  }
}

// Appends words from `current` on to the end of a sentence, each after a
// space; notes in `reads`, if given, where each came from.
void WalkForward(Store& store, RandomSource& random, WordRecord current,
                 std::string* reply, Reads* reads) {
  for (int step = 0; step < kMaxWalkSteps; ++step) {
    if (!current.next) {
      *reply += " " + current.middle;
      Note(reads, current, current.position, current.middle);
      return;
    }
    current = Step(store, random, Direction::kForward, current);
    *reply += " " + current.previous.value_or("");
    Note(reads, current, current.position - 1, WordOrEmpty(current.previous));
  }
}

// The reads of the backward walk, in reply order, that trimming the spaces
// of its text keeps: empty words at either end go with the spaces beside
// them. When every word is empty the text is empty, which cut at spaces is
// one empty word: the last read.
void KeepTrimmed(Reads* reads) {
  auto kept = [](const Read& read) { return !read.empty; };
  auto first = std::find_if(reads->begin(), reads->end(), kept);
  if (first == reads->end()) {
    reads->erase(reads->begin(), reads->end() - 1);
    return;
  }
  reads->erase(std::find_if(reads->rbegin(), reads->rend(), kept).base(),
               reads->end());
  reads->erase(reads->begin(), first);
}

// The rows of `reads`, in order, one for each run of words read from one
// row.
std::vector<ReplyTrace::Row> RowsRead(const Reads& reads) {
  std::vector<ReplyTrace::Row> rows;
  for (const Read& read : reads) {
    if (!rows.empty() && rows.back().id == read.row &&
        rows.back().position + static_cast<int64_t>(rows.back().words) ==
            read.position) {
      ++rows.back().words;
    } else {
      rows.push_back({read.row, read.position, 1});
    }
  }
  return rows;
}

}  // namespace

std::string ComposeReply(Store& store, RandomSource& random,
                         const Intake& intake, Explanation* explanation) {
  // Counting every row of a large memory would take longer than the reply.
  const int64_t rows = store.walk().RowsUpTo(kSmallMemoryRows);
  if (rows == 0) {
    throw EmptyMemory();
  }
  const bool small_memory = rows < kSmallMemoryRows;
  const std::string last_sentence =
      UpperCase(TrimSpaces(intake.sentences.back()));
  bool jitter = small_memory;
  // Views of the intake's words.
  std::string_view seed = WordOrEmpty(intake.seed_word);
  std::string reply;
  // Only for an explanation.
  ReplyTrace trace;
  Reads backward, forward;
  Reads* const backward_reads = explanation ? &backward : nullptr;
  Reads* const forward_reads = explanation ? &forward : nullptr;
  for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
    reply.clear();
    backward.clear();
    forward.clear();
    const int64_t drawn =
        store.walk().DrawId([&random](uint64_t n) { return random.Below(n); });
    if (attempt > 0) {
      seed = WordOrEmpty(intake.fallback_word);
    }
    std::optional<int64_t> found = store.walk().NextIdWithWord(seed, drawn);
    if (!found) found = store.walk().LastIdWithWord(seed);
    WordRecord start = store.walk().Row(found.value_or(drawn));
    if (explanation) {
      // Without a word to search for, the search finds an empty word
      // (two spaces in a row) wherever the draw fell, if any.
      const bool chance = !found || seed.empty();
      trace.rule = chance         ? SeedRule::kChance
                   : attempt == 0 ? SeedRule::kRarestWord
                                  : SeedRule::kFallbackWord;
      trace.seed = chance ? start.middle : std::string(seed);
      trace.moved = false;
    }
    if (jitter) {
      // One time in four each: the same position in the nearest earlier
      // sentence, or in the nearest later one; otherwise stay.
      uint64_t shift = random.Below(4);
      if (shift == 1 || shift == 2) {
        std::optional<int64_t> moved = store.walk().NearestIdAtPosition(
            start.position, start.id,
            shift == 1 ? Direction::kBackward : Direction::kForward);
        if (moved) start = store.walk().Row(*moved);
        trace.moved = moved.has_value();
      }
    }

    WalkBackward(store, random, start, &reply, backward_reads);
    reply = std::string(TrimSpaces(reply));
    if (start.next) {
      // The forward walk goes on from the row stored right after the start:
      // the word that followed the start word where it was learned, in a
      // memory only Quibbo wrote. After the last row there is none to go on
      // from, and the reply ends with the start word.
      if (std::optional<WordRecord> after = store.walk().RowAfter(start.id)) {
        WalkForward(store, random, *after, &reply, forward_reads);
      }
    }

    jitter = true;
    if (small_memory || UpperCase(TrimSpaces(reply)) != last_sentence) break;
  }
  if (explanation) {
    std::reverse(backward.begin(), backward.end());
    KeepTrimmed(&backward);
    backward.insert(backward.end(), forward.begin(), forward.end());
    trace.rows = RowsRead(backward);
    *explanation = Explain(store, trace);
  }
  return reply;
}

}  // namespace quibbo
