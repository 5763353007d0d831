// The tool's icon as one drawing that every view paints: a stack of image
// slices with bars rising in order, as rectangles on a size x size grid.
#pragma once

#include <cstdint>
#include <vector>

namespace slicery::app {

struct IconRect {
  int x;
  int y;
  int width;
  int height;
  std::uint32_t rgb;  // 0xRRGGBB
};

// The icon on a `size` x `size` grid, back to front; at 16 and 32 pixels it
// uses at most 16 colours.
std::vector<IconRect> iconRects(int size);

}  // namespace slicery::app
