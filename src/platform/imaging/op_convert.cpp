// Format conversions: any format to RGB, and to 8-bit grey.

#include <utility>

#include "platform/imaging/op_internal.h"
#include "platform/imaging/operations.h"

namespace mirelo::imaging {

namespace {

// Everything but the pixels: resolution and the file's metadata travel with the picture.
Image WithMetadataOf(const Image& image, PixelFormat format) {
  Image out;
  out.width = image.width;
  out.height = image.height;
  out.format = format;
  out.dpiX = image.dpiX;
  out.dpiY = image.dpiY;
  out.storedBitsPerPixel = image.storedBitsPerPixel;
  out.sourceWidth = image.sourceWidth;
  out.sourceHeight = image.sourceHeight;
  return out;
}

std::size_t PixelCount(const Image& image) {
  if (image.empty()) return 0;
  return static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
}

}  // namespace

Image ToRgb24(const Image& image) {
  if (image.format == PixelFormat::Rgb24) return image;
  detail::CheckPixels(image);
  Image out = WithMetadataOf(image, PixelFormat::Rgb24);
  const std::size_t count = PixelCount(image);
  out.pixels.resize(count * 3);
  const std::uint8_t* src = image.pixels.data();
  std::uint8_t* dst = out.pixels.data();
  if (image.format == PixelFormat::Gray8) {
    for (std::size_t i = 0; i < count; ++i, dst += 3) dst[0] = dst[1] = dst[2] = src[i];
  } else {
    const auto table = detail::FullPalette(image);
    for (std::size_t i = 0; i < count; ++i, dst += 3) {
      const Rgb& c = table[src[i]];
      dst[0] = c.r;
      dst[1] = c.g;
      dst[2] = c.b;
    }
  }
  return out;
}

void detail::ExpandPalette(Image& image) {
  if (image.format == PixelFormat::Palette8) image = ToRgb24(image);
}

void ToGrayscale(Image& image) {
  if (image.format == PixelFormat::Gray8) return;
  detail::CheckPixels(image);
  Image out = WithMetadataOf(image, PixelFormat::Gray8);
  const std::size_t count = PixelCount(image);
  out.pixels.resize(count);
  const std::uint8_t* src = image.pixels.data();
  std::uint8_t* dst = out.pixels.data();
  if (image.format == PixelFormat::Rgb24) {
    for (std::size_t i = 0; i < count; ++i, src += 3) dst[i] = detail::Luma(src[0], src[1], src[2]);
  } else {
    const auto table = detail::FullPalette(image);
    std::array<std::uint8_t, 256> grey{};
    for (std::size_t i = 0; i < 256; ++i) grey[i] = detail::Luma(table[i].r, table[i].g, table[i].b);
    for (std::size_t i = 0; i < count; ++i) dst[i] = grey[src[i]];
  }
  image = std::move(out);
}

}  // namespace mirelo::imaging
