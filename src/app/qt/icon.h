// The tool's icon: a stack of image slices with bars rising in order. It is
// drawn from one list of rectangles, painted as pixels for the window and the
// icon theme's fixed sizes and written as SVG for the scalable one.
#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QRect>
#include <QString>
#include <vector>

namespace slicery::qt {

// The sizes, in pixels, of the icon theme's fixed-size icons.
inline constexpr int kIconSizes[] = {16, 32, 48, 64, 128, 256};

struct IconRect {
  QRect rect;
  QColor colour;
};

// The icon on a `size` × `size` grid, back to front; at 16 and 32 pixels it
// uses at most 16 colours.
std::vector<IconRect> iconRects(int size);

// The icon at `size` × `size` pixels on a transparent ground.
QImage paintIcon(int size);

// The same icon as an SVG document.
QString iconSvg();

// The window's icon, at 16 and 32 pixels.
QIcon appIcon();

}  // namespace slicery::qt
