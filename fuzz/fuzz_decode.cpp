// libFuzzer target for every reader behind the generic load entry: any bytes either decode to
// a consistent picture or fail with a program error.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/error.h"
#include "platform/imaging/codecs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mirelo::imaging;
  Image image;
  try {
    image = DecodeImage(Bytes(data, size));
  } catch (const mirelo::Error&) {
    return 0;
  }
  if (image.empty() || image.width > kMaxSide || image.height > kMaxSide) std::abort();
  if (image.pixels.size() != image.stride() * static_cast<std::size_t>(image.height)) std::abort();
  if (image.format == PixelFormat::Palette8 && (image.palette.empty() || image.palette.size() > 256))
    std::abort();
  return 0;
}
