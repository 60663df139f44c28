#include "engine/bulk_learner.h"

#include <algorithm>
#include <string>
#include <thread>

#include "engine/learner.h"

namespace quibbo {

using Clock = std::chrono::steady_clock;

std::unique_ptr<BulkLearner> BulkLearner::Open(const std::string& path,
                                               BatchLimits limits) {
  auto store = Store::Open(path, Store::Access::kReadWrite, kBulkStoreOptions);
  auto learner = std::make_unique<BulkLearner>(*store, limits);
  learner->owned_store_ = std::move(store);
  return learner;
}

BulkLearner::BulkLearner(Store& store, BatchLimits limits)
    : store_(store), limits_(limits), batch_rows_(limits.min_rows) {}

void BulkLearner::Learn(std::string_view line) {
  std::vector<std::string> sentences = CutSentences(line);
  std::erase(sentences, std::string());
  if (rows_.empty()) first_pending_ = Clock::now();
  for (const std::string& sentence : sentences) {
    std::vector<WordRecord> records = SentenceRecords(sentence);
    pending_.words += static_cast<int64_t>(records.size());
    std::move(records.begin(), records.end(), std::back_inserter(rows_));
    ++pending_.sentences;
    // Batches end between lines, except in a line too long for one.
    if (static_cast<int64_t>(rows_.size()) >= limits_.max_rows) Commit();
  }
  // A line is stored once its last sentence is.
  ++(rows_.empty() ? committed_ : pending_).lines;
  if (static_cast<int64_t>(rows_.size()) >= batch_rows_ ||
      Clock::now() - first_pending_ >= limits_.max_wait) {
    Commit();
  }
}

void BulkLearner::Commit() {
  if (!rows_.empty()) {
    Clock::time_point start = Clock::now();
    try {
      Store::Transaction batch(store_, Store::Transaction::Kind::kWrite);
      for (const WordRecord& record : rows_) store_.Append(record);
      batch.Commit();
    } catch (...) {
      rows_.clear();
      pending_ = {};
      throw;
    }
    // Aim the next batch at the target time, as the memory's indexes grow
    // and other programs share the machine.
    double seconds =
        std::chrono::duration<double>(Clock::now() - start).count();
    double rows_per_second =
        static_cast<double>(rows_.size()) / std::max(seconds, 1e-6);
    int64_t next = static_cast<int64_t>(
        rows_per_second *
        std::chrono::duration<double>(limits_.target).count());
    batch_rows_ = std::clamp(next, limits_.min_rows, limits_.max_rows);
    rows_.clear();
    // A pause between batches lets a program waiting for the memory in.
    std::this_thread::sleep_for(limits_.pause);
  }
  committed_ += pending_;
  pending_ = {};
}

}  // namespace quibbo
