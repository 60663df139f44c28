// Replies that show where they came from, through quibbo-cli: the sources
// of long seeded conversations against the memory's own sentences, the text
// form, and the commands that show and forget one sentence.
#include <gmock/gmock.h>

#include <map>

#include "cli/explanation.h"
#include "quibbo/memory.h"
#include "tests/support/child.h"

namespace quibbo::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// Lines of a few words in several letter cases, so that walks cross
// sentences, loop on repeated words and meet empty words (two spaces).
Strings WalkLines(unsigned seed, int count) {
  return RandomLines(seed, count,
                     {"the", "The", "cat", "sat", "on", "mat", "a", "ran",
                      "run", "RUN", "", "dog."},
                     2, 10);
}

// The sentences as export writes them, by the id of their first row.
std::map<int64_t, std::string> SentencesById(const TempMemory& memory) {
  std::map<int64_t, std::string> by_id;
  const auto exported = JsonLines(Cli(memory, "export - --json").out);
  for (const WordRecord& row : memory.Rows())
    if (row.position == 0) by_id[row.id] = exported.at(by_id.size());
  return by_id;
}

// The same replies with and without --explain; each reply's sources cover
// its words once, in order, each with a run of its sentence's words.
TEST(ExplainTest, SourcesCoverEachReplyWithRunsOfTheirSentences) {
  for (unsigned seed = 1; seed <= 2; ++seed) {
    const Strings said = WalkLines(seed + 10, 200);
    TempMemory plain(WalkLines(seed, 60)), explained(WalkLines(seed, 60));
    const std::string options = "--json --seed " + std::to_string(seed);
    const Outcome off = Cli(plain, options, Lines(said));
    const Outcome on = Cli(explained, options + " --explain", Lines(said));
    ASSERT_EQ(Replies(on.out), Replies(off.out)) << seed;
    const auto sentences = SentencesById(explained);
    for (const nlohmann::json& json : JsonLines(on.out)) {
      const std::string line = json.dump();
      const Strings words = Cut(json["quibbo"].get<std::string>(), ' ');
      EXPECT_TRUE(json["seed"].is_string()) << line;
      size_t next = 0;
      for (const auto& source : json["sources"]) {
        const std::string& text = sentences.at(source["sentence"]);
        EXPECT_EQ(source["text"], text);
        const size_t first = source["words"][0], last = source["words"][1];
        ASSERT_TRUE(first == next && first <= last && last < words.size())
            << line;
        const Strings run(words.begin() + first, words.begin() + last + 1);
        const Strings in = Cut(text, ' ');
        EXPECT_FALSE(std::ranges::search(in, run).empty()) << line;
        next = last + 1;
      }
      EXPECT_EQ(next, words.size()) << line;
    }
  }
}

// Plain text: a seed line, then each sentence with its run in brackets,
// which together make the reply; nothing for the empty-input reply or the
// trouble message. A long sentence is cut around its run to 80 columns.
TEST(ExplainTest, TextShowsRunsInBracketsWithin80Columns) {
  TempMemory memory({"Alpha beta gamma.", "Delta beta epsilon."});
  const Outcome chat =
      Cli(memory, "--explain --seed 3", "say beta\n \nzeta beta\n");
  const Outcome trouble = Cli(memory, "--explain --memory @/none", "hi\n");
  EXPECT_THAT(trouble.out, Not(HasSubstr("Seed")));
  std::istringstream lines(chat.out);
  std::vector<std::pair<std::string, std::string>> replies;  // reply, runs
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with("Quibbo: ")) replies.emplace_back(line.substr(8), "");
    const size_t open = line.find('['), close = line.find(']');
    if (line.starts_with("  sentence ") && open < close) {
      std::string& runs = replies.back().second;
      runs +=
          (runs.empty() ? "" : " ") + line.substr(open + 1, close - open - 1);
    }
  }
  ASSERT_EQ(replies.size(), 3u) << chat.out;
  EXPECT_THAT(chat.out, HasSubstr("\nQuibbo: Please say something\n\n"));
  EXPECT_EQ(replies[0].first, replies[0].second);
  EXPECT_EQ(replies[2].first, replies[2].second);

  std::string text = "日本";
  for (int i = 1; i < 40; ++i) text += i % 2 ? " wörd" : " 日本";
  Explanation explanation{"x", SeedRule::kChance, true, {}};
  for (int64_t at : {0, 19, 38})
    explanation.sources.push_back({12, text, 0, 1, at});
  for (const std::string& line : Cut(cli::ExplanationText(explanation), '\n')) {
    EXPECT_LE(CharacterCount(line), cli::kExplanationWidth) << line;
    EXPECT_TRUE(IsValidUtf8(line)) << line;
  }
  EXPECT_THAT(cli::ExplanationText(explanation), HasSubstr("[wörd 日本]"));
}

// sentence ID: the sentence of any of its rows, as export writes it; rows
// before the first sentence start, after an edit, make one of their own.
// forget --sentence deletes exactly the sentence holding the row, keeps the
// counts exact and leaves no trace beside a conversation that keeps the
// files open. A sentence gone before the answer, its ids given to another
// since, is not deleted. Their refusals are tried with the others.
TEST(SentenceTest, ShowsAndForgetsExactlyTheSentenceOfARow) {
  TempMemory memory({"One two three.", "Zanzibarquux  five.", "Six."});
  memory.Execute("DELETE FROM word WHERE id = 1;");
  const std::pair<std::string, std::string> kShown[] = {
      {"3", "2: two three."},
      {"4", "4: Zanzibarquux  five."},
      {"7", "7: Six."}};
  for (const auto& [id, shown] : kShown)
    EXPECT_EQ(Cli(memory, "sentence " + id).out, shown + "\n");
  EXPECT_EQ(Cli(memory, "sentence 6 --json").out,
            "{\"sentence\":4,\"text\":\"Zanzibarquux  five.\"}\n");

  Child chat(Program("quibbo-cli"), Words("--json", memory), "hello\n", true);
  ASSERT_TRUE(WaitUntil([&] { return chat.out().ends_with("}\n"); }));
  std::vector<WordRecord> rows = memory.Rows();
  const Outcome gone = Cli(memory, "forget --sentence 5 --yes");
  EXPECT_THAT(gone.out, HasSubstr("Forgot 1 sentence (3 words)"));
  rows.erase(rows.begin() + 2, rows.begin() + 5);
  EXPECT_EQ(memory.Rows(), rows);
  EXPECT_EQ(MiscountedWords(memory), 0);
  for (const std::string& file : {memory.path(), memory.path() + "-wal"})
    EXPECT_EQ(FileBytes(file).find("anzibarquux"), std::string::npos) << file;

  Child asking(Program("quibbo-cli"), Words("forget --sentence 8", memory), "",
               true);
  ASSERT_TRUE(WaitUntil([&] { return asking.out().ends_with("[y/N] "); }));
  Forget(memory.path(), {"hello"});
  memory.Fill({"Other."});
  asking.Write("y\n");
  EXPECT_EQ(asking.Wait(std::chrono::seconds(10)), 3);
  EXPECT_EQ(memory.Rows().back().middle, "Other.");
}

}  // namespace
}  // namespace quibbo::testing
