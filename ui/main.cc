// quibbo: the conversation window, over the memory the program finds (see
// engine/include/quibbo/memory.h) or the one given with --memory FILE.
#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "quibbo/engine.h"
#include "ui/command_line.h"
#include "ui/conversation.h"
#include "ui/main_window.h"
#include "ui/opener.h"

namespace {

// Tells scripts/run to fall back to the terminal conversation.
constexpr int kNoDisplay = 3;

// The user's own memory could not be made, or its folder is unsafe.
constexpr int kNoMemory = 1;

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

[[noreturn]] void NoDisplay(const char* why) {
  std::fprintf(stderr, "quibbo: cannot open a window: %s\n", why);
  std::fflush(stderr);
  // Straight out: Qt may be half started when this runs.
  std::_Exit(kNoDisplay);
}

// While the application starts, the platform's complaints are held back:
// when no window can be opened, Qt aborts after several lines of them, and
// one plain line with the exit status for "no display" serves better.
void StartupMessages(QtMsgType type, const QMessageLogContext& context,
                     const QString& message) {
  if (type == QtFatalMsg) {
    NoDisplay("the display could not be opened");
  }
  if (context.category != nullptr &&
      std::strncmp(context.category, "qt.qpa", 6) == 0) {
    return;
  }
  std::fprintf(stderr, "%s\n", qUtf8Printable(message));
}

// A fault of the program, as opposed to a failure of the memory (which the
// conversation shows as the trouble message), ends the program with a message
// rather than hiding in the conversation. The event loop ends, and main()
// closes the engine as on any exit: every sentence stored before stays
// stored, and lines still waiting to be stored are stored, or reported.
class Application : public QApplication {
 public:
  using QApplication::QApplication;

  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& fault) {
      std::fprintf(stderr, "quibbo: internal error: %s\n", fault.what());
      QMessageBox::critical(
          nullptr, QStringLiteral("Quibbo"),
          QStringLiteral("Quibbo met an internal error and has to close:\n") +
              QString::fromUtf8(fault.what()) +
              QStringLiteral("\nEverything it learned before is kept."));
      exit(quibbo::kInternalErrorStatus);
      return false;
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  const std::optional<std::string> named = quibbo::ui::TakeOptions(&argc, argv);
  if (!IsSet("QT_QPA_PLATFORM") && !IsSet("DISPLAY") &&
      !IsSet("WAYLAND_DISPLAY")) {
    NoDisplay("no display is set (neither DISPLAY nor WAYLAND_DISPLAY)");
  }
  QtMessageHandler previous = qInstallMessageHandler(StartupMessages);
  Application app(argc, argv);
  qInstallMessageHandler(previous);
  // Matches the menu entry, so the desktop shows the window under its icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("org.example.quibbo"));

  std::string memory;
  try {
    memory = quibbo::ui::ChooseMemory(named);
  } catch (const quibbo::Error& failure) {
    // Without a memory of their own, every reply would only say so.
    std::fprintf(stderr, "quibbo: %s\n", failure.description());
    QMessageBox::critical(nullptr, QStringLiteral("Quibbo"),
                          QString::fromUtf8(failure.description()));
    return kNoMemory;
  }
  quibbo::Engine engine(memory);
  quibbo::ui::EngineConversation conversation(engine);
  quibbo::ui::DesktopOpener opener;
  quibbo::ui::MainWindow window(conversation, opener);
  window.show();
  const int status = app.exec();
  // After an internal error the window may not have closed itself.
  quibbo::ui::ReportUnstored(nullptr, conversation);
  return status;
}
