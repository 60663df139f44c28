#include "ui/about_box.h"

#include <QFile>
#include <QFont>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QScreen>

#include "quibbo/memory.h"
#include "quibbo/version.h"
#include "ui/links.h"
#include "ui/opener.h"
#include "ui/twips.h"

namespace quibbo::ui {
namespace {

constexpr char kCopyright[] = "\u00a9 2026 ";
// The MIT licence in brief; LICENSE holds its full text.
constexpr char kNotice[] =
    "Quibbo is free software under the MIT licence: anyone may use, copy, "
    "change and pass it on, even for money, provided its copyright and "
    "licence notice go with it. It comes with no warranty of any kind.";

// The nearest font the desktop has to `family`, at `points`.
QFont NearestFont(const char* family, double points) {
  QFont font(QString::fromLatin1(family));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(points);
  font.setWeight(QFont::Normal);
  return font;
}

QLabel* AddLabel(QWidget* parent, const char* name, const QRect& geometry,
                 const QString& text) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setGeometry(geometry);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

QLabel* AddLink(QWidget* parent, const char* name, const QRect& geometry,
                const QString& text) {
  QLabel* label = AddLabel(parent, name, geometry, text);
  QFont font = parent->font();
  font.setUnderline(true);
  label->setFont(font);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
  label->setPalette(palette);
  label->setCursor(Qt::PointingHandCursor);
  return label;
}

QWidget* AddLine(QWidget* parent, const char* name, const QRect& geometry,
                 const QColor& colour) {
  auto* line = new QWidget(parent);
  line->setObjectName(QString::fromLatin1(name));
  line->setGeometry(geometry);
  QPalette palette = line->palette();
  palette.setColor(QPalette::Window, colour);
  line->setPalette(palette);
  line->setAutoFillBackground(true);
  return line;
}

}  // namespace

QString VersionText(int major, int minor, int revision) {
  return QStringLiteral("Version %1.%2.%3").arg(major).arg(minor).arg(revision);
}

QString ReadmePath() {
  return QFile::decodeName(QByteArray::fromStdString(ProgramFolder())) +
         QStringLiteral("/readme.txt");
}

AboutBox::AboutBox(Opener& opener, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      opener_(opener) {
  setObjectName(QStringLiteral("frmAbout"));
  setWindowTitle(tr("About Quibbo"));
  setAttribute(Qt::WA_DeleteOnClose);
  setFixedSize(Twips(0, 0, 5400, 3060).size());
  // The layout was drawn for the classic 8-point dialog font; the desktop's
  // larger one would not fit the labels.
  setFont(NearestFont("MS Sans Serif", 8.25));

  auto* readme = new QPushButton(tr("Readme"), this);
  readme->setObjectName(QStringLiteral("cmdReadme"));
  readme->setGeometry(Twips(4200, 2640, 1095, 375));
  connect(readme, &QPushButton::clicked, this,
          [this] { CinWeb(ReadmePath()); });

  auto* ok = new QPushButton(tr("OK"), this);
  ok->setObjectName(QStringLiteral("cmdOK"));
  ok->setGeometry(Twips(4200, 2160, 1095, 375));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  web_page_ = AddLink(this, "Label5", Twips(720, 1320, 2895, 255),
                      QString::fromUtf8(kWebPage));
  email_ = AddLink(this, "Label4", Twips(720, 1680, 2895, 255),
                   QString::fromUtf8(kEmailAddress));
  web_page_->installEventFilter(this);
  email_->installEventFilter(this);
  // The links look like links but are labels to a screen reader, which
  // would read out the bare address.
  web_page_->setAccessibleName(tr("Quibbo Web Site"));
  web_page_->setAccessibleDescription(
      tr("Link: opens %1 in the web browser").arg(QString::fromUtf8(kWebPage)));
  email_->setAccessibleName(tr("Email Quibbo Creator"));
  email_->setAccessibleDescription(
      tr("Link: writes a mail to %1").arg(QString::fromUtf8(kEmailAddress)));

  AddLabel(this, "Label3", Twips(720, 840, 3015, 255),
           QString::fromUtf8(kCopyright) + QString::fromUtf8(kAuthor));
  // The version comes from the build, never from this file.
  AddLabel(this, "version", Twips(720, 480, 2775, 255),
           VersionText(kVersionMajor, kVersionMinor, kVersionRevision));
  AddLabel(this, "Label2", Twips(720, 120, 2655, 255),
           QStringLiteral("Quibbo - The Smart Chatterbot"));

  QLabel* image = AddLabel(this, "Image1", Twips(120, 120, 480, 480), {});
  image->setPixmap(QPixmap(QStringLiteral(":/quibbo/quibbo-32.png")));

  QLabel* notice = AddLabel(this, "Label1", Twips(120, 2160, 3975, 735),
                            QString::fromUtf8(kNotice));
  notice->setFont(NearestFont("Arial", 6.75));

  // An etched line: grey two pixels high with white over its lower half.
  AddLine(this, "Line1", QRect(8, 135, 345, 2), QColor(128, 128, 128));
  AddLine(this, "Line2", QRect(8, 136, 345, 1), QColor(255, 255, 255));

  setTabOrder(ok, readme);
  ok->setFocus();
}

void AboutBox::CinWeb(const QString& htmlfile, const QString& dr) {
  // The failure may come after this box has closed; the window that holds
  // it then carries the message.
  QPointer<QWidget> box(this), owner(parentWidget());
  opener_.Open(
      htmlfile, dr, [box, owner](const QString& target, const QString& why) {
        ShowOpenFailure(box && box->isVisible() ? box.data() : owner.data(),
                        target, why);
      });
}

bool AboutBox::eventFilter(QObject* watched, QEvent* event) {
  if ((watched == web_page_ || watched == email_) &&
      event->type() == QEvent::MouseButtonRelease) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    auto* label = static_cast<QLabel*>(watched);
    if (mouse->button() == Qt::LeftButton &&
        label->rect().contains(mouse->position().toPoint())) {
      CinWeb(watched == email_ ? QStringLiteral("mailto:") + label->text()
                               : label->text());
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void AboutBox::showEvent(QShowEvent* event) {
  if (QScreen* screen = this->screen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  QDialog::showEvent(event);
}

}  // namespace quibbo::ui
