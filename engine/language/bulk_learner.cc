#include <algorithm>
#include <string>
#include <thread>

#include "engine/file/wait_signal.h"
#include "engine/language/learner.h"
#include "engine/rows/store.h"
#include "quibbo/learn.h"

namespace quibbo {

using Clock = std::chrono::steady_clock;

std::unique_ptr<BulkLearner> BulkLearner::Open(const std::string& path,
                                               BatchLimits limits) {
  auto store = Store::Open(path, Store::Access::kReadWrite, kBulkStoreOptions);
  auto learner = std::make_unique<BulkLearner>(*store, limits);
  learner->owned_store_ = std::move(store);
  return learner;
}

BulkLearner::~BulkLearner() = default;

BulkLearner::BulkLearner(Store& store, BatchLimits limits)
    : store_(store),
      limits_(limits),
      wait_signal_(WaitSignal::Create(store.path())) {
  store_.file().LeadLogCopy();
}

int64_t BulkLearner::BatchRows() const {
  const auto target = wait_signal_ ? limits_.target : limits_.short_target;
  return std::clamp(
      static_cast<int64_t>(rows_per_second_ *
                           std::chrono::duration<double>(target).count()),
      limits_.min_rows, limits_.max_rows);
}

void BulkLearner::Learn(std::string_view line) {
  std::vector<std::string> sentences = CutSentences(line);
  std::erase(sentences, std::string());
  if (sentences_.empty()) first_pending_ = Clock::now();
  for (std::string& sentence : sentences) {
    // A word after every space.
    const auto words = 1 + std::ranges::count(sentence, ' ');
    sentences_.push_back({std::move(sentence), words, 0});
    pending_.words += words;
    ++pending_.sentences;
    // Batches end between lines, except in a line too long for one.
    if (pending_.words >= limits_.max_rows) StoreCollected();
  }
  // A line is stored once its last sentence is.
  if (sentences_.empty()) {
    ++committed_.lines;
  } else {
    ++sentences_.back().lines;
    ++pending_.lines;
  }
  if (pending_.words >= BatchRows() ||
      Clock::now() - first_pending_ >= limits_.max_wait) {
    StoreCollected();
  }
}

size_t BulkLearner::StorePart(size_t begin, int64_t limit) {
  int64_t rows = 0;
  int64_t unchecked = 0;
  for (size_t i = begin; i < sentences_.size(); ++i) {
    if (i > begin) {
      if (rows >= limit) return i;
      if (unchecked >= limits_.check_rows) {
        unchecked = 0;
        if (wait_signal_ && wait_signal_->TakeRequest()) return i;
      }
    }
    for (const WordRecord& record : SentenceRecords(sentences_[i].text)) {
      store_.Append(record);
    }
    rows += sentences_[i].words;
    unchecked += sentences_[i].words;
  }
  return sentences_.size();
}

void BulkLearner::Commit() {
  try {
    StoreCollected();
  } catch (const Error&) {
    // What was stored before the failure is reported: it reaches the disk
    // first, as far as it can.
    try {
      store_.file().Durable();
    } catch (const Error&) {
    }
    throw;
  }
  // What is left of the log would fall to whichever program commits next.
  store_.file().FinishLogCopy();
  store_.file().Durable();
}

void BulkLearner::StoreCollected() {
  if (!sentences_.empty()) {
    if (wait_signal_) wait_signal_->Renew();
    size_t stored = 0;
    int64_t rows = 0;
    double seconds = 0;
    try {
      while (stored < sentences_.size()) {
        Clock::time_point start = Clock::now();
        Store::Transaction batch(store_, Store::Transaction::Kind::kWrite);
        // Requests made before the lock was taken were for earlier turns
        // (or this learner's own, made while it waited).
        if (wait_signal_) wait_signal_->TakeRequest();
        // After a request the rest goes in short parts.
        const size_t end =
            StorePart(stored, stored == 0 ? pending_.words : BatchRows());
        batch.Commit();
        if (wait_signal_) wait_signal_->Committed();
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
        LearnedCounts part;
        part.sentences = static_cast<int64_t>(end - stored);
        for (size_t i = stored; i < end; ++i) {
          part.lines += sentences_[i].lines;
          part.words += sentences_[i].words;
        }
        rows += part.words;
        committed_ += part;
        pending_ -= part;
        stored = end;
        // A pause after each commit lets a program waiting for the memory
        // in. The log copy is finished meanwhile, when it is due.
        store_.file().Idle();
        std::this_thread::sleep_for(limits_.pause);
      }
    } catch (...) {
      sentences_.clear();
      pending_ = {};
      throw;
    }
    // The next batch aims at the target time, as the memory's indexes grow
    // and other programs share the machine.
    rows_per_second_ = static_cast<double>(rows) / std::max(seconds, 1e-6);
    sentences_.clear();
  }
  committed_ += pending_;
  pending_ = {};
}

}  // namespace quibbo
