#include "icon.h"

#include <QPainter>
#include <QPixmap>
#include <algorithm>

namespace slicery::qt {
namespace {

const QColor kOutline(0x10, 0x20, 0x48);
const QColor kBack(0x2a, 0x4f, 0xa8);
const QColor kMiddle(0x5a, 0x8c, 0xe0);
const QColor kFront(0xe8, 0xf0, 0xfc);
const QColor kBar(0xf0, 0x8c, 0x10);

// The grid on which the SVG is drawn; it scales from there.
constexpr int kSvgGrid = 256;

}  // namespace

std::vector<IconRect> iconRects(int size) {
  std::vector<IconRect> rects;
  // One sheet of the stack: a filled square with an outline.
  const int line = std::max(1, size / 32);
  const auto sheet = [&](int x, int y, int side, const QColor& fill) {
    rects.push_back({QRect(x, y, side, side), kOutline});
    rects.push_back({QRect(x + line, y + line, side - 2 * line, side - 2 * line), fill});
  };

  // Three sheets, each one step further down and to the right.
  const int step = size / 8;         // 2 px at 16, 4 px at 32
  const int side = size - 2 * step;  // the front sheet reaches the corner
  sheet(0, 0, side, kBack);
  sheet(step, step, side, kMiddle);
  const int front = 2 * step;
  sheet(front, front, side, kFront);

  // Three bars on the front sheet, rising from left to right: files in order.
  const int inner = side - 2 * line;
  const int bar = inner / 4;
  const int gap = (inner - 3 * bar) / 4;
  const int floor = front + line + inner - gap;
  for (int i = 0; i < 3; ++i) {
    const int height = (inner - 2 * gap) * (i + 1) / 3;
    const int x = front + line + gap + i * (bar + gap);
    rects.push_back({QRect(x, floor - height, bar, height), kBar});
  }
  return rects;
}

QImage paintIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, false);
  for (const IconRect& r : iconRects(size)) p.fillRect(r.rect, r.colour);
  p.end();
  return image;
}

QString iconSvg() {
  QString svg = QStringLiteral(
                    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%1\" "
                    "viewBox=\"0 0 %1 %1\">\n")
                    .arg(kSvgGrid);
  for (const IconRect& r : iconRects(kSvgGrid)) {
    svg += QStringLiteral("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"%5\"/>\n")
               .arg(r.rect.x())
               .arg(r.rect.y())
               .arg(r.rect.width())
               .arg(r.rect.height())
               .arg(r.colour.name());
  }
  svg += QStringLiteral("</svg>\n");
  return svg;
}

QIcon appIcon() {
  QIcon icon;
  for (int size : {16, 32}) icon.addPixmap(QPixmap::fromImage(paintIcon(size)));
  return icon;
}

}  // namespace slicery::qt
