// libFuzzer target for the BMP reader: any bytes either decode or fail with a program error,
// and whatever decodes survives our writer and reader unchanged.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/error.h"
#include "platform/imaging/codecs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mirelo::imaging;
  Image image;
  try {
    image = ReadBmp(Bytes(data, size), {});
  } catch (const mirelo::Error&) {
    return 0;
  }
  if (image.empty() || image.pixels.size() != image.stride() * static_cast<std::size_t>(image.height))
    std::abort();
  if (image.format == PixelFormat::Palette8) {
    if (image.palette.empty() || image.palette.size() > 256) std::abort();
    for (std::uint8_t index : image.pixels) {
      if (index >= image.palette.size()) std::abort();
    }
  }
  const Image back = ReadBmp(WriteBmp(image, {}), {});
  if (back.width != image.width || back.height != image.height || back.pixels != image.pixels) std::abort();
  return 0;
}
