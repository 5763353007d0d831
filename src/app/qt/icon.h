// The tool's icon (app/icon_drawing.h), painted as pixels for the window and the
// icon theme's fixed sizes and written as SVG for the scalable one.
#pragma once

#include <QIcon>
#include <QImage>
#include <QString>

namespace slicery::qt {

// The sizes, in pixels, of the icon theme's fixed-size icons.
inline constexpr int kIconSizes[] = {16, 32, 48, 64, 128, 256};

// The icon at `size` × `size` pixels on a transparent ground.
QImage paintIcon(int size);

// The same icon as an SVG document.
QString iconSvg();

// The window's icon, at 16 and 32 pixels.
QIcon appIcon();

}  // namespace slicery::qt
