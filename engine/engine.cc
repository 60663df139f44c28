#include "engine/engine.h"

#include "engine/learner.h"
#include "engine/reply.h"
#include "engine/text.h"
#include "engine/wait_signal.h"

namespace quibbo {

Engine::Engine(std::string memory_path, std::unique_ptr<RandomSource> random,
               Confirm confirm, StoreOptions options)
    : memory_path_(std::move(memory_path)),
      random_(random ? std::move(random) : SeededRandom::Unpredictable()),
      confirm_(std::move(confirm)),
      options_(options),
      pending_(std::make_shared<PendingRows>()) {}

Engine::~Engine() = default;

Store& Engine::Memory(Store::Access access) {
  if (!store_ || !store_->file().StillAtPath() ||
      (access == Store::Access::kReadWrite && access != store_access_)) {
    store_.reset();
    store_ = Store::Open(memory_path_, access, options_);
    store_->SetPending(pending_);
    store_access_ = access;
  }
  return *store_;
}

Response Engine::Respond(std::string_view line) {
  if (TrimSpaces(line).empty()) return {kEmptyInputReply, {}, {}};
  Response response;
  bool later = false;
  try {
    if (!IsValidUtf8(line)) throw InvalidText();
    if (std::optional<Error> failure =
            writer_ ? writer_->TakeFailure() : std::nullopt) {
      throw *failure;
    }
    Store& store = Memory(learning_ ? Store::Access::kReadWrite
                                    : Store::Access::kReadOnly);
    const bool learner = learning_ && LearnerAtWork(memory_path_);
    // Lines said while a learner was at work go first; once none is at
    // work, they are stored at once, and this line on the disk before its
    // reply.
    if (writer_ && !learner) writer_->WaitUntilStored();
    std::unique_lock<std::mutex> hold(pending_->mutex());
    later = learning_ && (learner || !pending_->rows().empty());
    Intake intake =
        learning_ ? Learn(store, line, later) : Consider(store, line);
    response.text =
        ComposeReply(store, *random_, intake,
                     explaining_ ? &response.explanation.emplace() : nullptr);
  } catch (const Error& error) {
    // Only failures of the memory or the input become the trouble message;
    // anything else is a fault of the program and goes to the caller.
    response.failure = error;
  }
  if (later) {
    if (!writer_) {
      writer_ = std::make_unique<PendingWriter>(memory_path_, pending_,
                                                options_.busy_timeout);
    }
    writer_->Wake();
  }
  // Every sentence stored is on the disk before the reply is shown, failure
  // or not. The sync began at the commit and ran beside composing the reply.
  try {
    if (store_) store_->file().Durable();
  } catch (const Error& error) {
    if (!response.failure) response.failure = error;
  }
  if (response.failure) {
    response.text.reset();
    response.explanation.reset();
    if (report_errors_) {
      response.text = TroubleMessage(response.failure->description());
    }
  }
  return response;
}

bool Engine::Idle() { return !store_ || store_->file().Idle(); }

void Engine::WipeMemory() {
  if (!confirm_ || !confirm_(kWipeFirstQuestion)) return;
  if (!confirm_(kWipeSecondQuestion)) return;
  // Lines said before the wipe are wiped too.
  if (writer_) writer_->WaitUntilStored();
  Store& store = Memory(Store::Access::kReadWrite);
  Store::Transaction transaction(store, Store::Transaction::Kind::kWrite);
  store.DeleteAll();
  transaction.Commit();
  store.file().EmptyLog();
}

int32_t Engine::WordFrequency(std::string_view word) {
  std::lock_guard<std::mutex> hold(pending_->mutex());
  return quibbo::WordFrequency(Memory(Store::Access::kReadOnly), word);
}

}  // namespace quibbo
