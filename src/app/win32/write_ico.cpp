// write-ico FILE: writes the tool's icon as a Windows icon file of 16, 32, 48
// and 256 pixels, painted from the drawing the Linux icons come from. The
// build runs it to make the program's icon resource.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/icon_drawing.h"

namespace {

void put16(std::string& out, std::uint32_t value) {
  out += static_cast<char>(value & 0xff);
  out += static_cast<char>((value >> 8) & 0xff);
}

void put32(std::string& out, std::uint32_t value) {
  put16(out, value & 0xffff);
  put16(out, value >> 16);
}

// One image of the file: a 32-bit bitmap with alpha, bottom row first, and
// the mask that older readers take for transparency.
std::string image(int size) {
  const auto side = static_cast<size_t>(size);
  std::vector<std::uint32_t> pixels(side * side, 0);  // 0xAARRGGBB, transparent
  for (const slicery::app::IconRect& r : slicery::app::iconRects(size)) {
    for (int y = std::max(r.y, 0); y < std::min(r.y + r.height, size); ++y) {
      for (int x = std::max(r.x, 0); x < std::min(r.x + r.width, size); ++x) {
        pixels[static_cast<size_t>(y) * side + static_cast<size_t>(x)] = 0xff000000u | r.rgb;
      }
    }
  }
  std::string out;
  put32(out, 40);  // BITMAPINFOHEADER: the height counts the mask too
  put32(out, static_cast<std::uint32_t>(size));
  put32(out, static_cast<std::uint32_t>(2 * size));
  put16(out, 1);
  put16(out, 32);
  for (int i = 0; i < 6; ++i) put32(out, 0);
  for (size_t y = side; y-- > 0;) {
    for (size_t x = 0; x < side; ++x) put32(out, pixels[y * side + x]);
  }
  const size_t maskRow = (side + 31) / 32 * 4;
  for (size_t y = side; y-- > 0;) {
    std::string row(maskRow, '\0');
    for (size_t x = 0; x < side; ++x) {
      if ((pixels[y * side + x] >> 24) == 0) row[x / 8] |= static_cast<char>(0x80 >> (x % 8));
    }
    out += row;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: write-ico FILE.ico\n", stderr);
    return 2;
  }
  const int sizes[] = {16, 32, 48, 256};
  std::string header;
  std::string images;
  put16(header, 0);
  put16(header, 1);  // an icon
  put16(header, std::size(sizes));
  std::uint32_t offset = 6 + 16 * std::size(sizes);
  for (int size : sizes) {
    const std::string bitmap = image(size);
    header += static_cast<char>(size == 256 ? 0 : size);  // 0 stands for 256
    header += static_cast<char>(size == 256 ? 0 : size);
    header += '\0';  // no palette
    header += '\0';
    put16(header, 1);
    put16(header, 32);
    put32(header, static_cast<std::uint32_t>(bitmap.size()));
    put32(header, offset);
    offset += static_cast<std::uint32_t>(bitmap.size());
    images += bitmap;
  }
  std::ofstream file(argv[1], std::ios::binary);
  file << header << images;
  file.close();
  if (!file) {
    std::fprintf(stderr, "write-ico: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
