#include "quibbo/engine.h"

#include <set>

#include "engine/file/wait_signal.h"
#include "engine/language/learner.h"
#include "engine/language/reply.h"
#include "quibbo/text.h"

namespace quibbo {
namespace {

using Kind = Store::Transaction::Kind;

// Stores the lines waiting in `store`, in a transaction of their own.
void StoreWaiting(Store& store) {
  Store::Transaction write(store, Kind::kWrite);
  store.StorePending();
  write.Commit();
}

int64_t LinesOf(const std::vector<PendingRow>& rows) {
  std::set<int64_t> lines;
  for (const PendingRow& row : rows) lines.insert(row.line);
  return static_cast<int64_t>(lines.size());
}

}  // namespace

Engine::Engine(std::string memory_path, std::unique_ptr<RandomSource> random,
               Confirm confirm, StoreOptions options)
    : memory_path_(std::move(memory_path)),
      random_(random ? std::move(random) : SeededRandom::Unpredictable()),
      confirm_(std::move(confirm)),
      options_(options) {}

Engine::~Engine() { Close(); }

void Engine::Release() {
  if (!store_) return;
  try {
    std::vector<PendingRow> rows = store_->PendingRows();
    carried_.insert(carried_.end(), rows.begin(), rows.end());
  } catch (const Error&) {
    // The TEMP table lives in this process; reading it does not fail.
  }
  store_.reset();
}

Store& Engine::Memory(bool writing) {
  // Only a memory opened for writing has a worker.
  if (!store_ || !store_->file().StillAtPath() ||
      (writing && !store_->file().worker())) {
    Release();
    store_ = Store::Open(
        memory_path_,
        writing ? Store::Access::kReadWrite : Store::Access::kReadOnly,
        options_);
    if (Worker* worker = store_->file().worker()) {
      // Lines still waiting move to the memory opened anew.
      const bool carried = !carried_.empty();
      try {
        store_->AddPending(carried_);
      } catch (const Error&) {
        store_.reset();
        throw;
      }
      carried_.clear();
      worker->SetChore([this] { return StoreWaitingLines(); });
      if (carried) worker->Wake();
    }
  }
  return *store_;
}

std::string Engine::LearnAndReply(Store& store, std::string_view line,
                                  Explanation* explanation) {
  // Beside a learner, or behind lines still waiting for one, the line waits
  // too, so the lines are stored in the order they were said.
  const bool later = LearnerAtWork(memory_path_) || store.PendingLines() > 0;
  Store::Transaction transaction(store, later ? Kind::kLater : Kind::kWrite,
                                 ++lines_);
  Intake intake = Learn(store, transaction, line);
  if (later) {
    std::string reply = ComposeReply(store, *random_, intake, explanation);
    transaction.Commit();
    store.file().worker()->Wake();
    return reply;
  }
  // The log's sync starts at the commit and runs beside the composing.
  transaction.CommitKeepingSnapshot();
  return ComposeReply(store, *random_, intake, explanation);
}

Response Engine::Respond(std::string_view line) {
  if (TrimSpaces(line).empty()) return {kEmptyInputReply, {}, {}};
  Response response;
  std::lock_guard<std::mutex> hold(mutex_);
  try {
    if (!IsValidUtf8(line)) throw InvalidText();
    Explanation* explanation =
        explaining_ ? &response.explanation.emplace() : nullptr;
    if (learning_) {
      response.text = LearnAndReply(Memory(true), line, explanation);
    } else {
      Store& store = Memory(false);
      Store::Transaction snapshot(store, Kind::kRead);
      response.text =
          ComposeReply(store, *random_, Consider(store, line), explanation);
    }
  } catch (const Error& error) {
    // Only failures of the memory or the input become the trouble message;
    // anything else is a fault of the program and goes to the caller.
    response.failure = error;
  }
  // Every sentence stored is on the disk before the reply is shown, failure
  // or not.
  try {
    if (store_) store_->file().Durable();
  } catch (const Error& error) {
    if (!response.failure) response.failure = error;
  }
  if (response.failure) {
    response.text.reset();
    response.explanation.reset();
  }
  return response;
}

bool Engine::StoreWaitingLines() {
  // Never waits for a call in progress: that call may be waiting for this
  // thread's next sync. The retry comes round soon enough.
  std::unique_lock<std::mutex> hold(mutex_, std::try_to_lock);
  if (!hold.owns_lock()) return true;
  if (!store_) return false;
  try {
    if (store_->PendingLines() == 0) return false;
    // The memory is taken only if it is free now: this thread must never
    // keep the caller waiting for another program.
    store_->file().WithoutWaiting([&] { StoreWaiting(*store_); });
    return false;
  } catch (const Error&) {
    // Tried again until Close(), which reports what is left, and why.
    return true;
  }
}

Unstored Engine::Close() {
  std::lock_guard<std::mutex> hold(mutex_);
  Unstored unstored;
  try {
    unstored.lines = LinesOf(carried_);
    if (store_) unstored.lines += store_->PendingLines();
    if (unstored.lines > 0) {
      Store& store = Memory(true);
      AskToMakeWay(memory_path_);
      StoreWaiting(store);
      store.file().Durable();
      unstored.lines = 0;
    }
  } catch (const Error& error) {
    if (unstored.lines > 0) unstored.failure = error;
  }
  store_.reset();
  carried_.clear();
  return unstored;
}

bool Engine::Idle() {
  std::lock_guard<std::mutex> hold(mutex_);
  return !store_ || store_->file().Idle();
}

std::optional<Error> Engine::WipeMemory() {
  if (!confirm_ || !confirm_(WipeQuestion::kFirst)) return std::nullopt;
  if (!confirm_(WipeQuestion::kSecond)) return std::nullopt;
  std::lock_guard<std::mutex> hold(mutex_);
  Store& store = Memory(true);
  Store::Transaction transaction(store, Kind::kWrite);
  store.DeleteAll();
  // Lines said before the wipe go with it.
  store.DropPending();
  transaction.Commit();
  return store.file().EmptyLog();
}

int32_t Engine::WordFrequency(std::string_view word) {
  std::lock_guard<std::mutex> hold(mutex_);
  return quibbo::WordFrequency(Memory(false), word);
}

}  // namespace quibbo
