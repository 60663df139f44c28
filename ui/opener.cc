#include "ui/opener.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>

namespace quibbo::ui {
namespace {

constexpr char kXdgOpen[] = "xdg-open";

QString Tr(const char* text) {
  return QCoreApplication::translate("quibbo::ui::Opener", text);
}

// What xdg-open's exit `status` says went wrong.
QString WhyStatus(int status) {
  switch (status) {
    case 2:
      return Tr("xdg-open found no such file.");
    case 3:
      return Tr("xdg-open found no program on this computer to open it.");
    default:
      return Tr("xdg-open reported a failure (exit status %1).").arg(status);
  }
}

// Why `process`, xdg-open, did not start.
QString WhyNotStarted(const QProcess& process) {
  if (QStandardPaths::findExecutable(process.program()).isEmpty()) {
    return Tr(
        "xdg-open, which opens it, is not installed; it comes with the "
        "package xdg-utils.");
  }
  return Tr("xdg-open could not be started: %1.").arg(process.errorString());
}

}  // namespace

void DesktopOpener::Open(const QString& target, const QString& working_dir,
                         OpenFailed failed) {
  // No parent: the process deletes itself once xdg-open has ended, and one
  // still running when the program ends is neither waited for nor killed.
  auto* process = new QProcess;
  process->setProgram(QString::fromLatin1(kXdgOpen));
  process->setArguments({target});
  process->setWorkingDirectory(working_dir);
  // The program xdg-open starts inherits these, and may outlive this one.
  process->setStandardInputFile(QProcess::nullDevice());
  process->setStandardOutputFile(QProcess::nullDevice());
  process->setStandardErrorFile(QProcess::nullDevice());
  QObject::connect(
      process, &QProcess::finished, process,
      [process, target, failed](int status, QProcess::ExitStatus how) {
        process->deleteLater();
        if (how == QProcess::CrashExit) {
          failed(target, Tr("xdg-open stopped before it could open it."));
        } else if (status != 0) {
          failed(target, WhyStatus(status));
        }
      });
  QObject::connect(process, &QProcess::errorOccurred, process,
                   [process, target, failed](QProcess::ProcessError error) {
                     if (error != QProcess::FailedToStart) return;
                     process->deleteLater();
                     failed(target, WhyNotStarted(*process));
                   });
  process->start();
}

void ShowOpenFailure(QWidget* parent, const QString& target,
                     const QString& why) {
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Quibbo"),
                  Tr("Quibbo could not open %1.").arg(target), QMessageBox::Ok,
                  parent);
  box.setObjectName(QStringLiteral("openFailure"));
  box.setInformativeText(why);
  box.exec();
}

}  // namespace quibbo::ui
