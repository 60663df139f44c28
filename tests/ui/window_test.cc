// The conversation window and the About box, driven through their keys,
// menus and message boxes on the offscreen platform, with an opener that
// only records.
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "engine/program_folder.h"
#include "engine/version.h"
#include "tests/support/child.h"
#include "ui/about_box.h"
#include "ui/conversation.h"
#include "ui/links.h"
#include "ui/main_window.h"
#include "ui/opener.h"

namespace quibbo::testing {
namespace {

using ui::PlainText;

// A conversation whose replies the test chooses.
struct FakeConversation : ui::Conversation {
  void SetReportErrors(bool) override {}
  void SetConfirm(Engine::Confirm) override {}
  std::optional<std::string> Respond(std::string_view line) override {
    return respond(line);
  }
  void WipeMemory() override {}
  std::function<std::optional<std::string>(std::string_view)> respond;
};

// Records what would have been opened, and in which folder.
struct RecordingOpener : ui::Opener {
  void Open(const QString& target, const QString& folder) override {
    calls << target + " in " + folder;
  }
  QStringList calls;
};

// Hands the next modal dialog to appear to `action`, inside its own loop.
void WhenModal(std::function<void(QWidget*)> action) {
  QTimer::singleShot(5, [action] {
    QWidget* modal = QApplication::activeModalWidget();
    modal && modal->isVisible() ? action(modal) : WhenModal(action);
  });
}

void Select(QPlainTextEdit* edit, int from, int to) {
  QTextCursor cursor = edit->textCursor();
  cursor.setPosition(from);
  cursor.setPosition(to, QTextCursor::KeepAnchor);
  edit->setTextCursor(cursor);
}

// A window on a conversation of the test's choosing, shown and active.
struct Harness {
  explicit Harness(ui::Conversation& conversation)
      : window(conversation, opener) {
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
  }
  void Trigger(const char* name) {
    window.findChild<QAction*>(QString::fromLatin1(name))->trigger();
  }
  RecordingOpener opener;
  ui::MainWindow window;
  QPlainTextEdit* computer = window.findChild<QPlainTextEdit*>("Computer");
  QPlainTextEdit* human = window.findChild<QPlainTextEdit*>("Human");
  QPushButton* talk = window.findChild<QPushButton*>("Talk");
};

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void TalkIsEnabledByAnythingButSpaces();
  void TalkAddsBothLinesToTheTranscript();
  void PasteReplacesAndCopiesTakeWholeTexts();
  void WipeAsksTwiceAndShowsAFailure();
  void NoDisplayEndsWithStatusThree();
  void HelpCommandsAndTheAboutBox();
  void ScreenReaderNames();
};

void WindowTest::TalkIsEnabledByAnythingButSpaces() {
  FakeConversation conversation;
  Harness h(conversation);
  QVERIFY(!h.talk->isEnabled() && h.human->hasFocus());
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

void WindowTest::TalkAddsBothLinesToTheTranscript() {
  FakeConversation conversation;
  Harness h(conversation);
  QStringList heard;  // each line, and the transcript while it was answered
  conversation.respond = [&](std::string_view line) {
    heard << QString::fromUtf8(line) << PlainText(*h.computer);
    return line == "a" ? std::optional<std::string>("b") : std::nullopt;
  };
  // While Talk is disabled, Enter does nothing, not even a line break.
  QTest::keyClick(h.human, Qt::Key_Return);
  QTest::keyClicks(h.human, "a");
  QTest::keyClick(h.human, Qt::Key_Return);
  // Ctrl+Enter types a line break; the engine gets the input exactly as it
  // stood, and no reply shows as an empty one.
  h.human->setPlainText(QStringLiteral("  e\u00a0f"));
  h.human->moveCursor(QTextCursor::End);
  QTest::keyClick(h.human, Qt::Key_Return, Qt::ControlModifier);
  QTest::keyClicks(h.human, "g  ");
  QTest::keyClick(h.human, Qt::Key_Enter, Qt::KeypadModifier);
  const QString first = "You: a\nQuibbo: b\n\n";
  const QString second = "You:   e\u00a0f\ng  \n";
  QCOMPARE(heard,
           QStringList({"a", "You: a\n", "  e\u00a0f\ng  ", first + second}));
  QCOMPARE(PlainText(*h.computer), first + second + "Quibbo: \n\n");
  QVERIFY(h.human->toPlainText().isEmpty() && !h.talk->isEnabled());
  QVERIFY(h.human->hasFocus());
}

void WindowTest::PasteReplacesAndCopiesTakeWholeTexts() {
  const QString x250(250, u'x'), face = QStringLiteral("\U0001F600");
  const struct Case {
    QString before;
    int anchor, caret;
    enum { kPaste, kType, kInsert } how;
    QString text, after;
  } cases[] = {
      // Paste replaces everything, not just the selection.
      {"old words here", 4, 9, Case::kPaste, "first\r\nsecond",
       "first\nsecond"},
      {"old", 0, 0, Case::kPaste, "", ""},
      // Past 250 characters a paste loses its end, a key is refused where
      // it is typed, and an insertion loses its own end, not the input's.
      {"", 0, 0, Case::kPaste, QString(300, u'x'), x250},
      {"", 0, 0, Case::kPaste, face.repeated(260), face.repeated(250)},
      {x250, 10, 10, Case::kType, "y", x250},
      {QString(247, u'x') + u'!', 5, 5, Case::kInsert, "abcd",
       QString(5, u'x') + "ab" + QString(242, u'x') + u'!'},
  };
  FakeConversation conversation;
  Harness h(conversation);
  for (const auto& c : cases) {
    h.human->setPlainText(c.before);
    Select(h.human, c.anchor, c.caret);
    QGuiApplication::clipboard()->setText(c.text);
    if (c.how == c.kPaste) {
      QTest::keyClick(h.human, Qt::Key_V, Qt::ControlModifier);
    } else if (c.how == c.kType) {
      QTest::keyClicks(h.human, c.text);
    } else {
      h.human->insertPlainText(c.text);
    }
    QCOMPARE(PlainText(*h.human), c.after);
    QCOMPARE(h.talk->isEnabled(), !c.after.isEmpty());
    if (c.how != c.kPaste) {
      QCOMPARE(h.human->textCursor().position(),
               c.caret + c.after.size() - c.before.size());
    }
  }
  // Ctrl+C and Ctrl+H take whole texts, whatever is selected and focused.
  h.computer->setPlainText(QStringLiteral("You: x\nQuibbo: y\n\n"));
  for (QPlainTextEdit* edit : {h.computer, h.human}) {
    Select(edit, 1, 4);
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), "You: x\nQuibbo: y\n\n");
    QTest::keyClick(edit, Qt::Key_H, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), PlainText(*h.human));
  }
}

