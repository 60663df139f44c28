// The conversation window and the About box, driven through their keys,
// menus and message boxes on the offscreen platform, with an opener that
// only records.
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <deque>
#include <filesystem>
#include <functional>

#include "engine/engine.h"
#include "engine/program_folder.h"
#include "engine/version.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_memory.h"
#include "ui/about_box.h"
#include "ui/conversation.h"
#include "ui/links.h"
#include "ui/main_window.h"
#include "ui/opener.h"

namespace quibbo::testing {
namespace {

using ui::PlainText;

// Records what would have been opened instead of opening it.
class RecordingOpener : public ui::Opener {
 public:
  void Open(const QString& target, const QString& working_dir) override {
    calls << target + (working_dir == "/" ? "" : " in " + working_dir);
  }
  QStringList calls;
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
    return respond ? respond(line) : std::nullopt;
  }
  void WipeMemory() override {}

  std::function<std::optional<std::string>(std::string_view)> respond;
  std::vector<std::string> lines;
  bool report_errors = false;
  Engine::Confirm confirm;
};

// Deals with modal dialogs from inside their own event loops: each one that
// appears is handed to the next action in line.
class ModalAnswerer {
 public:
  using Action = std::function<void(QWidget*)>;

  explicit ModalAnswerer(std::deque<Action> actions)
      : actions_(std::move(actions)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal == nullptr || !modal->isVisible() || actions_.empty()) return;
      Action action = std::move(actions_.front());
      actions_.pop_front();
      action(modal);
    });
    timer_.start(5);
  }
  size_t pending() const { return actions_.size(); }

 private:
  std::deque<Action> actions_;
  QTimer timer_;
};

// Counts the paint events of the widgets it is installed on.
struct PaintCounter : QObject {
  bool eventFilter(QObject* /*watched*/, QEvent* event) override {
    count += event->type() == QEvent::Paint;
    return false;
  }
  int count = 0;
};

// A window on a conversation of the test's choosing, shown and active.
template <typename ConversationType = FakeConversation>
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

template <typename T = QWidget>
T* Child(QObject* parent, const char* name) {
  return parent->findChild<T*>(QString::fromLatin1(name));
}

QString Clipboard() { return QGuiApplication::clipboard()->text(); }

QString BuildVersion() {
  return ui::VersionText(kVersionMajor, kVersionMinor, kVersionRevision);
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void StartStateNamesAndScreenshot();
  void TalkFollowsTheInput();
  void TalkRepaintsFirstAndCopiesTakeWholeTexts();
  void PasteAndTypingStopAt250Characters();
  void WipeAsksTwiceAndSurvivesAnError();
  void NoDisplayEndsWithStatusThree();
  void AboutVersionLooksAndScreenshot();
  void HelpCommandsAboutBoxAndItsLinks();
  void ScreenReaderNames();
};

