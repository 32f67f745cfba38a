// Trim: crop away the blank margin around the picture.
//
// The background is the colour of the top-left pixel. A pixel is blank when each of its channels
// differs from the background by at most `threshold` levels (0..255). The options slider runs
// from 0 to 244, so every step of it is one grey level of tolerance: 0 removes only margins of
// exactly the background colour, 244 treats nearly everything as blank. A negative threshold
// counts as 0. When no pixel stands out (an all-blank picture) the image is left as it is.

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "platform/imaging/op_internal.h"
#include "platform/imaging/operations.h"

namespace mirelo::imaging {

namespace {

struct Box {
  int left, top, right, bottom;  // right and bottom exclusive
};

// Bounding box of the pixels for which isContent(row, x) holds; empty (right <= left) if none.
template <typename IsContent>
Box ContentBox(const Image& image, IsContent isContent) {
  Box box{image.width, image.height, 0, 0};
  for (int y = 0; y < image.height; ++y) {
    const std::uint8_t* row = image.row(y);
    int first = -1;
    for (int x = 0; x < image.width; ++x) {
      if (isContent(row, x)) {
        first = x;
        break;
      }
    }
    if (first < 0) continue;
    int last = first;
    for (int x = image.width - 1; x > first; --x) {
      if (isContent(row, x)) {
        last = x;
        break;
      }
    }
    box.top = std::min(box.top, y);
    box.bottom = y + 1;
    box.left = std::min(box.left, first);
    box.right = std::max(box.right, last + 1);
  }
  return box;
}

void Crop(Image& image, const Box& box) {
  const int width = box.right - box.left;
  const int height = box.bottom - box.top;
  const std::size_t bpp = static_cast<std::size_t>(image.bytesPerPixel());
  const std::size_t newStride = static_cast<std::size_t>(width) * bpp;
  std::vector<std::uint8_t> pixels(newStride * static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* src = image.row(box.top + y) + static_cast<std::size_t>(box.left) * bpp;
    std::copy(src, src + newStride, pixels.begin() + static_cast<std::ptrdiff_t>(newStride * static_cast<std::size_t>(y)));
  }
  image.pixels = std::move(pixels);
  image.width = width;
  image.height = height;
  // The picture no longer matches the file; callers read its size afresh.
  image.sourceWidth = width;
  image.sourceHeight = height;
}

}  // namespace

void Trim(Image& image, std::int16_t threshold) {
  if (image.empty()) return;
  detail::CheckPixels(image);
  const int t = std::max<int>(threshold, 0);
  if (t >= 255) return;  // every pixel is within the tolerance: all blank
  auto near = [t](int a, int b) { return std::abs(a - b) <= t; };

  Box box{};
  if (image.format == PixelFormat::Rgb24) {
    const std::uint8_t* bg = image.row(0);
    const int r = bg[0], g = bg[1], b = bg[2];
    box = ContentBox(image, [&](const std::uint8_t* row, int x) {
      const std::uint8_t* p = row + 3 * static_cast<std::size_t>(x);
      return !(near(p[0], r) && near(p[1], g) && near(p[2], b));
    });
  } else if (image.format == PixelFormat::Gray8) {
    const int v = image.row(0)[0];
    box = ContentBox(image, [&](const std::uint8_t* row, int x) { return !near(row[x], v); });
  } else {
    // Palette indices are compared by the colours they stand for.
    const auto table = detail::FullPalette(image);
    const Rgb bg = table[image.row(0)[0]];
    std::array<bool, 256> content{};
    for (std::size_t i = 0; i < 256; ++i)
      content[i] = !(near(table[i].r, bg.r) && near(table[i].g, bg.g) && near(table[i].b, bg.b));
    box = ContentBox(image, [&](const std::uint8_t* row, int x) { return content[row[x]]; });
  }

  if (box.right <= box.left || box.bottom <= box.top) return;  // all blank
  if (box.left == 0 && box.top == 0 && box.right == image.width && box.bottom == image.height) return;
  Crop(image, box);
}

}  // namespace mirelo::imaging
