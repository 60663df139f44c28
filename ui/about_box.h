// The About box, and the program's one way of opening documents and links.
#ifndef QUIBBO_UI_ABOUT_BOX_H_
#define QUIBBO_UI_ABOUT_BOX_H_

#include <QDialog>
#include <QString>

namespace quibbo::ui {

class Opener;

// "Version " and the version numbers, as the About box shows them.
QString VersionText(int major, int minor, int revision);

// readme.txt in the program's folder.
QString ReadmePath();

// The working folder for opened documents when the caller names none.
inline constexpr char kDefaultWorkingDir[] = "/";

// A fixed dialog with the title, the version, the links and the notice. It
// deletes itself when closed, by OK or by its close box, so whoever holds it
// should hold it through a QPointer.
class AboutBox : public QDialog {
  Q_OBJECT

 public:
  // `opener` is not owned and outlives the box.
  explicit AboutBox(Opener& opener, QWidget* parent = nullptr);

  // Opens `htmlfile`, a path or a URL, with the desktop's program for it,
  // started in `dr`, without waiting for it. When it cannot be opened, a
  // message box says so, over this box while it shows, else over its owner.
  void CinWeb(const QString& htmlfile,
              const QString& dr = QString::fromLatin1(kDefaultWorkingDir));

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  Opener& opener_;
  QWidget* email_;
  QWidget* web_page_;
};

}  // namespace quibbo::ui

#endif  // QUIBBO_UI_ABOUT_BOX_H_
