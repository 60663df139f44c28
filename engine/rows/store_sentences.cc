// The store's view of the memory sentence by sentence, for the commands that
// work on the memory as a whole: export, forget and the statistics; and the
// sentence that holds a row, for replies that show where they came from.
#include <algorithm>
#include <limits>
#include <map>

#include "engine/rows/store.h"
#include "engine/rows/store_sql.h"
#include "engine/text/text.h"

namespace quibbo {
namespace {

using sqlite::Statement;
using namespace store_sql;

struct UnicaseLess {
  bool operator()(const std::string& a, const std::string& b) const {
    return CompareIgnoringCase(a, b) < 0;
  }
};

// Gathers rows (middle, position), given in id order, into sentences and
// calls `each` with every sentence it completes; Finish() gives the last.
// The first row starts a sentence whatever its position.
class SentenceGatherer {
 public:
  explicit SentenceGatherer(Store::EachSentence each)
      : each_(std::move(each)) {}
  void Add(const Statement& row) {
    if (count_ > 0 && row.ColumnInt(1) == 0) Finish();
    if (count_ > 0) sentence_ += ' ';
    sentence_ += row.ColumnText(0);
    ++count_;
  }
  void Finish() {
    if (count_ > 0) each_(sentence_, count_);
    sentence_.clear();
    count_ = 0;
  }

 private:
  Store::EachSentence each_;
  std::string sentence_;
  int64_t count_ = 0;
};

}  // namespace

void Store::ForEachSentence(const EachSentence& each) {
  SentenceGatherer sentences(each);
  statements_.ForEachRow(kRowsInOrder, {},
                         [&](const Statement& row) { sentences.Add(row); });
  sentences.Finish();
}

void Store::ForEachSentenceIn(const std::vector<IdSpan>& spans,
                              const EachSentence& each) {
  for (const IdSpan& span : spans) {
    // A span holds one sentence; only a memory changed meanwhile, which a
    // transaction rules out, could make it hold more.
    std::string text;
    int64_t count = 0;
    SentenceGatherer sentences([&](const std::string& sentence, int64_t n) {
      text += (text.empty() ? "" : " ") + sentence;
      count += n;
    });
    statements_.ForEachRow(kRowsInSpan, {span.first, span.end},
                           [&](const Statement& row) { sentences.Add(row); });
    sentences.Finish();
    if (count > 0) each(text, count);
  }
}

std::vector<IdSpan> Store::SentencesHolding(
    const std::vector<std::string>& words) {
  // Sentences found so far, by first id; each ends before `end`.
  std::map<int64_t, int64_t> found;
  for (const std::string& word : words) {
    for (const int64_t id : statements_.Ids(kIdsWithWord, {word})) {
      auto after = found.upper_bound(id);
      if (after != found.begin() && id < std::prev(after)->second) continue;
      found[statements_.Id(kSentenceStartAtOrBefore, {id})
                .value_or(std::numeric_limits<int64_t>::min())] =
          statements_.Id(kSentenceStartAfter, {id})
              .value_or(std::numeric_limits<int64_t>::max());
    }
  }
  std::vector<IdSpan> spans;
  for (const auto& [first, end] : found) spans.push_back({first, end});
  return spans;
}

int64_t Store::DeleteSentences(const std::vector<IdSpan>& spans) {
  std::map<std::string, int64_t, UnicaseLess> gone;
  int64_t rows = 0;
  for (const IdSpan& span : spans) {
    statements_.ForEachRow(kRowsInSpan, {span.first, span.end},
                           [&](const Statement& row) {
                             ++gone[row.ColumnText(0)];
                             ++rows;
                           });
    statements_.Run(kDeleteSpan, {span.first, span.end});
  }
  FlushCounts();
  std::vector<std::pair<std::string_view, int64_t>> delta;
  for (const auto& [word, count] : gone) delta.emplace_back(word, -count);
  AdjustCounts(delta);
  return rows;
}

std::optional<Store::Sentence> Store::SentenceHolding(int64_t id) {
  // Rows before the first row at position 0 start at the first row.
  const int64_t from = statements_.Id(kSentenceStartAtOrBefore, {id})
                           .value_or(std::numeric_limits<int64_t>::min());
  return Guard([&]() -> std::optional<Sentence> {
    Statement& rows = statements_.Prepared(kRowsFrom);
    sqlite::ScopedReset scope(rows);
    rows.Bind(1, from);
    Sentence sentence;
    sentence.span.end = std::numeric_limits<int64_t>::max();
    bool holds = false;
    while (rows.Step()) {
      const int64_t row = rows.ColumnInt(0);
      if (sentence.rows > 0 && rows.ColumnInt(2) == 0) {
        sentence.span.end = row;
        break;
      }
      if (sentence.rows++ == 0) {
        sentence.span.first = row;
      } else {
        sentence.text += ' ';
      }
      sentence.text += rows.ColumnText(1);
      holds = holds || row == id;
    }
    if (!holds) return std::nullopt;
    return sentence;
  });
}

int64_t Store::SentenceCount() { return statements_.Number(kCountSentences); }

}  // namespace quibbo
