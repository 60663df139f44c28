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

struct UnicaseLess {
  bool operator()(const std::string& a, const std::string& b) const {
    return CompareIgnoringCase(a, b) < 0;
  }
};

// Reads rows (middle, position) in id order and calls `each` with every
// sentence they hold; the first row starts one whatever its position.
void CollectSentences(Statement& rows, const Store::EachSentence& each) {
  std::string sentence;
  int64_t count = 0;
  while (rows.Step()) {
    if (count > 0 && rows.ColumnInt(1) == 0) {
      each(sentence, count);
      sentence.clear();
      count = 0;
    }
    if (count > 0) sentence += ' ';
    sentence += rows.ColumnText(0);
    ++count;
  }
  if (count > 0) each(sentence, count);
}

}  // namespace

void Store::ForEachSentence(const EachSentence& each) {
  Guard([&] {
    Statement& rows = Prepared(store_sql::kRowsInOrder);
    sqlite::ScopedReset scope(rows);
    CollectSentences(rows, each);
  });
}

void Store::ForEachSentenceIn(const std::vector<IdSpan>& spans,
                              const EachSentence& each) {
  Guard([&] {
    Statement& rows = Prepared(store_sql::kRowsInSpan);
    for (const IdSpan& span : spans) {
      sqlite::ScopedReset scope(rows);
      rows.Bind(1, span.first).Bind(2, span.end);
      // A span holds one sentence; only a memory changed meanwhile, which a
      // transaction rules out, could make it hold more.
      std::string text;
      int64_t count = 0;
      CollectSentences(rows, [&](const std::string& sentence, int64_t n) {
        text += (text.empty() ? "" : " ") + sentence;
        count += n;
      });
      if (count > 0) each(text, count);
    }
  });
}

std::vector<IdSpan> Store::SentencesHolding(
    const std::vector<std::string>& words) {
  return Guard([&] {
    // Sentences found so far, by first id; each ends before `end`.
    std::map<int64_t, int64_t> found;
    Statement& ids = Prepared(store_sql::kIdsWithWord);
    for (const std::string& word : words) {
      sqlite::ScopedReset scope(ids);
      ids.Bind(1, std::string_view(word));
      while (ids.Step()) {
        const int64_t id = ids.ColumnInt(0);
        auto after = found.upper_bound(id);
        if (after != found.begin() && id < std::prev(after)->second) continue;
        found[SeekId(store_sql::kSentenceStartAtOrBefore, id)
                  .value_or(std::numeric_limits<int64_t>::min())] =
            SeekId(store_sql::kSentenceStartAfter, id)
                .value_or(std::numeric_limits<int64_t>::max());
      }
    }
    std::vector<IdSpan> spans;
    for (const auto& [first, end] : found) spans.push_back({first, end});
    return spans;
  });
}

int64_t Store::DeleteSentences(const std::vector<IdSpan>& spans) {
  return Guard([&] {
    std::map<std::string, int64_t, UnicaseLess> gone;
    int64_t rows = 0;
    Statement& read = Prepared(store_sql::kRowsInSpan);
    Statement& remove = Prepared(store_sql::kDeleteSpan);
    for (const IdSpan& span : spans) {
      {
        sqlite::ScopedReset scope(read);
        read.Bind(1, span.first).Bind(2, span.end);
        while (read.Step()) {
          ++gone[read.ColumnText(0)];
          ++rows;
        }
      }
      sqlite::ScopedReset scope(remove);
      remove.Bind(1, span.first).Bind(2, span.end);
      remove.Run();
    }
    FlushCounts();
    std::vector<std::pair<std::string_view, int64_t>> delta;
    for (const auto& [word, count] : gone) delta.emplace_back(word, -count);
    AdjustCounts(delta);
    return rows;
  });
}

std::optional<Store::Sentence> Store::SentenceHolding(int64_t id) {
  return Guard([&]() -> std::optional<Sentence> {
    // Rows before the first row at position 0 start at the first row.
    const int64_t from = SeekId(store_sql::kSentenceStartAtOrBefore, id)
                             .value_or(std::numeric_limits<int64_t>::min());
    Statement& rows = Prepared(store_sql::kRowsFrom);
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
    if (!holds) return std::optional<Sentence>();
    return std::optional<Sentence>(std::move(sentence));
  });
}

int64_t Store::SentenceCount() {
  return Guard([&] {
    Statement& count = Prepared(store_sql::kCountSentences);
    sqlite::ScopedReset scope(count);
    count.Step();
    return count.ColumnInt(0);
  });
}

void Store::ForEachWord(const std::function<void(const WordTally&)>& each) {
  Guard([&] {
    Statement& words =
        Prepared(counted_ ? store_sql::kCountedWords : store_sql::kWordGroups);
    sqlite::ScopedReset scope(words);
    while (words.Step()) each({words.ColumnText(0), words.ColumnInt(1)});
  });
}

int64_t Store::DistinctWordCount() {
  if (!counted_) {
    int64_t distinct = 0;
    ForEachWord([&](const WordTally&) { ++distinct; });
    return distinct;
  }
  return Guard([&] {
    Statement& count = Prepared(store_sql::kCountCountedWords);
    sqlite::ScopedReset scope(count);
    count.Step();
    return count.ColumnInt(0);
  });
}

std::vector<WordTally> Store::MostFrequentWords(size_t top) {
  std::vector<WordTally> most;
  if (!counted_) {
    // Words arrive in word order, so keeping the first of equal counts
    // breaks ties in word order.
    auto more_frequent = [](const WordTally& a, const WordTally& b) {
      return a.count > b.count;
    };
    ForEachWord([&](const WordTally& tally) {
      if (most.size() == top && (top == 0 || tally.count <= most.back().count))
        return;
      most.insert(
          std::upper_bound(most.begin(), most.end(), tally, more_frequent),
          tally);
      if (most.size() > top) most.pop_back();
    });
    return most;
  }
  Guard([&] {
    Statement& ranked = Prepared(store_sql::kMostCountedWords);
    sqlite::ScopedReset scope(ranked);
    ranked.Bind(1, static_cast<int64_t>(top));
    while (ranked.Step()) {
      most.push_back({ranked.ColumnText(0), ranked.ColumnInt(1)});
    }
  });
  return most;
}

}  // namespace quibbo
