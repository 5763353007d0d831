#include "icon.h"

#include <QColor>
#include <QPainter>
#include <QPixmap>
#include <QRect>

#include "app/icon_drawing.h"

namespace slicery::qt {
namespace {

// The grid on which the SVG is drawn; it scales from there.
constexpr int kSvgGrid = 256;

QRect rectOf(const app::IconRect& r) {
  return {r.x, r.y, r.width, r.height};
}

QColor colourOf(const app::IconRect& r) {
  return QColor(static_cast<QRgb>(r.rgb));  // opaque
}

}  // namespace

QImage paintIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, false);
  for (const app::IconRect& r : app::iconRects(size)) p.fillRect(rectOf(r), colourOf(r));
  p.end();
  return image;
}

QString iconSvg() {
  QString svg = QStringLiteral(
                    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%1\" "
                    "viewBox=\"0 0 %1 %1\">\n")
                    .arg(kSvgGrid);
  for (const app::IconRect& r : app::iconRects(kSvgGrid)) {
    svg += QStringLiteral("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"%5\"/>\n")
               .arg(r.x)
               .arg(r.y)
               .arg(r.width)
               .arg(r.height)
               .arg(colourOf(r).name());
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
