// The conversation window and the About box, driven through their keys,
// menus and message boxes on the offscreen platform, with an opener that
// only records.
#include <QtTest>
#include <QtWidgets>

#include "engine/file/wait_signal.h"
#include "quibbo/memory.h"
#include "tests/support/child.h"
#include "ui/about_box.h"
#include "ui/command_line.h"
#include "ui/conversation.h"
#include "ui/links.h"
#include "ui/main_window.h"
#include "ui/opener.h"

namespace quibbo::testing {
namespace {

using ui::PlainText;
using Reply = std::optional<std::string>;

// Hands the next modal dialog to appear to `action`, inside its own loop.
void WhenModal(std::function<void(QWidget*)> action) {
  QTimer::singleShot(5, [action] {
    QWidget* modal = QApplication::activeModalWidget();
    modal && modal->isVisible() ? action(modal) : WhenModal(action);
  });
}

void Select(QPlainTextEdit* edit, int from, int to) {
  QTextCursor cursor(edit->document());
  cursor.setPosition(from);
  cursor.setPosition(to, QTextCursor::KeepAnchor);
  edit->setTextCursor(cursor);
}

// The parent, text and detail of the next message box, which it closes.
void NoteNextBox(QStringList* seen) {
  WhenModal([seen](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (!box) return NoteNextBox(seen);
    *seen << box->parentWidget()->objectName() + ": " + box->text() + " " +
                 box->informativeText();
    box->accept();
  });
}

// A window, shown and active, on a memory of its own, or with `respond` set
// on replies the test chooses; what it would open is only recorded, and
// fails to open, a moment later, while `why` says why.
struct Harness : ui::EngineConversation, ui::Opener {
  Harness() : EngineConversation(engine) {
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
  }
  Reply Respond(std::string_view line) override {
    return respond ? respond(line) : EngineConversation::Respond(line);
  }
  void Open(const QString& target, const QString& folder,
            ui::OpenFailed failed) override {
    opened << target + " in " + folder;
    if (!why.isEmpty())
      QTimer::singleShot(0, [=, this] { failed(target, why); });
  }
  void Trigger(QString name) { window.findChild<QAction*>(name)->trigger(); }
  TempMemory memory;
  Engine engine{memory.path(), nullptr, nullptr,
                StoreOptions{.busy_timeout = std::chrono::milliseconds(300)}};
  std::function<Reply(std::string_view)> respond;
  QStringList opened;
  QString why;
  ui::MainWindow window{*this, *this};
  QPlainTextEdit* computer = window.findChild<QPlainTextEdit*>("Computer");
  QPlainTextEdit* human = window.findChild<QPlainTextEdit*>("Human");
  QPushButton* talk = window.findChild<QPushButton*>("Talk");
};

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void TalkPasteAndCopy() {
    Harness h;
    // Anything but spaces enables Talk.
    for (const QString input :
         {"", "    ", "  a  ", "\t", "  \n  ", "\u00a0"}) {
      h.human->setPlainText(input);
      QCOMPARE(h.talk->isEnabled(), input.count(' ') < input.size());
    }
    // Each exchange is answered with the user's line already shown; the
    // engine gets the line exactly as typed, and no reply shows as an empty
    // one.
    QStringList got;
    h.respond = [&](std::string_view line) {
      got << QString::fromUtf8(line) << PlainText(*h.computer);
      return line == "a" ? Reply("b") : std::nullopt;
    };
    for (const char* line : {"a", "  e\u00a0f\ng  "}) {
      h.human->setPlainText(QString::fromUtf8(line));
      QTest::keyClick(h.human, Qt::Key_Return);
    }
    const QString one = "You: a\nQuibbo: b\n\n", two = "You:   e\u00a0f\ng  \n";
    QCOMPARE(got, QStringList({"a", "You: a\n", "  e\u00a0f\ng  ", one + two}));
    QCOMPARE(PlainText(*h.computer), one + two + "Quibbo: \n\n");
    QVERIFY(PlainText(*h.human).isEmpty() && !h.talk->isEnabled() &&
            h.human->hasFocus());
    const QString x250(250, u'x'), face = QStringLiteral("\U0001F600");
    // Paste replaces everything, not just the selection. Past 250 characters
    // a paste loses its end, and an insertion its own end, not the input's.
    const std::tuple<QString, int, int, bool, QString, QString> cases[] = {
        {"old words", 4, 9, true, "first\r\nsecond", "first\nsecond"},
        {"old", 0, 0, true, "", ""},
        {"", 0, 0, true, QString(300, u'x'), x250},
        {"", 0, 0, true, face.repeated(260), face.repeated(250)},
        {QString(247, u'x') + u'!', 5, 5, false, "abcd",
         QString(5, u'x') + "ab" + QString(242, u'x') + u'!'},
    };
    for (const auto& [before, anchor, caret, paste, text, after] : cases) {
      h.human->setPlainText(before);
      Select(h.human, anchor, caret);
      QGuiApplication::clipboard()->setText(text);
      paste ? QTest::keyClick(h.human, Qt::Key_V, Qt::ControlModifier)
            : h.human->insertPlainText(text);
      QCOMPARE(PlainText(*h.human), after);
      QCOMPARE(h.talk->isEnabled(), !after.isEmpty());
      // An insertion leaves the caret after what it kept of itself.
      QVERIFY(paste || h.human->textCursor().position() == caret + 2);
    }
    // Ctrl+C and Ctrl+H take whole texts, whatever is selected.
    h.computer->setPlainText("You: x\nQuibbo: y\n\n");
    Select(h.human, 1, 4);
    QTest::keyClick(h.human, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), PlainText(*h.computer));
    QTest::keyClick(h.human, Qt::Key_H, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), PlainText(*h.human));
  }

  void WipeAsksTwiceAndShowsAFailure() {
    Harness h;
    const TempMemory& memory = h.memory;
    h.computer->setPlainText("You: x\n");
    // Each way through the message boxes, whose safe answer is the default:
    // only Yes, then OK, wipes. A wipe whose log a reader holds on to stands,
    // and says so; wiping a memory that is gone fails. The error box names
    // the file.
    using enum QMessageBox::StandardButton;
    const std::vector<QMessageBox::StandardButton> cases[] = {
        {No}, {Yes, Cancel}, {Yes, Ok}, {Yes, Ok, Ok}, {Yes, Ok, Ok}};
    QString text;
    for (const auto& answers : cases) {
      const bool held = &answers == &cases[3], gone = &answers == &cases[4];
      memory.Fill({"Keep these words."});
      if (gone) std::filesystem::remove(memory.path());
      auto reader =
          held ? memory.Connect("BEGIN; SELECT count(*) FROM word;") : nullptr;
      QList<int> defaults;
      std::function<void(QWidget*)> answer = [&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        defaults << box->standardButton(box->defaultButton());
        text = box->text() + " " + box->informativeText();
        if (size_t(defaults.size()) < answers.size()) WhenModal(answer);
        box->button(answers[defaults.size() - 1])->click();
      };
      WhenModal(answer);
      h.Trigger("mnuwipe");
      QCOMPARE(defaults, QList<int>({No, Cancel, 0}).first(answers.size()));
      QVERIFY(gone || memory.Rows().empty() == (answers.back() == Ok));
      QVERIFY2(!held || !text.contains("Nothing was deleted"),
               qPrintable(text));
    }
    QVERIFY2(text.contains(memory.path().c_str()), qPrintable(text));
    QCOMPARE(PlainText(*h.computer), "You: x\n");
    // A line the memory cannot take is answered with the trouble message.
    h.human->setPlainText("hello");
    QTest::keyClick(h.human, Qt::Key_Return);
    QVERIFY(PlainText(*h.computer).contains(memory.path().c_str()));
  }

  // A line answered beside a learner that cannot be stored by the end, the
  // memory held by another program, is told of before the window closes.
  void ClosingTellsOfAnsweredLinesNotStored() {
    Harness h;
    auto learner = WaitSignal::Create(h.memory.path());
    auto other = h.memory.Connect("BEGIN IMMEDIATE;");
    h.human->setPlainText("said beside a learner");
    QTest::mouseClick(h.talk, Qt::LeftButton);
    QVERIFY(PlainText(*h.computer).contains("Quibbo: Said beside a learner."));
    QString told;
    WhenModal([&](QWidget* modal) {
      told = qobject_cast<QMessageBox*>(modal)->text();
      QTest::keyClick(modal, Qt::Key_Return);
    });
    h.window.close();
    QVERIFY2(told.startsWith("1 answered line was not stored"),
             qPrintable(told));
    other->Execute("COMMIT;");
  }

  // The memory named on the command line is the one used; Qt's own options
  // are left for Qt.
  void TheCommandLineNamesTheMemory() {
    for (Strings words :
         {Strings{"quibbo", "--memory", "m.mdb", "-platform", "offscreen"},
          Strings{"quibbo", "-platform", "offscreen", "--memory=m.mdb"}}) {
      std::vector<char*> argv;
      for (std::string& word : words) argv.push_back(word.data());
      argv.push_back(nullptr);
      int argc = static_cast<int>(words.size());
      QCOMPARE(ui::ChooseMemory(ui::TakeOptions(&argc, argv.data())),
               std::string("m.mdb"));
      QCOMPARE(argc, 3);
      QCOMPARE(std::string(argv[1]), std::string("-platform"));
    }
  }

  void HelpCommandsTheAboutBoxAndScreenReaderNames() {
    Harness h;
    // The Help commands load the About box, hidden, and open their targets.
    h.Trigger("mnuQhelp");
    QPointer<ui::AboutBox> loaded = h.window.about_box();
    QVERIFY(loaded && !loaded->isVisible());
    h.Trigger("mnuweb");
    h.Trigger("mnuemail");
    QCOMPARE(h.window.about_box(), loaded.data());
    // Each control tells a screen reader what it is and what it does.
    for (QWidget* widget : QWidgetList{h.computer, h.human, h.talk,
                                       loaded->findChild<QWidget*>("Label5"),
                                       loaded->findChild<QWidget*>("Label4")}) {
      auto* control = QAccessible::queryAccessibleInterface(widget);
      QVERIFY(!control->text(QAccessible::Name).isEmpty() &&
              !control->text(QAccessible::Description).isEmpty());
    }
    h.window.grab().save("quibbo.png");
    // About shows the one loaded; its links and Readme open their targets.
    WhenModal([&](QWidget* modal) {
      QVERIFY(modal == loaded.data());
      modal->grab().save("about.png");
      for (const char* name : {"Label5", "Label4", "cmdReadme"})
        QTest::mouseClick(modal->findChild<QWidget*>(name), Qt::LeftButton);
      QTest::keyClick(modal->findChild<QWidget*>("cmdOK"), Qt::Key_Return);
    });
    h.Trigger("mnuabout");
    QVERIFY(!loaded && h.window.about_box() == nullptr);
    const QString at = " in /", web = ui::kWebPage + at,
                  mail = "mailto:" + QString(ui::kEmailAddress) + at,
                  readme = ProgramFolder().c_str() + ("/readme.txt" + at);
    QCOMPARE(h.opened, QStringList({readme, web, mail, web, mail, readme}));
  }

  // A target that cannot be opened is named in a message, with why.
  void AFailedOpenIsTold() {
    Harness h;
    h.why = "Why.";
    QStringList seen;
    NoteNextBox(&seen);
    h.Trigger("mnuweb");
    QTRY_COMPARE(seen, QStringList("quibbo: Quibbo could not open " +
                                   QString(ui::kWebPage) + ". Why."));
  }

  // What xdg-open, a stand-in on the PATH, is given, and which of its
  // outcomes are told as failures, and how.
  void TheDesktopOpenerTellsWhatXdgOpenReports() {
    QTemporaryDir bin;
    const QByteArray path = qgetenv("PATH");
    auto restore = qScopeGuard([&] { qputenv("PATH", path); });
    qputenv("PATH", bin.path().toLocal8Bit());
    QFile got(bin.filePath("got")), script(bin.filePath("xdg-open"));
    // The stand-in's last step (none: no xdg-open), and what is told.
    const std::pair<QString, QString> cases[] = {{"exit 0", ""},
                                                 {"exit 3", "no program"},
                                                 {"exit 4", "status 4"},
                                                 {"kill -9 $$", "stopped"},
                                                 {"", "xdg-utils"}};
    for (const auto& [last, why] : cases) {
      got.remove();
      script.remove();
      if (!last.isEmpty() && script.open(QIODevice::WriteOnly)) {
        script.write("#!/bin/sh\necho $$ $PWD $1 >got\n" + last.toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
      }
      QStringList told;
      ui::DesktopOpener().Open("a", bin.path(), [&](auto target, auto reason) {
        told << target + ": " + reason;
      });
      // The stand-in writes its pid, folder and argument; once it is gone,
      // its ending has been seen.
      QByteArray line;
      QTRY_VERIFY(last.isEmpty() ? !told.isEmpty() : [&] {
        got.open(QIODevice::ReadOnly);
        line = got.readAll();
        got.close();
        return line.endsWith('\n') &&
               !QFile::exists("/proc/" + line.split(' ')[0]);
      }());
      QVERIFY(last.isEmpty() ||
              line.endsWith(" " + bin.path().toUtf8() + " a\n"));
      QCOMPARE(told.size(), why.isEmpty() ? 0 : 1);
      QVERIFY(told.isEmpty() ||
              (told[0].startsWith("a: ") && told[0].contains(why)));
    }
  }
};

}  // namespace quibbo::testing

QTEST_MAIN(quibbo::testing::WindowTest)
#include "window_test.moc"
