// ValueLabel: a label for values that may be wider than the label, such as
// paths. A text that does not fit is painted elided in the middle and is
// offered whole as the tooltip; while the text is empty, a light hint may be
// painted in its place. text() is always the whole value.
#pragma once

#include <QLabel>
#include <QString>

namespace slicery::qt {

class ValueLabel : public QLabel {
 public:
  using QLabel::QLabel;

  void setValue(const QString& value);
  // The tooltip shown on hovering: the whole value when it does not fit,
  // the hint's own while the hint shows.
  QString tip() const;

  void setHint(const QString& hint);
  const QString& hint() const { return hint_; }
  // The tooltip shown on hovering the hint.
  void setHintTip(const QString& tip) { hintTip_ = tip; }

  // What is painted: the hint while the value is empty, else the value,
  // elided in the middle when it does not fit.
  QString shownText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;

 private:
  QString hint_;
  QString hintTip_;
};

}  // namespace slicery::qt
