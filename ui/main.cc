// quibbo: the conversation window, over the memory beside the program or
// the one given with --memory FILE.
#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "engine/engine.h"
#include "engine/program_folder.h"
#include "engine/version.h"
#include "ui/conversation.h"
#include "ui/main_window.h"
#include "ui/opener.h"

namespace {

// Tells scripts/run to fall back to the terminal conversation.
constexpr int kNoDisplay = 3;
// A mistake on the command line, as in quibbo-cli.
constexpr int kUsage = 2;

// A fault of the program itself (sysexits' EX_SOFTWARE).
constexpr int kInternalError = 70;

constexpr char kUsageText[] =
    "Usage: quibbo [OPTIONS]\n"
    "Quibbo's conversation window, over the memory beside the program.\n"
    "\n"
    "Options:\n"
    "  --memory FILE  the memory file (default: qvd.mdb beside the program)\n"
    "  -h, --help     print this help and exit\n"
    "  --version      print the version and exit\n"
    "Qt's own options, such as -platform NAME, are taken too.\n";

// Takes --memory FILE (or --memory=FILE), --help and --version out of the
// command line before Qt sees it, as they need no display; Qt's own options
// (-platform, -style...) stay for Qt. Returns the memory to use, or exits
// after --help, --version or a mistake.
std::string TakeOptions(int* argc, char** argv) {
  std::optional<std::string> memory;
  int kept = 1;
  for (int i = 1; i < *argc; ++i) {
    const char* argument = argv[i];
    if (std::strcmp(argument, "--help") == 0 ||
        std::strcmp(argument, "-h") == 0) {
      std::fputs(kUsageText, stdout);
      std::exit(0);
    }
    if (std::strcmp(argument, "--version") == 0) {
      std::printf("quibbo %s\n", quibbo::kVersion);
      std::exit(0);
    }
    if (std::strncmp(argument, "--memory=", 9) == 0) {
      memory = argument + 9;
    } else if (std::strcmp(argument, "--memory") == 0) {
      if (i + 1 == *argc) {
        std::fputs("quibbo: --memory needs a FILE\n", stderr);
        std::exit(kUsage);
      }
      memory = argv[++i];
    } else {
      argv[kept++] = argv[i];
    }
  }
  *argc = kept;
  argv[kept] = nullptr;
  if (memory && memory->empty()) {
    std::fputs("quibbo: --memory needs a FILE\n", stderr);
    std::exit(kUsage);
  }
  return memory ? *memory : quibbo::DefaultMemoryPath();
}

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
// engine turns into the trouble message), ends the program with a message
// rather than hiding in the conversation. Every sentence stored before it
// stays stored: each was committed on its own.
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
      std::exit(kInternalError);
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  const std::string memory = TakeOptions(&argc, argv);
  if (!IsSet("QT_QPA_PLATFORM") && !IsSet("DISPLAY") &&
      !IsSet("WAYLAND_DISPLAY")) {
    NoDisplay("no display is set (neither DISPLAY nor WAYLAND_DISPLAY)");
  }
  QtMessageHandler previous = qInstallMessageHandler(StartupMessages);
  Application app(argc, argv);
  qInstallMessageHandler(previous);
  QGuiApplication::setDesktopFileName(QStringLiteral("quibbo"));

  quibbo::Engine engine(memory);
  quibbo::ui::EngineConversation conversation(engine);
  quibbo::ui::DesktopOpener opener;
  quibbo::ui::MainWindow window(conversation, opener);
  window.show();
  return app.exec();
}
