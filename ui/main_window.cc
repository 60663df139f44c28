#include "ui/main_window.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QTextDocument>

#include "ui/about_box.h"
#include "ui/conversation.h"
#include "ui/links.h"
#include "ui/opener.h"
#include "ui/twips.h"

namespace quibbo::ui {
namespace {

constexpr int kClientWidth = 361;
constexpr int kClientHeight = 249;

// Whether `text` holds anything besides the space character; tabs and line
// breaks count as something.
bool HasNonSpace(const QString& text) {
  for (QChar c : text) {
    if (c != u' ') return true;
  }
  return false;
}

// Characters as people count them: a surrogate pair is one.
qsizetype CountCharacters(const QString& text) {
  qsizetype count = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (!(text[i].isLowSurrogate() && i > 0 && text[i - 1].isHighSurrogate())) {
      ++count;
    }
  }
  return count;
}

// Where the character that ends at `end` begins, a surrogate pair being one.
qsizetype CharacterBefore(const QString& text, qsizetype end) {
  if (end >= 2 && text[end - 1].isLowSurrogate() &&
      text[end - 2].isHighSurrogate()) {
    return end - 2;
  }
  return end - 1;
}

// How the window asks each of the wipe's questions, in their order.
struct WipeBox {
  const char* text;
  const char* title;
  QMessageBox::StandardButton yes, no;
  QMessageBox::Icon icon;
};
constexpr WipeBox kWipeBoxes[] = {
    {"Are you absolutely sure about this?", "Delete All Data!",
     QMessageBox::Yes, QMessageBox::No, QMessageBox::Critical},
    {"This data is irrecoverable!", "Proceed with delete?", QMessageBox::Ok,
     QMessageBox::Cancel, QMessageBox::NoIcon},
};

}  // namespace

bool AskInMessageBox(QWidget* parent, WipeQuestion question) {
  const WipeBox& asked = kWipeBoxes[static_cast<int>(question)];
  QMessageBox box(parent);
  box.setWindowTitle(QString::fromUtf8(asked.title));
  box.setText(QString::fromUtf8(asked.text));
  box.setIcon(asked.icon);
  box.setStandardButtons(asked.yes | asked.no);
  box.setDefaultButton(asked.no);
  box.setEscapeButton(asked.no);
  return box.exec() == asked.yes;
}

QString PlainText(const QPlainTextEdit& edit) {
  // toPlainText() would also turn non-breaking spaces into plain ones, and
  // the engine must see the text as typed.
  QString text = edit.document()->toRawText();
  for (QChar& c : text) {
    if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator) c = u'\n';
  }
  return text;
}

