// Opens documents, web pages and mail links with the desktop's own programs.
#ifndef QUIBBO_UI_OPENER_H_
#define QUIBBO_UI_OPENER_H_

#include <QString>

namespace quibbo::ui {

// Hands a target (a file path or a URL) to whatever opens it. Reports
// nothing: whether the target could be opened is the opener's business.
class Opener {
 public:
  virtual ~Opener() = default;
  virtual void Open(const QString& target, const QString& working_dir) = 0;
};

// Starts xdg-open on the target, detached, and does not wait for it. Its
// output is discarded, so a missing handler leaves no trace here.
class DesktopOpener : public Opener {
 public:
  void Open(const QString& target, const QString& working_dir) override;
};

}  // namespace quibbo::ui

#endif  // QUIBBO_UI_OPENER_H_
