#include "platform/imaging/image.h"

#include "platform/error.h"
#include "platform/imaging/codec_common.h"

namespace mirelo::imaging {

Image Image::blank(int width, int height, PixelFormat format) {
  Image image;
  image.width = width;
  image.height = height;
  image.format = format;
  image.sourceWidth = width;
  image.sourceHeight = height;
  image.pixels.assign(image.stride() * static_cast<std::size_t>(height), 0);
  return image;
}

namespace detail {

Image ExpandToRgb24(const Image& image) {
  if (image.format == PixelFormat::Rgb24) return image;
  Image out = Image::blank(image.width, image.height);
  out.dpiX = image.dpiX;
  out.dpiY = image.dpiY;
  out.storedBitsPerPixel = image.storedBitsPerPixel;
  out.sourceWidth = image.sourceWidth;
  out.sourceHeight = image.sourceHeight;
  const std::size_t count = std::size_t(image.width) * std::size_t(image.height);
  std::uint8_t* dst = out.pixels.data();
  for (std::size_t i = 0; i < count; ++i, dst += 3) {
    std::uint8_t v = image.pixels[i];
    if (image.format == PixelFormat::Gray8) {
      dst[0] = dst[1] = dst[2] = v;
    } else if (v < image.palette.size()) {
      dst[0] = image.palette[v].r;
      dst[1] = image.palette[v].g;
      dst[2] = image.palette[v].b;
    }
  }
  return out;
}

}  // namespace detail
}  // namespace mirelo::imaging