void WindowTest::WipeAsksTwiceAndShowsAFailure() {
  TempMemory memory;
  Engine engine(memory.path());
  ui::EngineConversation conversation(engine);
  Harness h(conversation);
  h.computer->setPlainText(QStringLiteral("You: x\n"));
  h.human->setPlainText(QStringLiteral("draft"));
  // Each way through the message boxes, whose safe answer is the default:
  // only Yes, then OK, wipes.
  using Box = QMessageBox;
  const std::vector<Box::StandardButton> cases[] = {
      {Box::No}, {Box::Yes, Box::Cancel}, {Box::Yes, Box::Ok}};
  for (const auto& answers : cases) {
    memory.Fill({"Keep these words."});
    QList<int> defaults;
    std::function<void(QWidget*)> answer = [&](QWidget* modal) {
      auto* box = qobject_cast<Box*>(modal);
      defaults << box->standardButton(box->defaultButton());
      if (size_t(defaults.size()) < answers.size()) WhenModal(answer);
      box->button(answers[defaults.size() - 1])->click();
    };
    WhenModal(answer);
    h.Trigger("mnuwipe");
    QCOMPARE(defaults,
             QList<int>({Box::No, Box::Cancel}).first(answers.size()));
    QCOMPARE(memory.Rows().empty(), answers.back() == Box::Ok);
  }
  // A failed wipe is shown with the engine's description, which names the
  // file; the transcript and the input stay.
  std::filesystem::remove(memory.path());
  h.window.SetAsker([](const WipeQuestion&) { return true; });
  QString error;
  WhenModal([&](QWidget* modal) {
    error = qobject_cast<Box*>(modal)->text();
    qobject_cast<Box*>(modal)->button(Box::Ok)->click();
  });
  h.Trigger("mnuwipe");
  QVERIFY2(error.contains(QString::fromStdString(memory.path())),
           qPrintable(error));
  QCOMPARE(PlainText(*h.computer), "You: x\n");
  QCOMPARE(PlainText(*h.human), "draft");
}

