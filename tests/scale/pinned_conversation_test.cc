// A fixed conversation over a small vocabulary, so that words and word pairs
// repeat often, at many positions and in several letter cases, as in a large
// memory. Its replies are pinned so that no change made for speed can change
// what the engine answers; it also feeds the checks of the walk's candidates
// and of the upgrade of old memories.
#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <iterator>
#include <memory>

#include "engine/engine.h"
#include "engine/learner.h"
#include "engine/schema.h"
#include "engine/sqlite.h"
#include "engine/statistics.h"
#include "tests/support/engine_peer.h"
#include "tests/support/temp_memory.h"

namespace quibbo::testing {
namespace {

// A fixed linear congruential generator: std distributions differ between
// standard libraries, and these lines must not.
class Lcg {
 public:
  explicit Lcg(uint64_t seed) : state_(seed) {}
  uint32_t Below(uint32_t bound) {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<uint32_t>(state_ >> 33) % bound;
  }
  // Skewed towards small values, so a few words are very common.
  uint32_t Skewed(uint32_t bound) { return Below(Below(bound) + 1); }

 private:
  uint64_t state_;
};

// Common words first. Case variants and words whose case foldings meet
// ("straße", "STRASSE") test that the store matches words as the collation
// does.
constexpr std::array<const char*, 64> kWords = {
    "the",  "a",     "of",    "to",     "and",     "is",    "in",   "it",
    "you",  "that",  "I",     "was",    "for",     "on",    "are",  "with",
    "as",   "be",    "at",    "this",   "have",    "from",  "or",   "one",
    "had",  "by",    "word",  "but",    "not",     "what",  "all",  "were",
    "we",   "when",  "your",  "can",    "said",    "there", "use",  "an",
    "each", "which", "she",   "do",     "how",     "their", "if",   "will",
    "up",   "other", "about", "out",    "many",    "then",  "them", "cat",
    "mat",  "über",  "Über",  "straße", "STRASSE", "naïve", "café", "time"};

// Lines said again and again, so that replies repeating them get rejected;
// and lines with nothing to learn or nothing known.
constexpr std::array<const char*, 9> kRepeated = {"hello there",
                                                  "how are you?",
                                                  "the cat sat on the mat",
                                                  "I like it",
                                                  "what time is it?",
                                                  "the the the cat",
                                                  "zebra crossing",
                                                  "   ",
                                                  ". ."};

std::string Word(Lcg& random) {
  std::string word = kWords[random.Skewed(kWords.size())];
  const uint32_t style = random.Below(20);
  if (style <= 1) {
    word += style == 0 ? ',' : '?';
  } else if (style == 2) {
    for (char& c : word) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
  } else if (style == 3 && word[0] >= 'a' && word[0] <= 'z') {
    word[0] -= 'a' - 'A';
  }
  return word;
}

std::string Sentence(Lcg& random) {
  std::string sentence;
  int words = 1 + static_cast<int>(random.Skewed(24));
  for (int i = 0; i < words; ++i) {
    if (i > 0) sentence += random.Below(60) == 0 ? "  " : " ";
    sentence += Word(random);
  }
  return sentence;
}

// `count` lines, the same on every platform for the same `seed`.
std::vector<std::string> ConversationLines(int count, uint64_t seed) {
  Lcg random(seed);
  std::vector<std::string> lines;
  for (int i = 0; i < count; ++i) {
    if (random.Below(8) == 0) {
      lines.emplace_back(kRepeated[random.Below(kRepeated.size())]);
      continue;
    }
    std::string line = Sentence(random);
    for (int more = random.Below(3); more > 0; --more) {
      line += random.Below(2) ? ". " : ".";
      line += Sentence(random);
    }
    if (random.Below(3) == 0) line += ".";
    lines.push_back(std::move(line));
  }
  return lines;
}

void LearnConversation(const std::string& path, int count, uint64_t seed) {
  auto store = Store::Open(path, Store::Access::kReadWrite);
  for (const std::string& line : ConversationLines(count, seed)) {
    Learn(*store, line);
  }
}

// Talks `lines`, in order, to an engine seeded with `seed`; each exchange
// as the line, a tab and the reply.
std::vector<std::string> Converse(const std::string& memory_path,
                                  const std::vector<std::string>& lines,
                                  uint64_t seed) {
  Engine engine(memory_path, std::make_unique<SeededRandom>(seed));
  engine.SetReportErrors(true);
  std::vector<std::string> exchanges;
  for (const std::string& line : lines) {
    exchanges.push_back(line + '\t' +
                        engine.Respond(line).value_or("<no reply>"));
  }
  return exchanges;
}

// The first column of every row `sql` selects, with ?1, ?2... bound to
// `values`.
template <typename... Values>
std::vector<int64_t> Select(Store& store, const char* sql, Values... values) {
  sqlite::Statement select(store.file().connection(), sql);
  int index = 0;
  (select.Bind(++index, values), ...);
  std::vector<int64_t> column;
  while (select.Step()) column.push_back(select.ColumnInt(0));
  return column;
}

template <typename... Values>
int64_t One(Store& store, const char* sql, Values... values) {
  return Select(store, sql, values...).at(0);
}

// The recorded replies must never be edited to make this pass.
TEST(PinnedRepliesTest, SeededConversationAnswersAsRecorded) {
  std::ifstream in(QUIBBO_SCALE_TEST_DIR "/pinned_replies.tsv");
  std::vector<std::string> pinned;
  for (std::string row; std::getline(in, row);) pinned.push_back(row);
  ASSERT_EQ(pinned.size(), 1500u);

  TempMemory memory;
  const std::vector<std::string> actual =
      Converse(memory.path(), ConversationLines(1500, 20240611), 7);
  int differences = 0;
  for (size_t i = 0; i < pinned.size() && differences < 5; ++i) {
    EXPECT_EQ(actual[i], pinned[i]) << "line " << i + 1;
    differences += actual[i] != pinned[i];
  }
}

// The store finds candidates through one index; they must be exactly the
// rows, in the order, that the plain queries select.
TEST(CandidatesTest, EveryStepFindsWhatThePlainQuerySelects) {
  TempMemory memory;
  LearnConversation(memory.path(), 400, 11);
  auto store = Store::Open(memory.path(), Store::Access::kReadOnly);
  int checked = 0;
  for (const WordRecord& row : memory.Rows()) {
    const std::string_view middle = row.middle;
    if (row.previous) {
      EXPECT_EQ(StepIds(*store, Direction::kBackward, row),
                Select(*store,
                       "SELECT id FROM word WHERE middle = ?1 AND next = ?2 "
                       "AND position <= ?3 ORDER BY position, id",
                       std::string_view(*row.previous), middle, row.position))
          << "backward from row " << row.id;
      ++checked;
    }
    if (row.next) {
      EXPECT_EQ(StepIds(*store, Direction::kForward, row),
                Select(*store,
                       "SELECT id FROM word WHERE previous = ?1 AND middle = "
                       "?2 AND position >= ?3 ORDER BY position, id",
                       middle, std::string_view(*row.next), row.position))
          << "forward from row " << row.id;
      ++checked;
    }
  }
  EXPECT_GT(checked, 5000);
}

// Memories made before words were counted in a table of their own.
class StoreUpgradeTest : public ::testing::Test {
 protected:
  // Learns, then turns the memory into one as the first version made it:
  // three indexes, no word counts, schema version 0.
  void SetUp() override {
    LearnConversation(memory_.path(), 300, 5);
    Store::Open(memory_.path(), Store::Access::kReadWrite)
        ->file()
        .connection()
        .Execute(
            "DROP TABLE word_count;"
            "CREATE INDEX word_by_previous ON word (previous, middle, "
            "position) WHERE previous IS NOT NULL;"
            "PRAGMA user_version = 0;");
  }

