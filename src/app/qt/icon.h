// The tool's icon: a stack of image slices with bars rising in order, painted
// at the two sizes the window and the desktop use.
#pragma once

#include <QIcon>
#include <QImage>

namespace slicery::qt {

// The icon at `size` × `size` pixels (16 or 32), on a transparent ground, in a
// palette of at most 16 colours.
QImage paintIcon(int size);

// Both sizes in one icon.
QIcon appIcon();

}  // namespace slicery::qt