MainWindow::MainWindow(Conversation& conversation, Opener& opener,
                       QWidget* parent)
    : QMainWindow(parent),
      conversation_(conversation),
      opener_(opener),
      asker_([this](WipeQuestion question) {
        return AskInMessageBox(this, question);
      }) {
  setObjectName(QStringLiteral("quibbo"));
  idle_.setSingleShot(true);
  idle_.setInterval(50);
  connect(&idle_, &QTimer::timeout, this, [this] { conversation_.Idle(); });
  setWindowTitle(QStringLiteral("Quibbo by ") + QString::fromUtf8(kAuthor));
  QIcon icon;
  icon.addFile(QStringLiteral(":/quibbo/quibbo-16.png"), QSize(16, 16));
  icon.addFile(QStringLiteral(":/quibbo/quibbo-32.png"), QSize(32, 32));
  setWindowIcon(icon);

  // The controls keep their places when the window is resized, so they sit
  // on a plain widget without a layout.
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("client"));
  setCentralWidget(client);

  auto* frame1 = new QGroupBox(tr("Conversation"), client);
  frame1->setObjectName(QStringLiteral("Frame1"));
  frame1->setGeometry(Twips(120, 120, 4095, 2055));
  computer_ = new QPlainTextEdit(frame1);
  computer_->setObjectName(QStringLiteral("Computer"));
  computer_->setGeometry(Twips(120, 240, 3855, 1695));
  computer_->setReadOnly(true);
  computer_->setTextInteractionFlags(Qt::TextSelectableByMouse |
                                     Qt::TextSelectableByKeyboard);
  computer_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  computer_->setTabChangesFocus(true);
  // Nothing can be undone in a read-only box, and an undo history would keep
  // a copy of every exchange.
  computer_->setUndoRedoEnabled(false);

  auto* frame2 = new QGroupBox(tr("Say something to Quibbo"), client);
  frame2->setObjectName(QStringLiteral("Frame2"));
  frame2->setGeometry(Twips(120, 2280, 4095, 1335));
  human_ = new QPlainTextEdit(frame2);
  human_->setObjectName(QStringLiteral("Human"));
  human_->setGeometry(Twips(120, 240, 3855, 975));
  human_->setTabChangesFocus(true);
  human_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  human_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

  talk_ = new QPushButton(tr("Talk"), client);
  talk_->setObjectName(QStringLiteral("Talk"));
  talk_->setGeometry(Twips(4320, 120, 975, 3495));
  talk_->setDefault(true);
  talk_->setEnabled(false);
  connect(talk_, &QPushButton::clicked, this, &MainWindow::Talk);

  setTabOrder(talk_, computer_);
  setTabOrder(computer_, human_);

  // What a screen reader announces for each control. Qt would name the
  // boxes after their frames; naming them here keeps that when the frames
  // change.
  computer_->setAccessibleName(tr("Conversation"));
  computer_->setAccessibleDescription(
      tr("What you said and what Quibbo replied, the latest at the end"));
  human_->setAccessibleName(tr("Say something to Quibbo"));
  human_->setAccessibleDescription(
      tr("Enter says the line to Quibbo; Ctrl+Enter starts a new line"));
  talk_->setAccessibleName(tr("Talk"));
  talk_->setAccessibleDescription(
      tr("Says your line to Quibbo and shows the reply"));

  QMenu* file = menuBar()->addMenu(tr("&File"));
  file->setObjectName(QStringLiteral("mnufile"));
  AddCommand(file, "mnuwipe", tr("Wipe Quibbos Memory"), {}, &MainWindow::Wipe);
  file->addSeparator()->setObjectName(QStringLiteral("mnuFsp"));
  AddCommand(file, "mnuexit", tr("Exit Quibbo"), {}, &MainWindow::Exit);
  QMenu* edit = menuBar()->addMenu(tr("&Edit"));
  edit->setObjectName(QStringLiteral("mnuedit"));
  clipboard_commands_ = {
      AddCommand(edit, "mnuQcopy", tr("&Copy Quibbo"),
                 QKeySequence(Qt::CTRL | Qt::Key_C), &MainWindow::CopyQuibbo),
      AddCommand(edit, "mnuHcopy", tr("Copy &Human"),
                 QKeySequence(Qt::CTRL | Qt::Key_H), &MainWindow::CopyHuman),
      AddCommand(edit, "mnupaste", tr("&Paste"),
                 QKeySequence(Qt::CTRL | Qt::Key_V), &MainWindow::Paste),
  };
  QMenu* help = menuBar()->addMenu(tr("&Help"));
  help->setObjectName(QStringLiteral("mnuhelp"));
  AddCommand(help, "mnuQhelp", tr("Quibbo &Help"), {}, &MainWindow::Readme);
  help->addSeparator()->setObjectName(QStringLiteral("mnuhsep1"));
  AddCommand(help, "mnuweb", tr("Quibbo &Web Site"), {}, &MainWindow::WebSite);
  AddCommand(help, "mnuemail", tr("&Email Quibbo Creator"), {},
             &MainWindow::Email);
  help->addSeparator()->setObjectName(QStringLiteral("mnuhsep2"));
  AddCommand(help, "mnuabout", tr("&About Quibbo"), {}, &MainWindow::About);

  // The text boxes would take Ctrl+C and Ctrl+V for their selections and
  // Enter for a new line; the filter gives those keys to the window.
  computer_->installEventFilter(this);
  human_->installEventFilter(this);
  connect(human_->document(), &QTextDocument::contentsChange, this,
          [this](int position, int /*removed*/, int added) {
            change_end_ = position + added;
          });
  connect(human_, &QPlainTextEdit::textChanged, this,
          &MainWindow::HumanChanged);

  resize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
  human_->setFocus();

  // The window's load: from here on a failure in Respond comes back as the
  // trouble message, which the transcript shows.
  conversation_.SetReportErrors(true);
  conversation_.SetConfirm(
      [this](WipeQuestion question) { return asker_(question); });
}

MainWindow::~MainWindow() {
  // The conversation outlives the window; it must not call back into it.
  conversation_.SetConfirm(nullptr);
}

