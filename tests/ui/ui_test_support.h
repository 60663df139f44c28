// Stand-ins and helpers shared by the window tests.
#ifndef QUIBBO_TESTS_UI_UI_TEST_SUPPORT_H_
#define QUIBBO_TESTS_UI_UI_TEST_SUPPORT_H_

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ui/conversation.h"
#include "ui/opener.h"

namespace quibbo::testing {

// Records what would have been opened instead of opening it.
class RecordingOpener : public ui::Opener {
 public:
  struct Call {
    QString target;
    QString working_dir;
  };
  void Open(const QString& target, const QString& working_dir) override {
    calls.push_back({target, working_dir});
  }
  std::vector<Call> calls;
};

// A conversation whose replies the test chooses; it records every line.
class FakeConversation : public ui::Conversation {
 public:
  void SetReportErrors(bool report) override { report_errors = report; }
  void SetConfirm(Engine::Confirm new_confirm) override {
    confirm = std::move(new_confirm);
  }
  std::optional<std::string> Respond(std::string_view line) override {
    lines.emplace_back(line);
    if (respond) return respond(line);
    return std::nullopt;
  }
  void WipeMemory() override {}

  std::function<std::optional<std::string>(std::string_view)> respond;
  std::vector<std::string> lines;
  bool report_errors = false;
  Engine::Confirm confirm;
};

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
 public:
  explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
  int count = 0;

 protected:
  bool eventFilter(QObject* /*watched*/, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++count;
    return false;
  }
};

// Deals with modal dialogs from inside their own event loops: each one that
// appears is handed to the next action in line. Actions left over when the
// answerer goes out of scope are dropped.
class ModalAnswerer {
 public:
  using Action = std::function<void(QWidget*)>;

  explicit ModalAnswerer(std::deque<Action> actions)
      : actions_(std::move(actions)) {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start();
  }

  size_t pending() const { return actions_.size(); }
  int answered() const { return answered_; }

 private:
  void Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible() || actions_.empty()) return;
    Action action = std::move(actions_.front());
    actions_.pop_front();
    ++answered_;
    action(modal);
  }

  std::deque<Action> actions_;
  int answered_ = 0;
  QTimer timer_;
};

}  // namespace quibbo::testing

#endif  // QUIBBO_TESTS_UI_UI_TEST_SUPPORT_H_
