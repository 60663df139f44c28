#include "engine/engine.h"

#include "engine/learner.h"
#include "engine/reply.h"
#include "engine/text.h"

namespace quibbo {

Engine::Engine(std::string memory_path, std::unique_ptr<RandomSource> random,
               Confirm confirm, StoreOptions options)
    : memory_path_(std::move(memory_path)),
      random_(random ? std::move(random) : SeededRandom::Unpredictable()),
      confirm_(std::move(confirm)),
      options_(options) {}

Engine::~Engine() = default;

Store& Engine::Memory(Store::Access access) {
  if (!store_ || !store_->file().StillAtPath() ||
      (access == Store::Access::kReadWrite && access != store_access_)) {
    store_.reset();
    store_ = Store::Open(memory_path_, access, options_);
    store_access_ = access;
  }
  return *store_;
}

Response Engine::Respond(std::string_view line) {
  if (TrimSpaces(line).empty()) return {kEmptyInputReply, std::nullopt};
  Response response;
  try {
    if (!IsValidUtf8(line)) throw InvalidText();
    Store& store = Memory(learning_ ? Store::Access::kReadWrite
                                    : Store::Access::kReadOnly);
    Intake intake = learning_ ? Learn(store, line) : Consider(store, line);
    response.text = ComposeReply(store, *random_, intake);
  } catch (const Error& error) {
    // Only failures of the memory or the input become the trouble message;
    // anything else is a fault of the program and goes to the caller.
    response.failure = error;
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
  Store& store = Memory(Store::Access::kReadWrite);
  Store::Transaction transaction(store, Store::Transaction::Kind::kWrite);
  store.DeleteAll();
  transaction.Commit();
  store.file().EmptyLog();
}

int32_t Engine::WordFrequency(std::string_view word) {
  return quibbo::WordFrequency(Memory(Store::Access::kReadOnly), word);
}

}  // namespace quibbo
