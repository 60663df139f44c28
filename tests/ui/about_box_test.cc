// The About box and the Help commands, with an opener that only records.
#include "ui/about_box.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "engine/program_folder.h"
#include "engine/version.h"
#include "tests/ui/ui_test_support.h"
#include "ui/links.h"
#include "ui/main_window.h"

namespace quibbo::testing {
namespace {

using ui::AboutBox;

template <typename T = QWidget>
T* Child(QObject* parent, const char* name) {
  return parent->findChild<T*>(QString::fromLatin1(name));
}

// A shown main window over a conversation that is never used.
struct Window {
  Window() {
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
  }
  void Trigger(const char* name) { Child<QAction>(&window, name)->trigger(); }

  FakeConversation conversation;
  RecordingOpener opener;
  ui::MainWindow window{conversation, opener};
};

// What was opened; checks that each was started in "/".
QStringList Targets(const RecordingOpener& opener) {
  QStringList targets;
  for (const RecordingOpener::Call& call : opener.calls) {
    targets << call.target +
                   (call.working_dir == "/" ? "" : " in " + call.working_dir);
  }
  return targets;
}

void ClickOk(QWidget* box) {
  QTest::mouseClick(Child(box, "cmdOK"), Qt::LeftButton);
}

}  // namespace

class AboutBoxTest : public QObject {
  Q_OBJECT

 private slots:
  void VersionReadsMajorMinorRevision();
  void LinksReadmeAndHelpOpenExactlyTheirTargets();
  void HelpCommandsLoadTheBoxHidden();
  void OkAndTheCloseBoxUnloadIt();
  void OkHasTheFocusAndEnterPressesIt();
  void LooksAndScreenshot();
};

void AboutBoxTest::VersionReadsMajorMinorRevision() {
  QCOMPARE(ui::VersionText(1, 0, 4), "Version 1.0.4");
  QCOMPARE(ui::VersionText(1, 0, 12), "Version 1.0.12");
  RecordingOpener opener;
  AboutBox box(opener);
  QCOMPARE(Child<QLabel>(&box, "version")->text(),
           ui::VersionText(kVersionMajor, kVersionMinor, kVersionRevision));
}

void AboutBoxTest::LinksReadmeAndHelpOpenExactlyTheirTargets() {
  const QString readme =
      QString::fromStdString(ProgramFolder()) + QStringLiteral("/readme.txt");
  const QString web = QString::fromLatin1(ui::kWebPage);
  const QString mail =
      QStringLiteral("mailto:") + QString::fromLatin1(ui::kEmailAddress);

  RecordingOpener opener;
  AboutBox box(opener);
  box.show();
  QVERIFY(QTest::qWaitForWindowExposed(&box));
  QTest::mouseClick(Child(&box, "Label5"), Qt::LeftButton);
  QTest::mouseClick(Child(&box, "Label4"), Qt::LeftButton);
  QTest::mouseClick(Child(&box, "cmdReadme"), Qt::LeftButton);
  // A click that ends off the label opens nothing.
  QTest::mousePress(Child(&box, "Label5"), Qt::LeftButton);
  QTest::mouseRelease(Child(&box, "Label5"), Qt::LeftButton, {}, {-5, -5});
  QVERIFY(box.isVisible());

  Window w;
  w.Trigger("mnuQhelp");
  w.Trigger("mnuweb");
  w.Trigger("mnuemail");
  QCOMPARE(Targets(opener), QStringList({web, mail, readme}));
  QCOMPARE(Targets(w.opener), QStringList({readme, web, mail}));
  // The links show exactly what they open.
  QCOMPARE("mailto:" + Child<QLabel>(&box, "Label4")->text(), mail);
  QCOMPARE(Child<QLabel>(&box, "Label5")->text(), web);
}

void AboutBoxTest::HelpCommandsLoadTheBoxHidden() {
  Window w;
  QVERIFY(w.window.about_box() == nullptr);
  w.Trigger("mnuweb");
  QPointer<AboutBox> loaded = w.window.about_box();
  QVERIFY(loaded && !loaded->isVisible());
  QCOMPARE(Child<QLabel>(loaded, "version")->text(),
           ui::VersionText(kVersionMajor, kVersionMinor, kVersionRevision));
  w.Trigger("mnuemail");
  QCOMPARE(w.window.about_box(), loaded.data());
  const QWidget* first_loaded = loaded;

  // About shows the one already loaded; OK unloads it.
  QWidget* shown = nullptr;
  ModalAnswerer answerer({[&](QWidget* modal) {
    shown = modal;
    ClickOk(modal);
  }});
  w.Trigger("mnuabout");
  QVERIFY(shown != nullptr && shown == first_loaded);
  QVERIFY(!loaded);
  QVERIFY(w.window.about_box() == nullptr);
}

void AboutBoxTest::OkAndTheCloseBoxUnloadIt() {
  Window w;
  std::vector<QPointer<QWidget>> boxes;
  ModalAnswerer answerer({[&](QWidget* modal) {
                            boxes.emplace_back(modal);
                            ClickOk(modal);
                          },
                          [&](QWidget* modal) {
                            boxes.emplace_back(modal);
                            modal->close();
                          }});
  w.Trigger("mnuabout");
  QVERIFY(w.window.about_box() == nullptr);
  w.Trigger("mnuabout");
  QVERIFY(w.window.about_box() == nullptr);
  QCOMPARE(boxes.size(), size_t{2});
  QVERIFY(!boxes[0] && !boxes[1]);
  QVERIFY(w.window.isVisible());
}

void AboutBoxTest::OkHasTheFocusAndEnterPressesIt() {
  Window w;
  // Names, as the box and its buttons are gone by the time they are read.
  QStringList focus_chain;
  bool ok_is_default = false;
  ModalAnswerer answerer({[&](QWidget* modal) {
    QVERIFY(QTest::qWaitForWindowActive(modal));
    ok_is_default = Child<QPushButton>(modal, "cmdOK")->isDefault();
    for (int i = 0; i < 3; ++i) {
      QWidget* focus = QApplication::focusWidget();
      QVERIFY(focus);
      focus_chain << focus->objectName();
      QTest::keyClick(focus, i < 2 ? Qt::Key_Tab : Qt::Key_Return);
    }
  }});
  w.Trigger("mnuabout");
  QVERIFY(ok_is_default);
  QCOMPARE(focus_chain, QStringList({"cmdOK", "cmdReadme", "cmdOK"}));
  // Enter pressed OK: the box is unloaded and nothing was opened.
  QVERIFY(w.window.about_box() == nullptr);
  QVERIFY(w.opener.calls.empty());
}

void AboutBoxTest::LooksAndScreenshot() {
  RecordingOpener opener;
  AboutBox box(opener);
  box.show();
  QVERIFY(QTest::qWaitForWindowExposed(&box));
  QCOMPARE(box.minimumSize(), QSize(360, 204));
  QCOMPARE(box.maximumSize(), QSize(360, 204));
  for (const char* name : {"Label4", "Label5"}) {
    const QLabel* link = Child<QLabel>(&box, name);
    QVERIFY(link->font().underline());
    QCOMPARE(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));
  }
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

}  // namespace quibbo::testing

QTEST_MAIN(quibbo::testing::AboutBoxTest)
#include "about_box_test.moc"
