#include "value_label.h"

#include <QPainter>
#include <QStyle>

namespace slicery::qt {

void ValueLabel::setValue(const QString& value) {
  if (value == text()) return;
  setText(value);
  updateToolTip();
}

void ValueLabel::setHint(const QString& hint) {
  hint_ = hint;
  update();
}

QString ValueLabel::shownText() const {
  if (text().isEmpty()) return hint_;
  return fontMetrics().elidedText(text(), Qt::ElideMiddle, contentsRect().width());
}

void ValueLabel::updateToolTip() {
  const bool cut =
      !text().isEmpty() && fontMetrics().horizontalAdvance(text()) > contentsRect().width();
  setToolTip(cut ? text() : QString());
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

void ValueLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  updateToolTip();
}

}  // namespace slicery::qt
