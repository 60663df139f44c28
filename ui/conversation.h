// What the window needs of the engine, so tests can stand in for it.
#ifndef QUIBBO_UI_CONVERSATION_H_
#define QUIBBO_UI_CONVERSATION_H_

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "quibbo/engine.h"
#include "ui/trouble.h"

namespace quibbo::ui {

class Conversation {
 public:
  virtual ~Conversation() = default;
  // Whether Respond gives the trouble message for a failure (true) or no
  // text (false, the initial setting).
  virtual void SetReportErrors(bool report) = 0;
  virtual void SetConfirm(Engine::Confirm confirm) = 0;
  // Never throws; see Engine::Respond.
  virtual std::optional<std::string> Respond(std::string_view line) = 0;
  // Throws Error, or returns the log's; see Engine::WipeMemory.
  virtual std::optional<Error> WipeMemory() = 0;
  // Never throws; see Engine::Idle.
  virtual void Idle() {}
  // Stores what still waits and lets go of the memory; the answered lines
  // it could not store, as a failure to tell the user. See Engine::Close.
  virtual std::optional<Error> Close() { return std::nullopt; }
};

// The real thing: passes every call to an Engine it does not own, and
// words its failures as the window does.
class EngineConversation : public Conversation {
 public:
  explicit EngineConversation(Engine& engine) : engine_(engine) {}

  void SetReportErrors(bool report) override { report_errors_ = report; }
  void SetConfirm(Engine::Confirm confirm) override {
    engine_.SetConfirm(std::move(confirm));
  }
  std::optional<std::string> Respond(std::string_view line) override {
    Response response = engine_.Respond(line);
    if (response.failure && report_errors_) {
      return TroubleMessage(response.failure->description());
    }
    return std::move(response.text);
  }
  std::optional<Error> WipeMemory() override { return engine_.WipeMemory(); }
  void Idle() override { engine_.Idle(); }
  std::optional<Error> Close() override {
    const Unstored unstored = engine_.Close();
    if (!unstored.failure) return std::nullopt;
    return NotStored(unstored.lines, *unstored.failure);
  }

 private:
  Engine& engine_;
  bool report_errors_ = false;
};

}  // namespace quibbo::ui

#endif  // QUIBBO_UI_CONVERSATION_H_
