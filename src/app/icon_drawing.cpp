#include "app/icon_drawing.h"

#include <algorithm>

namespace slicery::app {
namespace {

constexpr std::uint32_t kOutline = 0x102048;
constexpr std::uint32_t kBack = 0x2a4fa8;
constexpr std::uint32_t kMiddle = 0x5a8ce0;
constexpr std::uint32_t kFront = 0xe8f0fc;
constexpr std::uint32_t kBar = 0xf08c10;

}  // namespace

std::vector<IconRect> iconRects(int size) {
  std::vector<IconRect> rects;
  // One sheet of the stack: a filled square with an outline.
  const int line = std::max(1, size / 32);
  const auto sheet = [&](int x, int y, int side, std::uint32_t fill) {
    rects.push_back({x, y, side, side, kOutline});
    rects.push_back({x + line, y + line, side - 2 * line, side - 2 * line, fill});
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
    rects.push_back({x, floor - height, bar, height, kBar});
  }
  return rects;
}

}  // namespace slicery::app
