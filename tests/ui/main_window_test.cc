// The conversation window, driven through its keys, menus and message boxes
// on the offscreen platform.
#include "ui/main_window.h"

#include <stdlib.h>

#include <QAbstractButton>
#include <QAction>
#include <QClipboard>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <algorithm>
#include <filesystem>

#include "engine/engine.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_memory.h"
#include "tests/ui/ui_test_support.h"

namespace quibbo::testing {
namespace {

using ui::PlainText;

// A window on a conversation of the test's choosing, shown and active.
template <typename ConversationType>
struct Harness {
  template <typename... Args>
  explicit Harness(Args&&... args)
      : conversation(std::forward<Args>(args)...),
        window(conversation, opener) {
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
  }

  void Trigger(const char* name) {
    window.findChild<QAction*>(QString::fromLatin1(name))->trigger();
  }
  void Say(const QString& line) {
    human->setPlainText(line);
    QTest::mouseClick(talk, Qt::LeftButton);
  }
  void Select(QPlainTextEdit* edit, int from, int to) {
    QTextCursor cursor = edit->textCursor();
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    edit->setTextCursor(cursor);
  }

  ConversationType conversation;
  RecordingOpener opener;
  ui::MainWindow window;
  QPlainTextEdit* computer = window.findChild<QPlainTextEdit*>("Computer");
  QPlainTextEdit* human = window.findChild<QPlainTextEdit*>("Human");
  QPushButton* talk = window.findChild<QPushButton*>("Talk");
};

std::optional<std::string> Reply(const char* text) { return text; }

QString Clipboard() { return QGuiApplication::clipboard()->text(); }

void SetClipboard(const QString& text) {
  QGuiApplication::clipboard()->setText(text);
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void StartState();
  void TalkFollowsTheInput_data();
  void TalkFollowsTheInput();
  void TalkShowsTheLineBeforeTheEngineRuns();
  void TranscriptGrowsByExchanges();
  void HelloThereOnAnEmptyMemoryAndCopies();
  void EnterTalksAndCtrlEnterBreaksTheLine();
  void PasteReplacesTheInputUpTo250Characters();
  void WipeAnsweredThroughTheCallback();
  void WipeThroughTheMessageBoxes();
  void WipeErrorIsShownAndSurvived();
  void ScreenshotHasTheClientSize();
  void NoDisplayEndsWithStatusThree();
};

void MainWindowTest::StartState() {
  Harness<FakeConversation> h;
  QVERIFY(h.computer && h.human && h.talk);
  QVERIFY(!h.talk->isEnabled() && h.talk->isDefault());
  QVERIFY(h.computer->toPlainText().isEmpty() && h.computer->isReadOnly());
  QVERIFY(h.human->toPlainText().isEmpty());
  QCOMPARE(QApplication::focusWidget(), h.human);
  // The window's load asked for failures to come back as replies.
  QVERIFY(h.conversation.report_errors && h.conversation.confirm);
  QCOMPARE(h.window.centralWidget()->size(), QSize(361, 249));
  for (const char* name : {"Frame1", "Frame2"}) {
    QVERIFY2(h.window.findChild<QWidget*>(name), name);
  }

  // The menus, in order, with their captions and keys.
  QStringList items;
  for (QAction* entry : h.window.menuBar()->actions()) {
    items << entry->menu()->objectName() + ' ' + entry->text();
    for (QAction* item : entry->menu()->actions()) {
      items << item->objectName() + ' ' + item->text() + ' ' +
                   item->shortcut().toString();
    }
  }
  QCOMPARE(items.join(u'|'),
           "mnufile &File|mnuwipe Wipe Quibbos Memory |mnuFsp  |"
           "mnuexit Exit Quibbo |mnuedit &Edit|mnuQcopy &Copy Quibbo Ctrl+C|"
           "mnuHcopy Copy &Human Ctrl+H|mnupaste &Paste Ctrl+V|"
           "mnuhelp &Help|mnuQhelp Quibbo &Help |mnuhsep1  |"
           "mnuweb Quibbo &Web Site |mnuemail &Email Quibbo Creator |"
           "mnuhsep2  |mnuabout &About Quibbo ");

  // Tab order: Talk, Computer, Human.
  h.talk->setEnabled(true);
  h.talk->setFocus();
  for (QWidget* next :
       std::initializer_list<QWidget*>{h.computer, h.human, h.talk}) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), next);
  }

  // Resizing moves nothing.
  const QRect talk = h.talk->geometry(), human = h.human->geometry();
  h.window.resize(800, 600);
  QTRY_COMPARE(h.window.size(), QSize(800, 600));
  QCOMPARE(h.talk->geometry(), talk);
  QCOMPARE(h.human->geometry(), human);
}

