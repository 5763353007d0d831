#include "icon.h"

#include <QColor>
#include <QPainter>
#include <QPixmap>

namespace slicery::qt {
namespace {

const QColor kOutline(0x10, 0x20, 0x48);
const QColor kBack(0x2a, 0x4f, 0xa8);
const QColor kMiddle(0x5a, 0x8c, 0xe0);
const QColor kFront(0xe8, 0xf0, 0xfc);
const QColor kBar(0xf0, 0x8c, 0x10);

// One sheet of the stack: a filled square with a one-pixel outline.
void sheet(QPainter& p, int x, int y, int side, const QColor& fill) {
  p.fillRect(x, y, side, side, kOutline);
  p.fillRect(x + 1, y + 1, side - 2, side - 2, fill);
}

}  // namespace

QImage paintIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, false);

  // Three sheets, each one step further down and to the right.
  const int step = size / 8;         // 2 px at 16, 4 px at 32
  const int side = size - 2 * step;  // the front sheet reaches the corner
  sheet(p, 0, 0, side, kBack);
  sheet(p, step, step, side, kMiddle);
  const int front = 2 * step;
  sheet(p, front, front, side, kFront);

  // Three bars on the front sheet, rising from left to right: files in order.
  const int inner = side - 2;
  const int bar = inner / 4;
  const int gap = (inner - 3 * bar) / 4;
  const int floor = front + 1 + inner - gap;
  for (int i = 0; i < 3; ++i) {
    const int height = (inner - 2 * gap) * (i + 1) / 3;
    const int x = front + 1 + gap + i * (bar + gap);
    p.fillRect(x, floor - height, bar, height, kBar);
  }
  p.end();
  return image;
}

QIcon appIcon() {
  QIcon icon;
  for (int size : {16, 32}) icon.addPixmap(QPixmap::fromImage(paintIcon(size)));
  return icon;
}

}  // namespace slicery::qt
