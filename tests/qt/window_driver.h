// Helpers that act on the window the way a user's drag and drop does, and
// that read the message boxes it shows.
#pragma once

#include <QMessageBox>
#include <QPoint>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

class QMimeData;

namespace slicery::testing {

// The drag data a file manager sends for these paths.
QMimeData* uriList(const std::vector<std::string>& paths);

struct DropOutcome {
  bool accepted = false;  // the window took the drag where it was dropped
  Qt::DropAction action = Qt::IgnoreAction;
};

// A point of `target`, in its window's coordinates, where no other widget
// covers it (for the window itself, a point of its margin).
QPoint pointOn(QWidget* target);

// Drags `data` over `window` at `at` (window coordinates) through the
// window's own routing of drag events, drops it there if the window takes
// it, then lets the window handle what the drop queued. Takes `data`.
DropOutcome dropAt(QWidget* window, QPoint at, QMimeData* data);
inline DropOutcome dropOn(QWidget* target, const std::vector<std::string>& paths) {
  return dropAt(target->window(), pointOn(target), uriList(paths));
}

// Answers every message box the application shows while it lives: records
// it and closes it with the button `answer` names, or the Return key.
class MessageCatcher {
 public:
  struct Seen {
    QString title;
    QString text;
    QString informative;
    QString details;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
  };

  MessageCatcher();
  std::vector<Seen> seen;
  // The button to click, by its text without '&'; Return when none has it.
  QString answer;
  // Run when a box is found, before it is closed.
  std::function<void()> onShown;

 private:
  QTimer timer_;
};

// Calls `painted` each time `widget` is painted, while it lives.
class PaintWatcher : public QObject {
 public:
  PaintWatcher(QWidget* widget, std::function<void()> painted);
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::function<void()> painted_;
};

}  // namespace slicery::testing
