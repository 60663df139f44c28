// The conversation window: the transcript, the input box, Talk, and the
// menus for the wipe, the clipboard and Help.
#ifndef QUIBBO_UI_MAIN_WINDOW_H_
#define QUIBBO_UI_MAIN_WINDOW_H_

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>

#include "quibbo/engine.h"

class QAction;
class QKeyEvent;
class QKeySequence;
class QMenu;
class QPlainTextEdit;
class QPushButton;

namespace quibbo::ui {

class AboutBox;
class Conversation;
class Opener;

// Answers one of the wipe's questions: true for Yes or OK.
using Asker = std::function<bool(WipeQuestion)>;

// Asks `question` in a modal message box: the first, "Are you absolutely
// sure about this?", with Yes and No and the stop icon; the second, "This
// data is irrecoverable!", with OK and Cancel. The safe answer is the
// default and also what Escape and the close box give.
bool AskInMessageBox(QWidget* parent, WipeQuestion question);

// Closes `conversation` (Conversation::Close) and tells the user, in a
// message box, of any answered lines its memory could not take.
void ReportUnstored(QWidget* parent, Conversation& conversation);

// The text of a text box exactly as it stands, line breaks as "\n".
QString PlainText(const QPlainTextEdit& edit);

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // The most characters (code points) the input box holds.
  static constexpr int kMaxInput = 250;

  // Neither `conversation` nor `opener` is owned; both outlive the window.
  MainWindow(Conversation& conversation, Opener& opener,
             QWidget* parent = nullptr);
  ~MainWindow() override;

  // Replaces the message boxes that ask before a wipe.
  void SetAsker(Asker asker) { asker_ = std::move(asker); }

  // The About box while it is loaded (shown or hidden), else null.
  AboutBox* about_box() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Lets go of the memory first, and says so if a line it answered could
  // not be stored.
  void closeEvent(QCloseEvent* event) override;

 private:
  void Talk();
  // Adds `text` at the end of the transcript and brings the end into view.
  void AppendToTranscript(const QString& text);
  void HumanChanged();
  void Wipe();
  void Exit();
  void CopyQuibbo();
  void CopyHuman();
  void Paste();
  void Readme();
  void WebSite();
  void Email();
  void About();

  QAction* AddCommand(QMenu* menu, const char* name, const QString& caption,
                      const QKeySequence& keys, void (MainWindow::*command)());
  bool CutToLimit(const QString& text);
  bool HandleKey(QObject* watched, QKeyEvent* key, bool override);
  void CopyToClipboard(const QString& text);
  void ShowError(const QString& text, const QString& detail);
  // The About box, loaded (hidden) first if need be.
  AboutBox& AboutInstance();

  Conversation& conversation_;
  Opener& opener_;
  Asker asker_;
  QPlainTextEdit* computer_;
  QPlainTextEdit* human_;
  QPushButton* talk_;
  QList<QAction*> clipboard_commands_;
  QPointer<AboutBox> about_;
  // Fires once the user has had a moment with a reply; the engine tidies up
  // then rather than inside the next reply.
  QTimer idle_;
  // Where the last change of Human ended, which is where an over-long
  // insertion gets cut.
  int change_end_ = 0;
};

}  // namespace quibbo::ui

#endif  // QUIBBO_UI_MAIN_WINDOW_H_
