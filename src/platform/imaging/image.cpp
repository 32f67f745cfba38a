#include "platform/error.h"
#include "platform/imaging/image.h"

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
}  // namespace mirelo::imaging
