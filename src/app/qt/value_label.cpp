#include "value_label.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

namespace slicery::qt {

void ValueLabel::setValue(const QString& value) {
  if (value != text()) setText(value);
}

void ValueLabel::setHint(const QString& hint) {
  hint_ = hint;
  update();
}

QString ValueLabel::shownText() const {
  if (text().isEmpty()) return hint_;
  return fontMetrics().elidedText(text(), Qt::ElideMiddle, contentsRect().width());
}

QString ValueLabel::tip() const {
  if (text().isEmpty() && !hint_.isEmpty()) return hintTip_;
  const bool cut =
      !text().isEmpty() && fontMetrics().horizontalAdvance(text()) > contentsRect().width();
  return cut ? text() : QString();
}

bool ValueLabel::event(QEvent* event) {
  // Measured when asked for, not at every change: a run changes the labels
  // for every file.
  if (event->type() == QEvent::ToolTip) {
    const QString whole = tip();
    if (whole.isEmpty()) {
      QToolTip::hideText();
      event->ignore();
    } else {
      QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), whole, this);
    }
    return true;
  }
  return QLabel::event(event);
}

void ValueLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect area = contentsRect();
  if (text().isEmpty()) {
    if (hint_.isEmpty()) return;
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(area, static_cast<int>(alignment()), hint_);
    return;
  }
  style()->drawItemText(&painter, area, static_cast<int>(alignment()), palette(), isEnabled(),
                        shownText(), foregroundRole());
}

}  // namespace slicery::qt