void WindowTest::NoDisplayEndsWithStatusThree() {
  // No display at all, then one that is set but not there.
  for (const char* display : {"--unset=DISPLAY", "DISPLAY=:9999"}) {
    const Outcome outcome = RunProgram(
        "/usr/bin/env", {"-u", "QT_QPA_PLATFORM", "-u", "WAYLAND_DISPLAY",
                         display, Program("quibbo")});
    QCOMPARE(outcome.status, 3);
    QCOMPARE(outcome.err.find('\n'), outcome.err.size() - 1);  // one line
  }
}

void WindowTest::HelpCommandsAndTheAboutBox() {
  FakeConversation conversation;
  Harness h(conversation);
  // The Help commands load the About box, hidden, and open their targets.
  h.Trigger("mnuQhelp");
  QPointer<ui::AboutBox> loaded = h.window.about_box();
  QVERIFY(loaded && !loaded->isVisible());
  QVERIFY(loaded->findChild<QLabel*>("version")->text().endsWith(kVersion));
  h.Trigger("mnuweb");
  h.Trigger("mnuemail");
  QCOMPARE(h.window.about_box(), loaded.data());
  // About shows the one loaded; its links and Readme open their targets, a
  // click that ends off a link opens nothing, and OK unloads it.
  WhenModal([&](QWidget* modal) {
    QVERIFY(modal == loaded.data());
    for (const char* name : {"Label5", "Label4", "cmdReadme"}) {
      QTest::mouseClick(modal->findChild<QWidget*>(name), Qt::LeftButton);
    }
    QWidget* link = modal->findChild<QWidget*>("Label5");
    QTest::mousePress(link, Qt::LeftButton);
    QTest::mouseRelease(link, Qt::LeftButton, {}, {-5, -5});
    QTest::keyClick(modal->findChild<QWidget*>("cmdOK"), Qt::Key_Return);
  });
  h.Trigger("mnuabout");
  QVERIFY(!loaded && h.window.about_box() == nullptr);
  const QString readme = QString::fromStdString(ProgramFolder()) +
                         "/readme.txt in /",
                web = QString(ui::kWebPage) + " in /",
                mail = QString("mailto:") + ui::kEmailAddress + " in /";
  QCOMPARE(h.opener.calls, QStringList({readme, web, mail, web, mail, readme}));
}

void WindowTest::ScreenReaderNames() {
  FakeConversation conversation;
  Harness h(conversation);
  RecordingOpener opener;
  ui::AboutBox box(opener);
  // What a screen reader announces, and that each also says what it does.
  const std::pair<QWidget*, QString> controls[] = {
      {h.computer, "Conversation"},
      {h.human, "Say something to Quibbo"},
      {h.talk, "Talk"},
      {box.findChild<QWidget*>("Label5"), "Quibbo Web Site"},
      {box.findChild<QWidget*>("Label4"), "Email Quibbo Creator"}};
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
