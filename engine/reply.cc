#include "engine/reply.h"

#include "engine/error.h"
#include "engine/text.h"

namespace quibbo {
namespace {

// Steps from `from` to one of the rows holding the same word pair, on the
// side the walk is heading for, each equally likely.
WordRecord Step(Store& store, RandomSource& random, Direction direction,
                const WordRecord& from) {
  return store.Step(direction, from,
                    [&random](uint64_t n) { return random.Below(n); });
}

// Prepends words from `current` back to the start of a sentence, each
// followed by a space.
void WalkBackward(Store& store, RandomSource& random, WordRecord current,
                  std::string* reply) {
  for (int step = 0; step < kMaxWalkSteps; ++step) {
    if (!current.previous) {
      *reply = current.middle + " " + *reply;
      return;
    }
    current = Step(store, random, Direction::kBackward, current);
    // The word as the row stepped to stores it.
    *reply = current.next.value_or("") + " " + *reply;
  }
}

// Appends words from `current` on to the end of a sentence, each after a
// space.
void WalkForward(Store& store, RandomSource& random, WordRecord current,
                 std::string* reply) {
  for (int step = 0; step < kMaxWalkSteps; ++step) {
    if (!current.next) {
      *reply += " " + current.middle;
      return;
    }
    current = Step(store, random, Direction::kForward, current);
    *reply += " " + current.previous.value_or("");
  }
}

}  // namespace

std::string ComposeReply(Store& store, RandomSource& random,
                         const Intake& intake) {
  // Counting every row of a large memory would take longer than the reply.
  const int64_t rows = store.RowsUpTo(kSmallMemoryRows);
  if (rows == 0) {
    throw EmptyMemory();
  }
  const bool small_memory = rows < kSmallMemoryRows;
  const std::string last_sentence =
      UpperCase(TrimSpaces(intake.sentences.back()));
  bool jitter = small_memory;
  // Views of the intake's words; a conditional mixing a string and "" would
  // make a temporary string that dies at once.
  std::string_view seed =
      intake.seed_word ? std::string_view(*intake.seed_word) : "";
  std::string reply;
  for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
    reply.clear();
    const int64_t drawn =
        store.DrawId([&random](uint64_t n) { return random.Below(n); });
    if (attempt > 0) {
      seed =
          intake.fallback_word ? std::string_view(*intake.fallback_word) : "";
    }
    std::optional<int64_t> found = store.NextIdWithWord(seed, drawn);
    if (!found) found = store.LastIdWithWord(seed);
    WordRecord start = store.Row(found.value_or(drawn));
    if (jitter) {
      // One time in four each: the same position in the nearest earlier
      // sentence, or in the nearest later one; otherwise stay.
      uint64_t shift = random.Below(4);
      if (shift == 1 || shift == 2) {
        std::optional<int64_t> moved = store.NearestIdAtPosition(
            start.position, start.id,
            shift == 1 ? Direction::kBackward : Direction::kForward);
        if (moved) start = store.Row(*moved);
      }
    }

    WalkBackward(store, random, start, &reply);
    reply = std::string(TrimSpaces(reply));
    if (start.next) {
      // The forward walk goes on from the row stored right after the start:
      // the word that followed the start word where it was learned, in a
      // memory only Quibbo wrote. After the last row there is none to go on
      // from, and the reply ends with the start word.
      if (std::optional<WordRecord> after = store.RowAfter(start.id)) {
        WalkForward(store, random, *after, &reply);
      }
    }

    jitter = true;
    if (small_memory || UpperCase(TrimSpaces(reply)) != last_sentence) break;
  }
  return reply;
}

}  // namespace quibbo
