#include "window_driver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <QWindow>
#include <memory>

namespace slicery::testing {

QMimeData* uriList(const std::vector<std::string>& paths) {
  QList<QUrl> urls;
  for (const std::string& path : paths) {
    urls.push_back(QUrl::fromLocalFile(QString::fromStdString(path)));
  }
  auto* data = new QMimeData;
  data->setUrls(urls);
  return data;
}

QPoint pointOn(QWidget* target) {
  QWidget* window = target->window();
  QWidget* wanted = target == window ? nullptr : target;
  for (int y = 1; y < target->height() - 1; y += 2) {
    for (int x = 1; x < target->width() - 1; x += 2) {
      const QPoint at = target->mapTo(window, QPoint(x, y));
      if (window->childAt(at) == wanted) return at;
    }
  }
  return {-1, -1};
}

DropOutcome dropAt(QWidget* window, QPoint at, QMimeData* data) {
  std::unique_ptr<QMimeData> owned(data);
  QObject* receiver = window->windowHandle();
  const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
  DropOutcome outcome;
  // A platform opens a drag with an enter, follows it with moves, and drops
  // only where the last move was taken.
  QDragEnterEvent enter(at, offered, data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(receiver, &enter);
  QDragMoveEvent move(at, offered, data, Qt::LeftButton, Qt::NoModifier);
  move.setDropAction(Qt::MoveAction);
  QCoreApplication::sendEvent(receiver, &move);
  if (!move.isAccepted()) {
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(receiver, &leave);
    QCoreApplication::processEvents();
    return outcome;
  }
  QDropEvent drop(QPointF(at), offered, data, Qt::LeftButton, Qt::NoModifier);
  drop.setDropAction(move.dropAction());
  QCoreApplication::sendEvent(receiver, &drop);
  outcome.accepted = drop.isAccepted();
  outcome.action = drop.dropAction();
  QCoreApplication::processEvents();
  return outcome;
}

MessageCatcher::MessageCatcher() {
  timer_.setInterval(5);
  QObject::connect(&timer_, &QTimer::timeout, [this] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) return;
    seen.push_back({box->windowTitle(), box->text(), box->informativeText(), box->detailedText(),
                    box->icon(), box->standardButtons()});
    if (onShown) onShown();
    if (!box->isVisible()) return;
    for (QAbstractButton* button : box->buttons()) {
      if (button->text().remove(QLatin1Char('&')) == answer) {
        button->click();
        return;
      }
    }
    QTest::keyClick(box, Qt::Key_Return);
  });
  timer_.start();
}

PaintWatcher::PaintWatcher(QWidget* widget, std::function<void()> painted)
    : QObject(widget), painted_(std::move(painted)) {
  widget->installEventFilter(this);
}

bool PaintWatcher::eventFilter(QObject*, QEvent* event) {
  if (event->type() == QEvent::Paint) painted_();
  return false;
}

}  // namespace slicery::testing