QAction* MainWindow::AddCommand(QMenu* menu, const char* name,
                                const QString& caption,
                                const QKeySequence& keys,
                                void (MainWindow::*command)()) {
  QAction* action = menu->addAction(caption);
  action->setObjectName(QString::fromLatin1(name));
  action->setShortcut(keys);
  action->setShortcutContext(Qt::WindowShortcut);
  connect(action, &QAction::triggered, this, command);
  return action;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == computer_ || watched == human_) {
    if (event->type() == QEvent::ShortcutOverride ||
        event->type() == QEvent::KeyPress) {
      return HandleKey(watched, static_cast<QKeyEvent*>(event),
                       event->type() == QEvent::ShortcutOverride);
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

bool MainWindow::HandleKey(QObject* watched, QKeyEvent* key, bool override) {
  if (override) {
    const QKeySequence pressed(key->keyCombination());
    for (const QAction* action : clipboard_commands_) {
      if (action->shortcut() == pressed) {
        // Declined here, the key goes to the window's shortcut instead.
        key->ignore();
        return true;
      }
    }
    return false;
  }
  if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) {
    return false;
  }
  // Talk is the window's default button: Enter presses it while it is
  // enabled; Ctrl+Enter is how a line break gets into the input.
  if (key->modifiers() & Qt::ControlModifier) {
    if (watched == human_) human_->insertPlainText(QStringLiteral("\n"));
  } else if (talk_->isEnabled()) {
    talk_->click();
  }
  return true;
}

void MainWindow::Talk() {
  const QString line = PlainText(*human_);
  AppendToTranscript(QStringLiteral("You: ") + line + u'\n');
  // The user's line shows while the engine works.
  repaint();
  const std::optional<std::string> reply =
      conversation_.Respond(line.toStdString());
  AppendToTranscript(QStringLiteral("Quibbo: ") +
                     (reply ? QString::fromStdString(*reply) : QString()) +
                     QStringLiteral("\n\n"));
  human_->setPlainText(QString());
  human_->setFocus();
  idle_.start();
}

void MainWindow::AppendToTranscript(const QString& text) {
  // Only the end of the transcript changes, so only the new text is laid
  // out; the old lines keep their layout however long the talk has been.
  // Inserted as one piece, the text breaks into lines exactly as the same
  // characters would after the whole transcript.
  QTextCursor end(computer_->document());
  end.movePosition(QTextCursor::End);
  end.insertText(text);
  computer_->moveCursor(QTextCursor::End);
}

void MainWindow::HumanChanged() {
  const QString text = PlainText(*human_);
  // A cut raises a change of its own, which sets Talk.
  if (CutToLimit(text)) return;
  talk_->setEnabled(HasNonSpace(text));
}

bool MainWindow::CutToLimit(const QString& text) {
  qsizetype excess = CountCharacters(text) - kMaxInput;
  if (excess <= 0) return false;
  // Cut the end of what was just typed or inserted, so the text around it
  // stays as it was; a whole text that was set loses its end.
  const qsizetype end = std::clamp<qsizetype>(change_end_, 0, text.size());
  qsizetype start = end;
  for (; excess > 0 && start > 0; --excess) {
    start = CharacterBefore(text, start);
  }
  QTextCursor cut(human_->document());
  cut.setPosition(static_cast<int>(start));
  cut.setPosition(static_cast<int>(end), QTextCursor::KeepAnchor);
  cut.removeSelectedText();
  return true;
}

void MainWindow::Wipe() {
  try {
    // Old copies left in the memory's log: the deletion itself stands.
    if (const std::optional<Error> held = conversation_.WipeMemory()) {
      ShowError(QString::fromUtf8(held->description()), QString());
    }
  } catch (const Error& error) {
    ShowError(QString::fromUtf8(error.description()),
              tr("Nothing was deleted."));
  }
}

void MainWindow::Exit() { close(); }

void MainWindow::closeEvent(QCloseEvent* event) {
  ReportUnstored(this, conversation_);
  QMainWindow::closeEvent(event);
}

void ReportUnstored(QWidget* parent, Conversation& conversation) {
  const std::optional<Error> unstored = conversation.Close();
  if (!unstored) return;
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Quibbo"),
                  QString::fromUtf8(unstored->description()), QMessageBox::Ok,
                  parent);
  box.setObjectName(QStringLiteral("unstored"));
  box.setInformativeText(
      QObject::tr("Quibbo answered them, but its memory could not take "
                  "them before it closed."));
  box.exec();
}

void MainWindow::CopyQuibbo() { CopyToClipboard(PlainText(*computer_)); }

void MainWindow::CopyHuman() { CopyToClipboard(PlainText(*human_)); }

void MainWindow::Paste() {
  QString text = QGuiApplication::clipboard()->text(QClipboard::Clipboard);
  // Text copied elsewhere may end its lines with "\r\n"; the input box would
  // make two line breaks of each.
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  human_->setPlainText(text);
}

void MainWindow::CopyToClipboard(const QString& text) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->setText(text, QClipboard::Clipboard);
  // The clipboard gives no other sign of a failure; a text that did not
  // arrive is one.
  if (clipboard->text(QClipboard::Clipboard) != text) {
    ShowError(tr("The text could not be put on the clipboard."),
              tr("The clipboard still holds what it held before."));
  }
}

void MainWindow::Readme() { AboutInstance().CinWeb(ReadmePath()); }

void MainWindow::WebSite() {
  AboutInstance().CinWeb(QString::fromUtf8(kWebPage));
}

void MainWindow::Email() {
  AboutInstance().CinWeb(QStringLiteral("mailto:") +
                         QString::fromUtf8(kEmailAddress));
}

void MainWindow::About() {
  // Closing the box, by OK or its close box, unloads it.
  AboutInstance().exec();
}

AboutBox* MainWindow::about_box() const { return about_; }

AboutBox& MainWindow::AboutInstance() {
  if (!about_) about_ = new AboutBox(opener_, this);
  return *about_;
}

void MainWindow::ShowError(const QString& text, const QString& detail) {
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Quibbo"), text,
                  QMessageBox::Ok, this);
  box.setObjectName(QStringLiteral("error"));
  box.setInformativeText(detail);
  box.exec();
}

}  // namespace quibbo::ui