void MainWindowTest::TalkFollowsTheInput_data() {
  QTest::addColumn<QString>("input");
  QTest::addColumn<bool>("enabled");
  QTest::newRow("empty") << "" << false;
  QTest::newRow("spaces") << "    " << false;
  QTest::newRow("letter among spaces") << "  a  " << true;
  QTest::newRow("tab") << "\t" << true;
  QTest::newRow("line break among spaces") << "  \n  " << true;
  QTest::newRow("no-break space") << "\u00a0" << true;
}

void MainWindowTest::TalkFollowsTheInput() {
  QFETCH(QString, input);
  QFETCH(bool, enabled);
  Harness<FakeConversation> h;
  h.human->setPlainText(QStringLiteral("x"));
  h.human->setPlainText(input);
  QCOMPARE(h.talk->isEnabled(), enabled);
  QCOMPARE(PlainText(*h.human), input);
}

void MainWindowTest::TalkShowsTheLineBeforeTheEngineRuns() {
  Harness<FakeConversation> h;
  PaintCounter paints(h.computer->viewport());
  QString transcript_while_working;
  int paints_while_working = 0;
  h.conversation.respond = [&](std::string_view) {
    transcript_while_working = PlainText(*h.computer);
    paints_while_working = paints.count;
    return Reply("Hello.");
  };
  h.human->setPlainText(QStringLiteral("  hi\u00a0there  "));
  QCoreApplication::processEvents();
  const int paints_before = paints.count;
  QTest::mouseClick(h.talk, Qt::LeftButton);

  QCOMPARE(transcript_while_working, "You:   hi\u00a0there  \n");
  QVERIFY2(paints_while_working > paints_before,
           "the transcript was not repainted before the engine ran");
  // The engine gets the input exactly as it stood.
  QCOMPARE(h.conversation.lines, std::vector<std::string>{"  hi\u00a0there  "});
  QCOMPARE(PlainText(*h.computer),
           "You:   hi\u00a0there  \nQuibbo: Hello.\n\n");
  QVERIFY(h.human->toPlainText().isEmpty());
  QVERIFY(!h.talk->isEnabled());
  QCOMPARE(QApplication::focusWidget(), h.human);
}

void MainWindowTest::TranscriptGrowsByExchanges() {
  Harness<FakeConversation> h;
  h.conversation.respond = [](std::string_view line) {
    return line == "a" ? Reply("b") : line == "c" ? Reply("d") : std::nullopt;
  };
  h.Say(QStringLiteral("a"));
  h.Say(QStringLiteral("c"));
  QCOMPARE(PlainText(*h.computer),
           "You: a\nQuibbo: b\n\nYou: c\nQuibbo: d\n\n");
  // No reply at all shows as an empty one.
  h.Say(QStringLiteral("e"));
  QVERIFY(PlainText(*h.computer).endsWith("\n\nYou: e\nQuibbo: \n\n"));
  // However long it grows, the end of it is in view.
  for (int i = 0; i < 10; ++i) h.Say(QStringLiteral("a"));
  const QScrollBar* bar = h.computer->verticalScrollBar();
  QVERIFY(bar->maximum() > 0);
  QCOMPARE(bar->value(), bar->maximum());
}

void MainWindowTest::HelloThereOnAnEmptyMemoryAndCopies() {
  TempMemory memory;
  Engine engine(memory.path());
  Harness<ui::EngineConversation> h(engine);
  QTest::keyClicks(h.human, "hello there");
  QTest::keyClick(h.human, Qt::Key_Return);
  const QString transcript = "You: hello there\nQuibbo: Hello there.\n\n";
  QCOMPARE(PlainText(*h.computer), transcript);

  // Ctrl+C and Ctrl+H take whole texts, whatever is selected and focused.
  h.human->setPlainText(QStringLiteral("some input"));
  h.Select(h.computer, 5, 8);
  h.computer->setFocus();
  QTest::keyClick(h.computer, Qt::Key_C, Qt::ControlModifier);
  QCOMPARE(Clipboard(), transcript);
  SetClipboard(QString());
  h.Select(h.human, 0, 4);
  h.human->setFocus();
  QTest::keyClick(h.human, Qt::Key_C, Qt::ControlModifier);
  QCOMPARE(Clipboard(), transcript);
  QTest::keyClick(h.human, Qt::Key_H, Qt::ControlModifier);
  QCOMPARE(Clipboard(), "some input");
  QCOMPARE(PlainText(*h.human), "some input");

  // With the memory gone, the trouble message is the reply.
  std::filesystem::remove(memory.path());
  h.human->clear();
  QTest::keyClicks(h.human, "again");
  QTest::keyClick(h.human, Qt::Key_Enter, Qt::KeypadModifier);
  QVERIFY(PlainText(*h.computer)
              .startsWith(transcript + "You: again\nQuibbo: I am having "));
}

