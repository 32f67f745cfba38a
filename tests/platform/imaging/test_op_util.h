#pragma once

// Small picture builders for the operation tests.

#include <cstdint>
#include <functional>

#include "platform/imaging/image.h"

namespace mirelo::imaging::test {

// An RGB image whose pixel (x, y) is colour(x, y).
inline Image MakeRgb(int width, int height, const std::function<Rgb(int, int)>& colour) {
  Image image = Image::blank(width, height, PixelFormat::Rgb24);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const Rgb c = colour(x, y);
      std::uint8_t* p = image.row(y) + 3 * x;
      p[0] = c.r;
      p[1] = c.g;
      p[2] = c.b;
    }
  return image;
}

inline Image MakeGray(int width, int height, const std::function<int(int, int)>& level) {
  Image image = Image::blank(width, height, PixelFormat::Gray8);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) image.row(y)[x] = static_cast<std::uint8_t>(level(x, y));
  return image;
}

inline Rgb At(const Image& image, int x, int y) {
  const std::uint8_t* p = image.row(y) + 3 * x;
  return Rgb{p[0], p[1], p[2]};
}

}  // namespace mirelo::imaging::test
