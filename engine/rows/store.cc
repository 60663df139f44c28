// The store itself: opening a memory's rows, appending to them and keeping
// their counts.
#include "engine/rows/store.h"

#include <algorithm>
#include <unordered_map>

#include "engine/failure/failures.h"
#include "engine/rows/schema.h"
#include "engine/rows/store_sql.h"
#include "engine/text/text.h"

namespace quibbo {

using namespace store_sql;

std::unique_ptr<Store> Store::Open(const std::string& path, Access access,
                                   const StoreOptions& options) {
  return std::make_unique<Store>(MemoryFile::Open(path, access, options));
}

Store::Store(std::unique_ptr<MemoryFile> file)
    : file_(std::move(file)),
      statements_(*file_),
      walk_(*this),
      holds_pending_(file_->access() == Access::kReadWrite) {
  Guard([&] {
    sqlite::Connection& db = file_->connection();
    schema::Check(db, path());
    if (holds_pending_) {
      schema::Upgrade(db);
      db.Execute(kPendingTable);
    }
    const int64_t version = schema::Version(db);
    counted_ = version >= schema::kCountedVersion;
    marks_edits_ = version >= schema::kMarkedVersion;
    indexes_sentence_ends_ = version >= schema::kSentenceEndVersion;
  });
}

Store::~Store() = default;

Store::Transaction::Cache* Store::ReadCache() {
  // SQLite leaves the transaction at COMMIT even while a kept snapshot reads
  // on; that snapshot is what the cache describes.
  return open_ && (open_->kept_ || InTransaction()) ? &open_->cache_ : nullptr;
}

void Store::Append(const WordRecord& record) {
  if (open_ && open_->kind_ == Transaction::Kind::kLater) {
    return AppendPending(record, open_->line_);
  }
  statements_.Run(
      kInsert, {record.previous, record.middle, record.next, record.position});
  if (!open_) return AdjustCounts({{record.middle, 1}});
  // Counted at the commit: a batch of many sentences updates each of its
  // words' counts once.
  open_->cache_.uncounted.push_back(record.middle);
}

int64_t Store::CountWord(std::string_view word) {
  // What word_count holds is read once per transaction, whose snapshot
  // keeps it: a long line asks for the same words again and again.
  Transaction::Cache* cache = ReadCache();
  std::optional<int64_t> count;
  if (cache) {
    if (auto kept = cache->counts.find(word); kept != cache->counts.end()) {
      count = kept->second;
    }
  }
  if (!count) {
    count = statements_.Number(counted_ ? kCountedWord : kCountWord, {word});
    if (cache) cache->counts.emplace(word, *count);
  }
  if (!open_) return *count;
  // The words appended but not yet in word_count, a line's words one by one
  // as they are appended, say: tallied as they are first asked for.
  Transaction::Cache& appended = open_->cache_;
  for (; appended.tallied < appended.uncounted.size(); ++appended.tallied) {
    appended.tally.Add(appended.uncounted[appended.tallied]);
  }
  return *count + appended.tally.Count(word);
}

void Store::AdjustCounts(
    const std::vector<std::pair<std::string_view, int64_t>>& delta) {
  Transaction::Cache* cache = ReadCache();
  for (const auto& [word, change] : delta) {
    statements_.Run(kAddCount, {word, change});
    if (change < 0) statements_.Run(kDropCount, {word});
    if (!cache) continue;
    if (auto kept = cache->counts.find(word); kept != cache->counts.end()) {
      kept->second += change;
    }
  }
}

void Store::FlushCounts() {
  if (!open_ || open_->cache_.uncounted.empty()) return;
  Transaction::Cache& appended = open_->cache_;
  // Tallied in one pass, which keeps the tally in the processor's cache,
  // and in the order first appended, so a word's first spelling is kept.
  // Spellings that differ in ASCII case alone ("The", "the") share one
  // update; the rest meet in word_count's own case-blind key.
  std::vector<std::pair<std::string_view, int64_t>> counts;
  std::unordered_map<std::string_view, size_t, AsciiCaseHash, AsciiCaseEqual>
      index;
  for (const std::string& word : appended.uncounted) {
    auto [at, added] = index.try_emplace(word, counts.size());
    if (added) counts.emplace_back(word, 0);
    ++counts[at->second].second;
  }
  AdjustCounts(counts);
  appended.TakeBack(0);
}

void Store::DeleteAll() {
  // An empty memory is consistent, however it was edited before.
  for (int which : {kDeleteAll, kDeleteCounts, kForgetEdits}) {
    statements_.Run(which);
  }
  if (open_) open_->cache_ = {};
}

int64_t Store::RowCount() { return statements_.Number(kCountAll); }

void Store::ForEachWord(const std::function<void(const WordTally&)>& each) {
  statements_.ForEachRow(counted_ ? kCountedWords : kWordGroups, {},
                         [&](const sqlite::Statement& word) {
                           each({word.ColumnText(0), word.ColumnInt(1)});
                         });
}

int64_t Store::DistinctWordCount() {
  if (counted_) return statements_.Number(kCountCountedWords);
  int64_t distinct = 0;
  ForEachWord([&](const WordTally&) { ++distinct; });
  return distinct;
}

std::vector<WordTally> Store::MostFrequentWords(size_t top) {
  std::vector<WordTally> most;
  if (counted_) {
    statements_.ForEachRow(
        kMostCountedWords, {static_cast<int64_t>(top)},
        [&](const sqlite::Statement& word) {
          most.push_back({word.ColumnText(0), word.ColumnInt(1)});
        });
    return most;
  }
  // Words arrive in word order, so keeping the first of equal counts breaks
  // ties in word order.
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

}  // namespace quibbo
