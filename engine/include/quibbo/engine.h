// The conversation engine: what a program talks to while it converses.
//
// Respond stores what the user says and answers it (or only answers it,
// with SetLearning(false)); WipeMemory empties the memory after two
// confirmations; WordFrequency tells how often a word is held. The engine knows
// nothing of windows or terminals: questions reach the user through a callback,
// and chance comes from a RandomSource, so the engine can be driven from tests
// without a display, a clock or luck.
//
// Work on the memory as a whole, which needs no conversation, has entry
// points of its own (quibbo/memory.h: create, back up, restore, export,
// forget, statistics; quibbo/learn.h: learning files in bulk), each opening
// the memory by its path with the settings that job needs.
//
// An Engine is used from one thread. It keeps its memory open between calls
// and opens it again whenever the file at its path was replaced or removed,
// so it never writes into a file that is no longer the memory.
//
// Every line Respond stores is on the disk before it returns, and its reply
// is composed from the memory exactly as the line's own commit left it.
// Beside a bulk learner (`quibbo-cli learn`) on the same memory, Respond
// does not wait for the learner's batch to end: it answers at once, from
// the memory as it stands and the line itself, and keeps the line's rows
// waiting until the learner lets go; so do the lines that follow, in order,
// until none is left waiting. The memory's background thread stores them
// then, and Close() at the latest, which reports any it could not store.
// Those lines reach the disk only once stored.
//
// The threads, what each owns, the order of the locks and how a failure
// reaches the line it belongs to: doc/design.md, "Threads".
#ifndef QUIBBO_ENGINE_H_
#define QUIBBO_ENGINE_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quibbo/error.h"
#include "quibbo/explanation.h"
#include "quibbo/memory.h"
#include "quibbo/random.h"

namespace quibbo {

class Store;
struct PendingRow;

namespace testing {
class EnginePeer;
}  // namespace testing

// The two questions WipeMemory asks before it deletes anything, in this
// order; each program words them, and makes the safe answer (no) its
// default.
enum class WipeQuestion { kFirst, kSecond };

// What Respond answers to an input of nothing but spaces.
inline constexpr char kEmptyInputReply[] = "Please say something";

// What Respond gives back: the text to show, and the failure it reports, if
// any, so that a program can act on its kind without reading the text.
struct Response {
  // The reply; unset for a failure, which each program tells in its own
  // words.
  std::optional<std::string> text;
  // Set exactly when the line met a failure of the memory or of the input.
  std::optional<Error> failure;
  // Where the reply came from; set only while explaining, for a reply
  // composed from the memory.
  std::optional<Explanation> explanation;
};

// What Close() could not store.
struct Unstored {
  // Lines that were answered, and so promised, but are not stored.
  int64_t lines = 0;
  // Why, when any are left.
  std::optional<Error> failure;
};

class Engine {
 public:
  // Answers a question: true for yes, false for no.
  using Confirm = std::function<bool(WipeQuestion)>;

  // Works on the memory at `memory_path`, which must already exist. Without
  // a random source the engine seeds its own unpredictably; without a
  // confirmation callback WipeMemory never deletes.
  explicit Engine(std::string memory_path,
                  std::unique_ptr<RandomSource> random = nullptr,
                  Confirm confirm = nullptr, StoreOptions options = {});
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Learns `line` and returns the reply. A failure of the memory or of the
  // input (an Error) yields no text and is named in Response::failure; any
  // other exception is a fault of the program and is thrown on.
  // Whatever fails, the sentences stored before the failure stay stored and
  // a sentence is never stored in part.
  Response Respond(std::string_view line);

  // Stores the answered lines still waiting, asking a learner to make way
  // and waiting for the memory as long as for any write, and lets go of the
  // memory, which a later call opens again. Returns what it could not store,
  // for the program to tell its user: nothing else will.
  Unstored Close();
  // Close(), without a word about what it could not store: call Close()
  // first.
  ~Engine();
  // Tidies up while the program waits for its user, so that no reply pays
  // for it: copies the write-ahead log back into the memory when that is
  // due. Costs next to nothing when nothing is due. Returns whether nothing
  // is left to do; otherwise call it again in a moment. Never throws; a
  // failure shows at the next Respond.
  bool Idle();

  // Asks the first WipeQuestion, then the second; only when both are
  // answered yes, deletes every stored word, the lines still waiting too.
  // Throws Error when the memory cannot be emptied; then nothing was
  // deleted. Once all is deleted, empties the memory's log, where old copies
  // stay; returns the failure when another program holds on to it longer
  // than the busy timeout (kBusy): the deletion stands, and wiping again
  // empties the log.
  std::optional<Error> WipeMemory();

  // The number of stored occurrences of `word`, letter case ignored, or
  // 999999999 when there is none. Throws Error.
  int32_t WordFrequency(std::string_view word);

  // Whether Respond stores what it is told (true, the initial setting). When
  // false, it chooses the seed and fallback words the same way (Consider)
  // and replies from the memory as it is, which it opens only for reading,
  // so trying out a memory leaves it exactly as it was.
  void SetLearning(bool learning) { learning_ = learning; }

  // Whether Respond also tells where each reply came from
  // (Response::explanation); false at first. The replies stay the same.
  void SetExplaining(bool explaining) { explaining_ = explaining; }

  void SetConfirm(Confirm confirm) { confirm_ = std::move(confirm); }

  const std::string& memory_path() const { return memory_path_; }

 private:
  friend class testing::EnginePeer;

  // The open memory, opened first if need be, for writing or, without
  // `writing`, for whatever the open one allows. Throws Error.
  Store& Memory(bool writing);
  // Lets go of the open memory, keeping the rows still waiting.
  void Release();
  // Learns `line` and composes its reply in one snapshot.
  std::string LearnAndReply(Store& store, std::string_view line,
                            Explanation* explanation);
  // The worker's chore: stores the waiting lines if the memory is free this
  // moment; returns whether some are left.
  bool StoreWaitingLines();

  std::string memory_path_;
  std::unique_ptr<RandomSource> random_;
  Confirm confirm_;
  StoreOptions options_;
  bool learning_ = true;
  // Held by every call, and by the worker's chore: whoever holds it owns the
  // memory's connection, the Store and what follows (doc/design.md).
  std::mutex mutex_;
  bool explaining_ = false;
  std::unique_ptr<Store> store_;
  // Rows still waiting while no memory is open, for the next one.
  std::vector<PendingRow> carried_;
  int64_t lines_ = 0;  // lines said, numbering the waiting ones
};

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_H_
