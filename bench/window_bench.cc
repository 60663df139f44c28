// The conversation window's cost per exchange as its transcript grows.
//
// Drives the real window on the offscreen platform with a conversation that
// answers at once, so only the window's own work is timed: the user's line
// going into the transcript, the repaint before the engine runs, the reply,
// and the events that follow until the window is idle. Each exchange pastes
// a 240-character line into the input box and clicks Talk, as a person
// would. The transcript is loaded to each size first, the way Talk leaves it,
// and a few exchanges warm the window up before the timed ones.
//
// Writes the medians as one JSON object for the report.
//
//   window_bench [--out FILE] [--exchanges N]
#include <time.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QThread>
#include <QWindow>
#include <algorithm>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "quibbo/engine.h"
#include "ui/conversation.h"
#include "ui/main_window.h"
#include "ui/opener.h"

namespace quibbo::bench {
namespace {

constexpr int kInputCharacters = 240;
constexpr int kWarmUp = 5;

// Answers every line at once with a sentence of its own.
class InstantConversation : public ui::Conversation {
 public:
  explicit InstantConversation(std::vector<std::string> replies)
      : replies_(std::move(replies)) {}
  void SetReportErrors(bool) override {}
  void SetConfirm(Engine::Confirm) override {}
  std::optional<std::string> Respond(std::string_view) override {
    return replies_[next_++ % replies_.size()];
  }
  std::optional<Error> WipeMemory() override { return std::nullopt; }

 private:
  std::vector<std::string> replies_;
  size_t next_ = 0;
};

class NoOpener : public ui::Opener {
 public:
  void Open(const QString&, const QString&, ui::OpenFailed) override {}
};

// Words of ordinary length, so lines wrap as a conversation's do.
std::string Sentence(SeededRandom& random, size_t length) {
  static const char* const kWords[] = {
      "the",    "memory",  "learns", "every",     "word",  "you",
      "say",    "and",     "then",   "answers",   "with",  "a",
      "walk",   "through", "what",   "it",        "heard", "before",
      "slowly", "quietly", "of",     "sentences", "in",    "order"};
  std::string text;
  while (text.size() < length) {
    if (!text.empty()) text += ' ';
    text += kWords[random.Below(std::size(kWords))];
  }
  text.resize(length - 1);
  return text + '.';
}

double CpuMs() {
  timespec now;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

double WallMs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Lets the window handle everything posted so far: layout, repaint, flush.
void Settle() {
  for (int i = 0; i < 3; ++i) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
  }
}

struct Figure {
  qsizetype bytes = 0;
  double cpu_ms = 0;
  double wall_ms = 0;
};

// Median costs of `exchanges` exchanges on a window whose transcript starts
// at `bytes` bytes.
Figure Measure(qsizetype bytes, int exchanges) {
  SeededRandom random(11);
  std::vector<std::string> replies;
  for (int i = 0; i < 16; ++i) {
    replies.push_back(Sentence(random, 60 + random.Below(160)));
  }
  std::vector<QString> inputs;
  for (int i = 0; i < 16; ++i) {
    inputs.push_back(
        QString::fromStdString(Sentence(random, kInputCharacters)));
  }
  InstantConversation conversation(replies);
  NoOpener opener;
  ui::MainWindow window(conversation, opener);
  auto* computer = window.findChild<QPlainTextEdit*>("Computer");
  auto* human = window.findChild<QPlainTextEdit*>("Human");
  auto* talk = window.findChild<QPushButton*>("Talk");

  QString transcript;
  for (size_t i = 0; transcript.size() < bytes; ++i) {
    transcript += QStringLiteral("You: ") + inputs[i % inputs.size()] +
                  QStringLiteral("\nQuibbo: ") +
                  QString::fromStdString(replies[i % replies.size()]) +
                  QStringLiteral("\n\n");
  }
  computer->setPlainText(transcript);
  computer->moveCursor(QTextCursor::End);
  window.show();
  for (int i = 0; i < 20 && !window.windowHandle()->isExposed(); ++i) {
    Settle();
    QThread::msleep(5);
  }
  Settle();

  std::vector<double> cpu, wall;
  for (int i = 0; i < kWarmUp + exchanges; ++i) {
    const double cpu_start = CpuMs(), wall_start = WallMs();
    human->setPlainText(inputs[i % inputs.size()]);
    talk->click();
    Settle();
    if (i >= kWarmUp) {
      cpu.push_back(CpuMs() - cpu_start);
      wall.push_back(WallMs() - wall_start);
    }
  }
  return {bytes, Median(cpu), Median(wall)};
}

}  // namespace
}  // namespace quibbo::bench

int main(int argc, char** argv) {
  // The window needs no display of its own here.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  // Only real failures: the offscreen platform warns about what it lacks.
  qInstallMessageHandler(
      [](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type == QtCriticalMsg || type == QtFatalMsg) {
          std::cerr << message.toStdString() << "\n";
        }
      });
  QApplication app(argc, argv);
  std::string out;
  int exchanges = 100;
  const QStringList args = QCoreApplication::arguments();
  for (qsizetype i = 1; i < args.size(); ++i) {
    if (args[i] == "--out" && i + 1 < args.size()) {
      out = args[++i].toStdString();
    } else if (args[i] == "--exchanges" && i + 1 < args.size()) {
      exchanges = std::max(1, args[++i].toInt());
    } else {
      std::cerr << "usage: window_bench [--out FILE] [--exchanges N]\n";
      return 2;
    }
  }
  nlohmann::json figures = nlohmann::json::array();
  for (qsizetype bytes : {0, 100'000, 500'000, 1'000'000}) {
    const quibbo::bench::Figure figure =
        quibbo::bench::Measure(bytes, exchanges);
    std::cerr << "bench: window: transcript of " << figure.bytes
              << " bytes: " << figure.cpu_ms << " ms CPU, " << figure.wall_ms
              << " ms in all per exchange\n";
    figures.push_back({{"bytes", figure.bytes},
                       {"cpu_ms", figure.cpu_ms},
                       {"wall_ms", figure.wall_ms}});
  }
  const nlohmann::json report = {{"exchanges", exchanges},
                                 {"input_characters", 240},
                                 {"transcripts", figures}};
  if (out.empty()) {
    std::cout << report.dump(2) << "\n";
  } else {
    std::ofstream(out) << report.dump(2) << "\n";
  }
  return 0;
}