void WindowTest::StartStateNamesAndScreenshot() {
  Harness<> h;
  QVERIFY(!h.talk->isEnabled() && h.talk->isDefault());
  QVERIFY(h.computer->toPlainText().isEmpty() && h.computer->isReadOnly());
  QVERIFY(h.human->toPlainText().isEmpty());
  QCOMPARE(QApplication::focusWidget(), h.human);
  // The window's load asked for failures to come back as replies.
  QVERIFY(h.conversation.report_errors && h.conversation.confirm);

  // The names of the window and its controls, then the menus in order with
  // their captions and keys.
  QStringList items = {h.window.objectName()};
  for (const char* name : {"Frame1", "Frame2", "Computer", "Human", "Talk"}) {
    if (h.window.findChild<QWidget*>(name)) items << name;
  }
  for (QAction* entry : h.window.menuBar()->actions()) {
    items << entry->menu()->objectName() + ' ' + entry->text();
    for (QAction* item : entry->menu()->actions()) {
      items << item->objectName() + ' ' + item->text() + ' ' +
                   item->shortcut().toString();
    }
  }
  QCOMPARE(items.join(u'|'),
           "quibbo|Frame1|Frame2|Computer|Human|Talk|"
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

  h.computer->setPlainText(
      QStringLiteral("You: hello there\nQuibbo: Hello there.\n\n"));
  h.human->setPlainText(QStringLiteral("How are you?"));
  const QPixmap shot = h.window.grab();
  QCOMPARE(shot.size(), QSize(361, 249 + h.window.menuBar()->height()));
  QVERIFY(shot.save(QStringLiteral(QUIBBO_SCREENSHOT_DIR "/quibbo.png")));
}

void WindowTest::TalkFollowsTheInput() {
  Harness<> h;
  // Spaces alone are nothing to say; anything else is something.
  const std::pair<QString, bool> inputs[] = {
      {"", false},  {"    ", false},  {"  a  ", true},
      {"\t", true}, {"  \n  ", true}, {"\u00a0", true}};
  for (const auto& [input, enabled] : inputs) {
    h.human->setPlainText(QStringLiteral("x"));
    h.human->setPlainText(input);
    QVERIFY2(h.talk->isEnabled() == enabled, qPrintable(input));
    QCOMPARE(PlainText(*h.human), input);
  }
}

void WindowTest::TalkRepaintsFirstAndCopiesTakeWholeTexts() {
  Harness<> h;
  PaintCounter paints;
  h.computer->viewport()->installEventFilter(&paints);
  int paints_before = 0, unpainted = 0;
  QString shown;
  h.conversation.respond = [&](std::string_view line) {
    // The user's line must be on screen before the engine starts.
    shown = PlainText(*h.computer);
    if (paints.count == paints_before) ++unpainted;
    return line == "a"   ? std::optional<std::string>("b")
           : line == "c" ? std::optional<std::string>("d")
                         : std::nullopt;
  };
  auto press = [&](Qt::Key key, Qt::KeyboardModifier modifier) {
    QCoreApplication::processEvents();
    paints_before = paints.count;
    QTest::keyClick(h.human, key, modifier);
  };
  // While Talk is disabled, Enter does nothing, not even a line break.
  QTest::keyClick(h.human, Qt::Key_Return);
  QVERIFY(h.human->toPlainText().isEmpty());

  QTest::keyClicks(h.human, "a");
  press(Qt::Key_Return, Qt::NoModifier);
  QTest::keyClicks(h.human, "c");
  press(Qt::Key_Enter, Qt::KeypadModifier);
  const QString six = "You: a\nQuibbo: b\n\nYou: c\nQuibbo: d\n\n";
  QCOMPARE(PlainText(*h.computer), six);

  // Ctrl+Enter types a line break; the engine gets the input exactly as it
  // stood, and no reply shows as an empty one.
  h.human->setPlainText(QStringLiteral("  e\u00a0f"));
  h.human->moveCursor(QTextCursor::End);
  QTest::keyClick(h.human, Qt::Key_Return, Qt::ControlModifier);
  QTest::keyClicks(h.human, "g  ");
  press(Qt::Key_Return, Qt::NoModifier);
  QCOMPARE(shown, six + "You:   e\u00a0f\ng  \n");
  QCOMPARE(unpainted, 0);
  QCOMPARE(h.conversation.lines,
           (std::vector<std::string>{"a", "c", "  e\u00a0f\ng  "}));
  const QString transcript = shown + "Quibbo: \n\n";
  QCOMPARE(PlainText(*h.computer), transcript);
  QVERIFY(h.human->toPlainText().isEmpty() && !h.talk->isEnabled());
  QCOMPARE(QApplication::focusWidget(), h.human);

  // Ctrl+C and Ctrl+H take whole texts, whatever is selected and focused.
  h.human->setPlainText(QStringLiteral("some input"));
  for (QPlainTextEdit* edit : {h.computer, h.human}) {
    QGuiApplication::clipboard()->clear();
    h.Select(edit, 1, 4);
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(Clipboard(), transcript);
  }
  QTest::keyClick(h.human, Qt::Key_H, Qt::ControlModifier);
  QCOMPARE(Clipboard(), "some input");
  QCOMPARE(PlainText(*h.human), "some input");

  // However long it grows, the end of it is in view.
  for (int i = 0; i < 10; ++i) {
    h.human->setPlainText(QStringLiteral("a"));
    QTest::mouseClick(h.talk, Qt::LeftButton);
  }
  const QScrollBar* bar = h.computer->verticalScrollBar();
  QVERIFY(bar->maximum() > 0);
  QCOMPARE(bar->value(), bar->maximum());
}

void WindowTest::PasteAndTypingStopAt250Characters() {
  struct Case {
    QString before;
    int anchor, caret;
    enum { kPaste, kType, kInsert } how;
    QString text, after;
  };
  const QString x250(250, u'x'), face = QStringLiteral("\U0001F600");
  const Case cases[] = {
      // Paste replaces everything, not just the selection.
      {"old words here", 4, 9, Case::kPaste, "first\r\nsecond",
       "first\nsecond"},
      {"old", 0, 0, Case::kPaste, "", ""},
      {"", 0, 0, Case::kPaste, QString(300, u'x'), x250},
      {"", 0, 0, Case::kPaste, face.repeated(260), face.repeated(250)},
      // At the limit a key is refused where it is typed, and an insertion
      // loses its own end, not the input's.
      {x250, 10, 10, Case::kType, "y", x250},
      {QString(247, u'x') + u'!', 5, 5, Case::kInsert, "abcd",
       QString(5, u'x') + "ab" + QString(242, u'x') + u'!'},
  };
  Harness<> h;
  for (const Case& c : cases) {
    h.human->setPlainText(c.before);
    h.Select(h.human, c.anchor, c.caret);
    if (c.how == Case::kPaste) {
      QGuiApplication::clipboard()->setText(c.text);
      QTest::keyClick(h.human, Qt::Key_V, Qt::ControlModifier);
    } else if (c.how == Case::kType) {
      QTest::keyClicks(h.human, c.text);
    } else {
      h.human->insertPlainText(c.text);
    }
    QCOMPARE(PlainText(*h.human), c.after);
    QCOMPARE(h.talk->isEnabled(), !c.after.isEmpty());
    if (c.how != Case::kPaste) {
      QCOMPARE(h.human->textCursor().position(),
               c.caret + c.after.size() - c.before.size());
    }
  }
}

void WindowTest::WipeAsksTwiceAndSurvivesAnError() {
  TempMemory memory;
  memory.Fill({"Keep these words."});
  Engine engine(memory.path());
  Harness<ui::EngineConversation> h(engine);
  h.computer->setPlainText(QStringLiteral("You: x\n"));
  h.human->setPlainText(QStringLiteral("draft"));

  // Once through the message boxes; the buttons clicked must be there.
  QStringList seen;
  auto answer = [&seen](QMessageBox::StandardButton which) {
    return [&seen, which](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      seen << QStringLiteral("%1/%2/%3/%4")
                  .arg(box->windowTitle(), box->text())
                  .arg(box->icon())
                  .arg(box->standardButton(box->defaultButton()));
      box->button(which)->click();
    };
  };
  ModalAnswerer boxes({answer(QMessageBox::Yes), answer(QMessageBox::Ok)});
  h.Trigger("mnuwipe");
  QCOMPARE(boxes.pending(), size_t{0});
  QVERIFY(memory.Rows().empty());
  QCOMPARE(
      seen,
      QStringList(
          {QStringLiteral(
               "Delete All Data!/Are you absolutely sure about this?/%1/%2")
               .arg(QMessageBox::Critical)
               .arg(QMessageBox::No),
           QStringLiteral("Proceed with delete?/This data is irrecoverable!/"
                          "%1/%2")
               .arg(QMessageBox::NoIcon)
               .arg(QMessageBox::Cancel)}));

  // Each way through the callback: only Yes then OK wipes.
  std::vector<bool> answers;
  size_t asked = 0;
  h.window.SetAsker([&](const WipeQuestion&) { return answers.at(asked++); });
  const std::vector<std::vector<bool>> cases = {
      {false}, {true, false}, {true, true}};
  for (const std::vector<bool>& each : cases) {
    memory.Fill({"Keep these words."});
    answers = each;
    asked = 0;
    h.Trigger("mnuwipe");
    QCOMPARE(asked, answers.size());
    QCOMPARE(memory.Rows().empty(), answers.back());
  }

  // A failed wipe is shown, with the store's own message, which names
  // the missing file.
  std::filesystem::remove(memory.path());
  answers = {true, true};
  asked = 0;
  QString error;
  ModalAnswerer error_box({[&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    error = box->text();
    box->button(QMessageBox::Ok)->click();
  }});
  h.Trigger("mnuwipe");
  QVERIFY2(error.contains(QString::fromStdString(memory.path())),
           qPrintable(error));
  QVERIFY(h.window.isVisible());
  QCOMPARE(PlainText(*h.computer), "You: x\n");
  QCOMPARE(PlainText(*h.human), "draft");
}

void WindowTest::NoDisplayEndsWithStatusThree() {
  // No display at all, then one that is set but not there.
  for (const char* display : {"--unset=DISPLAY", "DISPLAY=:9999"}) {
    const ProgramResult result = RunProgram(
        "/usr/bin/env", {"-u", "QT_QPA_PLATFORM", "-u", "WAYLAND_DISPLAY",
                         display, ProgramDir() + "/quibbo"});
    QCOMPARE(result.exit_status, 3);
    QVERIFY2(result.err.starts_with("quibbo: cannot open a window: ") &&
                 std::count(result.err.begin(), result.err.end(), '\n') == 1,
             result.err.c_str());
  }
}

void WindowTest::AboutVersionLooksAndScreenshot() {
  QCOMPARE(ui::VersionText(1, 0, 4), "Version 1.0.4");
  QCOMPARE(ui::VersionText(1, 0, 12), "Version 1.0.12");
  RecordingOpener opener;
  ui::AboutBox box(opener);
  QCOMPARE(Child<QLabel>(&box, "version")->text(), BuildVersion());
  box.show();
  QVERIFY(QTest::qWaitForWindowExposed(&box));
  QCOMPARE(box.minimumSize(), box.maximumSize());
  QCOMPARE(Child<QLabel>(&box, "Image1")->pixmap().size(), QSize(32, 32));

  const QImage shot = box.grab().toImage();
  QCOMPARE(shot.size(), QSize(360, 204));
  // The etched separator: grey over white, from x 8 to 352.
  for (int x : {8, 180, 352}) {
    QCOMPARE(QColor(shot.pixel(x, 135)), QColor(128, 128, 128));
    QCOMPARE(QColor(shot.pixel(x, 136)), QColor(255, 255, 255));
  }
  QVERIFY(shot.save(QStringLiteral(QUIBBO_SCREENSHOT_DIR "/about.png")));
}

void WindowTest::HelpCommandsAboutBoxAndItsLinks() {
  Harness<> h;
  QVERIFY(h.window.about_box() == nullptr);
  h.Trigger("mnuQhelp");
  QPointer<ui::AboutBox> loaded = h.window.about_box();
  QVERIFY(loaded && !loaded->isVisible());
  QCOMPARE(Child<QLabel>(loaded, "version")->text(), BuildVersion());
  h.Trigger("mnuweb");
  h.Trigger("mnuemail");
  QCOMPARE(h.window.about_box(), loaded.data());
  const QWidget* first_loaded = loaded;

  // About shows the one loaded. OK is the default and has the focus, Tab
  // goes to Readme and back, and Enter presses OK. Names are kept, as the
  // box is gone when they are read.
  const QWidget* shown = nullptr;
  bool ok_is_default = false;
  QStringList focus_chain;
  auto tab_tab_enter = [&](QWidget* modal) {
    shown = modal;
    QVERIFY(QTest::qWaitForWindowActive(modal));
    ok_is_default = Child<QPushButton>(modal, "cmdOK")->isDefault();
    for (Qt::Key key : {Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Return}) {
      focus_chain << QApplication::focusWidget()->objectName();
      QTest::keyClick(QApplication::focusWidget(), key);
    }
  };
  // The second time the links and Readme are clicked, and the close box
  // ends it.
  auto click_links_and_close = [](QWidget* modal) {
    QTest::mouseClick(Child(modal, "Label5"), Qt::LeftButton);
    QTest::mouseClick(Child(modal, "Label4"), Qt::LeftButton);
    QTest::mouseClick(Child(modal, "cmdReadme"), Qt::LeftButton);
    // A click that ends off the label opens nothing.
    QTest::mousePress(Child(modal, "Label5"), Qt::LeftButton);
    QTest::mouseRelease(Child(modal, "Label5"), Qt::LeftButton, {}, {-5, -5});
    modal->close();
  };
  ModalAnswerer answerer({tab_tab_enter, click_links_and_close});
  h.Trigger("mnuabout");
  QVERIFY(shown == first_loaded && !loaded);
  QVERIFY(h.window.about_box() == nullptr);
  QVERIFY(ok_is_default);
  QCOMPARE(focus_chain, QStringList({"cmdOK", "cmdReadme", "cmdOK"}));
  h.Trigger("mnuabout");
  QCOMPARE(answerer.pending(), size_t{0});
  QVERIFY(h.window.about_box() == nullptr);
  QVERIFY(h.window.isVisible());

  // Exactly these targets, each started in "/"; Enter opened nothing.
  const QString readme =
      QString::fromStdString(ProgramFolder()) + QStringLiteral("/readme.txt");
  const QString web = QString::fromLatin1(ui::kWebPage);
  const QString mail =
      QStringLiteral("mailto:") + QString::fromLatin1(ui::kEmailAddress);
  QCOMPARE(h.opener.calls, QStringList({readme, web, mail, web, mail, readme}));
}

void WindowTest::ScreenReaderNames() {
  Harness<> h;
  RecordingOpener opener;
  ui::AboutBox box(opener);
  // What a screen reader announces, and that each also says what it does.
  const std::pair<QWidget*, QString> controls[] = {
      {h.computer, "Conversation"},
      {h.human, "Say something to Quibbo"},
      {h.talk, "Talk"},
      {Child(&box, "Label5"), "Quibbo Web Site"},
      {Child(&box, "Label4"), "Email Quibbo Creator"}};
  for (const auto& [widget, name] : controls) {
    QAccessibleInterface* control =
        QAccessible::queryAccessibleInterface(widget);
    QCOMPARE(control->text(QAccessible::Name), name);
    QVERIFY(!control->text(QAccessible::Description).isEmpty());
  }
}

}  // namespace quibbo::testing

QTEST_MAIN(quibbo::testing::WindowTest)
#include "window_test.moc"