  // Every word's count, as counting its rows gives it.
  void ExpectCountsMatchRows(Store& store) {
    for (const char* word :
         {"the", "THE", "über", "strasse", "Hello", "", "cat.", "nowhere"}) {
      const int64_t rows = One(
          store, "SELECT count(*) FROM word WHERE middle = ?1 COLLATE unicase",
          std::string_view(word));
      EXPECT_EQ(WordFrequency(store, word),
                rows == 0 ? kUnknownWordCount : rows)
          << word;
    }
  }

  TempMemory memory_;
};

TEST_F(StoreUpgradeTest, TheFirstWritableOpenUpgradesOnceAndAnswersAsBefore) {
  {
    auto store = Store::Open(memory_.path(), Store::Access::kReadWrite);
    EXPECT_EQ(One(*store, "PRAGMA user_version"), schema::kVersion);
    EXPECT_EQ(One(*store,
                  "SELECT count(*) FROM sqlite_master WHERE name = "
                  "'word_by_previous'"),
              0);
  }
  // The engine's open finds nothing left to do; it answers as on a memory
  // that was never old, and what it learns is counted.
  TempMemory untouched;
  LearnConversation(untouched.path(), 300, 5);
  const std::vector<std::string> inputs = ConversationLines(40, 6);
  EXPECT_EQ(Converse(memory_.path(), inputs, 3),
            Converse(untouched.path(), inputs, 3));
  EXPECT_EQ(memory_.Rows(), untouched.Rows());
  auto store = Store::Open(memory_.path(), Store::Access::kReadOnly);
  EXPECT_EQ(One(*store, "SELECT sum(count) FROM word_count"),
            static_cast<int64_t>(memory_.Rows().size()));
  ExpectCountsMatchRows(*store);
}

TEST_F(StoreUpgradeTest, AReaderCountsRowsAndLeavesTheFileAsItWas) {
  auto Bytes = [this] {
    std::ifstream in(memory_.path(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  const std::string before = Bytes();
  {
    auto store = Store::Open(memory_.path(), Store::Access::kReadOnly);
    EXPECT_EQ(One(*store, "PRAGMA user_version"), 0);
    ExpectCountsMatchRows(*store);
    MemoryStatistics stats = ReadStatistics(memory_.path(), 3);
    EXPECT_GT(stats.distinct_words, 3);
    ASSERT_EQ(stats.top_words.size(), 3u);
    EXPECT_GE(stats.top_words[0].count, stats.top_words[1].count);
  }
  EXPECT_EQ(Bytes(), before);
}

}  // namespace
}  // namespace quibbo::testing
