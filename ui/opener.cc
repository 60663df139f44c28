#include "ui/opener.h"

#include <QProcess>

namespace quibbo::ui {

void DesktopOpener::Open(const QString& target, const QString& working_dir) {
  QProcess process;
  process.setProgram(QStringLiteral("xdg-open"));
  process.setArguments({target});
  process.setWorkingDirectory(working_dir);
  process.setStandardInputFile(QProcess::nullDevice());
  process.setStandardOutputFile(QProcess::nullDevice());
  process.setStandardErrorFile(QProcess::nullDevice());
  // A missing xdg-open or working folder makes this fail; that is ignored
  // on purpose, as the user sees the outcome (or its absence) directly.
  process.startDetached();
}

}  // namespace quibbo::ui
