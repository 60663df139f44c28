#include "engine/language/explain.h"

#include <algorithm>

#include "engine/failure/failures.h"

namespace quibbo {

Explanation Explain(Store& store, const ReplyTrace& trace) {
  Explanation explanation{trace.seed, trace.rule, trace.moved, {}};
  std::vector<ReplySource>& sources = explanation.sources;
  // A walk mostly stays in a sentence for several rows: each is read once.
  std::vector<Store::Sentence> read;
  size_t word = 0;
  int64_t goes_on_at = 0;  // the position where the last run would go on
  for (const ReplyTrace::Row& row : trace.rows) {
    auto holds = [&](const Store::Sentence& sentence) {
      return sentence.span.first <= row.id && row.id < sentence.span.end;
    };
    auto sentence = std::find_if(read.begin(), read.end(), holds);
    if (sentence == read.end()) {
      std::optional<Store::Sentence> found = store.SentenceHolding(row.id);
      if (!found) throw MissingRow(store.path(), row.id);
      read.push_back(std::move(*found));
      sentence = read.end() - 1;
    }
    if (!sources.empty() && sources.back().sentence == sentence->span.first &&
        row.position == goes_on_at) {
      sources.back().last_word += row.words;
    } else {
      sources.push_back({sentence->span.first, sentence->text, word,
                         word + row.words - 1, row.position});
    }
    word += row.words;
    goes_on_at = row.position + static_cast<int64_t>(row.words);
  }
  return explanation;
}

}  // namespace quibbo