void MainWindowTest::EnterTalksAndCtrlEnterBreaksTheLine() {
  Harness<FakeConversation> h;
  // While Talk is disabled, Enter does nothing, not even a line break.
  QTest::keyClick(h.human, Qt::Key_Return);
  QVERIFY(h.human->toPlainText().isEmpty());

  QTest::keyClicks(h.human, "one");
  QTest::keyClick(h.human, Qt::Key_Return, Qt::ControlModifier);
  QTest::keyClicks(h.human, "two");
  QVERIFY(h.conversation.lines.empty());
  QTest::keyClick(h.human, Qt::Key_Return);
  // A line break alone may be said too.
  QTest::keyClick(h.human, Qt::Key_Return, Qt::ControlModifier);
  QTest::keyClick(h.human, Qt::Key_Return);
  QCOMPARE(h.conversation.lines, (std::vector<std::string>{"one\ntwo", "\n"}));
  QCOMPARE(PlainText(*h.computer),
           "You: one\ntwo\nQuibbo: \n\nYou: \n\nQuibbo: \n\n");
}

void MainWindowTest::PasteReplacesTheInputUpTo250Characters() {
  Harness<FakeConversation> h;
  h.human->setPlainText(QStringLiteral("old words here"));
  h.Select(h.human, 4, 9);
  SetClipboard(QStringLiteral("first\r\nsecond"));
  QTest::keyClick(h.human, Qt::Key_V, Qt::ControlModifier);
  QCOMPARE(PlainText(*h.human), "first\nsecond");
  QVERIFY(h.talk->isEnabled());
  QGuiApplication::clipboard()->clear();
  h.Trigger("mnupaste");
  QVERIFY(h.human->toPlainText().isEmpty());
  QVERIFY(!h.talk->isEnabled());

  SetClipboard(QString(300, u'x'));
  h.Trigger("mnupaste");
  QCOMPARE(PlainText(*h.human), QString(250, u'x'));
  // Typing at the limit is refused where it happens.
  h.Select(h.human, 10, 10);
  QTest::keyClick(h.human, Qt::Key_Y);
  QCOMPARE(PlainText(*h.human), QString(250, u'x'));
  QCOMPARE(h.human->textCursor().position(), 10);
  // Text inserted at the caret loses its own end, not the input's.
  h.human->setPlainText(QString(247, u'x') + u'!');
  h.Select(h.human, 5, 5);
  h.human->insertPlainText(QStringLiteral("abcd"));
  QCOMPARE(PlainText(*h.human),
           QString(5, u'x') + "ab" + QString(242, u'x') + u'!');
  // Characters, not halves of them.
  const QString face = QStringLiteral("\U0001F600");
  SetClipboard(face.repeated(260));
  h.Trigger("mnupaste");
  QCOMPARE(PlainText(*h.human), face.repeated(250));
}

void MainWindowTest::WipeAnsweredThroughTheCallback() {
  struct Case {
    std::vector<bool> answers;
    bool wiped;
  };
  for (const Case& c : {Case{{false}, false}, Case{{true, false}, false},
                        Case{{true, true}, true}}) {
    TempMemory memory;
    memory.Fill({"Keep these words."});
    Engine engine(memory.path());
    Harness<ui::EngineConversation> h(engine);
    std::vector<std::string> asked;
    h.window.SetAsker([&](const WipeQuestion& question) {
      asked.push_back(question.text);
      return c.answers.at(asked.size() - 1);
    });
    h.computer->setPlainText(QStringLiteral("You: x\n"));
    h.human->setPlainText(QStringLiteral("draft"));
    h.Trigger("mnuwipe");
    QCOMPARE(asked.size(), c.answers.size());
    QCOMPARE(asked[0], kWipeFirstQuestion.text);
    if (asked.size() > 1) QCOMPARE(asked[1], kWipeSecondQuestion.text);
    QCOMPARE(memory.Rows().empty(), c.wiped);
    QCOMPARE(PlainText(*h.computer), "You: x\n");
    QCOMPARE(PlainText(*h.human), "draft");
  }
}

