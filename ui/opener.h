// Opens documents, web pages and mail links with the desktop's own programs,
// and says so when that cannot be done.
#ifndef QUIBBO_UI_OPENER_H_
#define QUIBBO_UI_OPENER_H_

#include <QString>
#include <functional>

class QWidget;

namespace quibbo::ui {

// Told that `target` could not be opened, and `why`, in a sentence or two.
using OpenFailed =
    std::function<void(const QString& target, const QString& why)>;

// Hands a target (a file path or a URL) to whatever opens it.
class Opener {
 public:
  virtual ~Opener() = default;
  // Starts opening `target` in `working_dir` and returns at once, never
  // waiting for the program that shows it. `failed` is called later, on
  // this thread, at most once, and only when the target could not be opened.
  virtual void Open(const QString& target, const QString& working_dir,
                    OpenFailed failed) = 0;
};

// Opens through xdg-open (package xdg-utils). A failure is xdg-open missing
// or not starting, or its exit status reporting one, whenever it comes: in
// desktops without a helper of their own, xdg-open runs the browser and
// reports when the browser ends. xdg-open outlives the program if need be.
class DesktopOpener : public Opener {
 public:
  void Open(const QString& target, const QString& working_dir,
            OpenFailed failed) override;
};

// Tells the person, in a modal message box over `parent`, that `target`
// could not be opened, and `why`.
void ShowOpenFailure(QWidget* parent, const QString& target,
                     const QString& why);

}  // namespace quibbo::ui

#endif  // QUIBBO_UI_OPENER_H_
