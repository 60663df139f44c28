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
    : store_(store),
      limits_(limits),
      wait_signal_(WaitSignal::Create(store.path())),
      last_asked_(Clock::now() - limits.conversing) {}

int64_t BulkLearner::BatchRows() const {
  const bool short_batches =
      !wait_signal_ || Clock::now() - last_asked_ < limits_.conversing;
  const auto target = short_batches ? limits_.short_target : limits_.target;
  return std::clamp(
      static_cast<int64_t>(rows_per_second_ *
                           std::chrono::duration<double>(target).count()),
      limits_.min_rows, limits_.max_rows);
}

void BulkLearner::Learn(std::string_view line) {
  std::vector<std::string> sentences = CutSentences(line);
  std::erase(sentences, std::string());
  if (rows_.empty()) first_pending_ = Clock::now();
  for (const std::string& sentence : sentences) {
    std::vector<WordRecord> records = SentenceRecords(sentence);
    pending_.words += static_cast<int64_t>(records.size());
    std::move(records.begin(), records.end(), std::back_inserter(rows_));
    ++pending_.sentences;
    ends_.push_back({rows_.size(), 0});
    // Batches end between lines, except in a line too long for one.
    if (static_cast<int64_t>(rows_.size()) >= limits_.max_rows) Commit();
  }
  // A line is stored once its last sentence is.
  if (ends_.empty()) {
    ++committed_.lines;
  } else {
    ++ends_.back().lines;
    ++pending_.lines;
  }
  if (static_cast<int64_t>(rows_.size()) >= BatchRows() ||
      Clock::now() - first_pending_ >= limits_.max_wait) {
    Commit();
  }
}

size_t BulkLearner::StorePart(size_t begin, int64_t limit) {
  int64_t unchecked = 0;
  for (size_t i = begin; i < rows_.size(); ++i) {
    const WordRecord& row = rows_[i];
    // Every sentence starts at position 0.
    if (row.position == 0 && i > begin) {
      if (static_cast<int64_t>(i - begin) >= limit) return i;
      if (unchecked >= limits_.check_rows) {
        unchecked = 0;
        if (wait_signal_ && wait_signal_->TakeRequest()) {
          last_asked_ = Clock::now();
          return i;
        }
      }
    }
    store_.Append(row);
    ++unchecked;
  }
  return rows_.size();
}

void BulkLearner::Commit() {
  if (!rows_.empty()) {
    if (wait_signal_) wait_signal_->Renew();
    size_t stored = 0;
    size_t next_end = 0;
    double seconds = 0;
    try {
      while (stored < rows_.size()) {
        Clock::time_point start = Clock::now();
        Store::Transaction batch(store_, Store::Transaction::Kind::kWrite);
        // Requests made before the lock was taken were for earlier turns
        // (or this learner's own, made while it waited).
        if (wait_signal_) wait_signal_->TakeRequest();
        // After a request the rest goes in short parts.
        const size_t end =
            StorePart(stored, stored == 0 ? static_cast<int64_t>(rows_.size())
                                          : BatchRows());
        batch.Commit();
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
        LearnedCounts part;
        for (; next_end < ends_.size() && ends_[next_end].row_end <= end;
             ++next_end) {
          part.sentences += 1;
          part.lines += ends_[next_end].lines;
        }
        part.words = static_cast<int64_t>(end - stored);
        committed_ += part;
        pending_ -= part;
        stored = end;
        // A pause after each commit lets a program waiting for the memory
        // in.
        std::this_thread::sleep_for(limits_.pause);
      }
    } catch (...) {
      rows_.clear();
      ends_.clear();
      pending_ = {};
      throw;
    }
    // The next batch aims at the target time, as the memory's indexes grow
    // and other programs share the machine.
    rows_per_second_ =
        static_cast<double>(rows_.size()) / std::max(seconds, 1e-6);
    rows_.clear();
    ends_.clear();
  }
  committed_ += pending_;
  pending_ = {};
}

}  // namespace quibbo
