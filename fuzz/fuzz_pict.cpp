// libFuzzer target for the PICT reader: any bytes either decode or fail with a program error,
// and whatever decodes survives our writer and reader unchanged.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/error.h"
#include "platform/imaging/codecs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mirelo::imaging;
  const Bytes bytes(data, size);
  const bool sniffed = IsPict(bytes);
  Image image;
  try {
    image = ReadPict(bytes, {});
  } catch (const mirelo::Error&) {
    return 0;
  }
  if (!sniffed) std::abort();  // the reader accepted what the sniffer rejects
  if (image.empty() || image.pixels.size() != image.stride() * static_cast<std::size_t>(image.height))
    std::abort();
  if (image.format != PixelFormat::Rgb24) return 0;  // a QuickTime JPEG may decode to grey
  const Image back = ReadPict(WritePict(image, {}), {});
  if (back.width != image.width || back.height != image.height || back.pixels != image.pixels) std::abort();
  return 0;
}