void MainWindowTest::WipeThroughTheMessageBoxes() {
  QStringList seen;
  auto answer = [&seen](std::function<void(QMessageBox*)> act) {
    return [&seen, act](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      seen << QStringLiteral("%1/%2/%3/%4")
                  .arg(box->windowTitle(), box->text())
                  .arg(box->icon())
                  .arg(box->standardButton(box->defaultButton()));
      act(box);
    };
  };
  auto click = [](QMessageBox::StandardButton which) {
    return [which](QMessageBox* box) { box->button(which)->click(); };
  };
  auto enter = [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); };

  TempMemory memory;
  memory.Fill({"Keep these words."});
  Engine engine(memory.path());
  Harness<ui::EngineConversation> h(engine);
  const size_t rows = memory.Rows().size();
  // Enter answers No at the first question and Cancel at the second.
  for (int yes_first : {0, 1}) {
    std::deque<ModalAnswerer::Action> actions = {answer(enter)};
    if (yes_first) actions.push_front(answer(click(QMessageBox::Yes)));
    ModalAnswerer answerer(actions);
    h.Trigger("mnuwipe");
    QCOMPARE(answerer.pending(), size_t{0});
    QCOMPARE(memory.Rows().size(), rows);
  }
  ModalAnswerer answerer(
      {answer(click(QMessageBox::Yes)), answer(click(QMessageBox::Ok))});
  h.Trigger("mnuwipe");
  QCOMPARE(answerer.pending(), size_t{0});
  QVERIFY(memory.Rows().empty());

  const QString first =
      QStringLiteral(
          "Delete All Data!/Are you absolutely sure about this?/%1/%2")
          .arg(QMessageBox::Critical)
          .arg(QMessageBox::No);
  const QString second =
      QStringLiteral("Proceed with delete?/This data is irrecoverable!/%1/%2")
          .arg(QMessageBox::NoIcon)
          .arg(QMessageBox::Cancel);
  QCOMPARE(seen, QStringList({first, first, second, first, second}));
}

void MainWindowTest::WipeErrorIsShownAndSurvived() {
  TempMemory memory;
  std::filesystem::remove(memory.path());
  Engine engine(memory.path());
  Harness<ui::EngineConversation> h(engine);
  h.window.SetAsker([](const WipeQuestion&) { return true; });
  h.computer->setPlainText(QStringLiteral("You: x\nQuibbo: y\n\n"));
  h.human->setPlainText(QStringLiteral("draft"));
  QString shown;
  ModalAnswerer answerer({[&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    shown = box->text();
    box->button(QMessageBox::Ok)->click();
  }});
  h.Trigger("mnuwipe");
  // The store's own description, which names the missing file.
  QVERIFY2(shown.contains(QString::fromStdString(memory.path())),
           qPrintable(shown));
  QVERIFY(h.window.isVisible());
  QCOMPARE(PlainText(*h.computer), "You: x\nQuibbo: y\n\n");
  QCOMPARE(PlainText(*h.human), "draft");
}

void MainWindowTest::ScreenshotHasTheClientSize() {
  Harness<FakeConversation> h;
  h.conversation.respond = [](std::string_view) {
    return Reply("Hello there.");
  };
  h.Say(QStringLiteral("hello there"));
  h.human->setPlainText(QStringLiteral("How are you?"));
  const QPixmap shot = h.window.grab();
  QCOMPARE(shot.size(), QSize(361, 249 + h.window.menuBar()->height()));
  QVERIFY(shot.save(QStringLiteral(QUIBBO_SCREENSHOT_DIR "/quibbo.png")));
}

void MainWindowTest::NoDisplayEndsWithStatusThree() {
  const char* names[] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};
  QByteArray saved[3];
  for (int i = 0; i < 3; ++i) {
    saved[i] = qgetenv(names[i]);
    unsetenv(names[i]);
  }
  const std::string program = ProgramDir() + "/quibbo";
  ProgramResult none = RunProgram(program, {});
  setenv("DISPLAY", ":9999", 1);  // set, but nothing there
  ProgramResult unreachable = RunProgram(program, {});
  for (int i = 0; i < 3; ++i) {
    unsetenv(names[i]);
    if (!saved[i].isNull()) setenv(names[i], saved[i].constData(), 1);
  }
  for (const ProgramResult* result : {&none, &unreachable}) {
    QCOMPARE(result->exit_status, 3);
    QVERIFY2(result->err.starts_with("quibbo: cannot open a window: ") &&
                 std::count(result->err.begin(), result->err.end(), '\n') == 1,
             result->err.c_str());
  }
}

}  // namespace quibbo::testing

QTEST_MAIN(quibbo::testing::MainWindowTest)
#include "main_window_test.moc"
