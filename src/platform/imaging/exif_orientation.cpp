#include "platform/imaging/exif_orientation.h"

#include <cstring>
#include <utility>
#include <vector>

#include "platform/imaging/tiff_fields.h"

namespace mirelo::imaging::detail {

int ExifOrientation(std::span<const std::uint8_t> app1) {
  static constexpr std::uint8_t kExif[6] = {'E', 'x', 'i', 'f', 0, 0};
  if (app1.size() < sizeof kExif + 8 || std::memcmp(app1.data(), kExif, sizeof kExif) != 0) return 1;
  TiffFields tiff{app1.subspan(sizeof kExif)};
  if (tiff.data[0] == 'M' && tiff.data[1] == 'M') {
    tiff.bigEndian = true;
  } else if (!(tiff.data[0] == 'I' && tiff.data[1] == 'I')) {
    return 1;
  }
  unsigned magic = 0;
  std::uint32_t ifd = 0;
  if (!tiff.U16(2, &magic) || magic != 42 || !tiff.U32(4, &ifd)) return 1;
  unsigned count = 0;
  if (!tiff.U16(ifd, &count)) return 1;
  for (unsigned i = 0; i < count; ++i) {
    std::size_t entry = std::size_t(ifd) + 2 + std::size_t(i) * 12;
    unsigned tag = 0, type = 0, value = 0;
    std::uint32_t n = 0;
    if (!tiff.U16(entry, &tag) || !tiff.U16(entry + 2, &type) || !tiff.U32(entry + 4, &n)) return 1;
    if (tag != 0x0112) continue;
    if (type != 3 || n < 1 || !tiff.U16(entry + 8, &value)) return 1;  // SHORT, stored inline
    return value >= 1 && value <= 8 ? int(value) : 1;
  }
  return 1;
}

void ApplyOrientation(Image& image, int orientation) {
  if (orientation < 2 || orientation > 8 || image.empty()) return;
  const int w = image.width, h = image.height;
  const int bpp = image.bytesPerPixel();
  const bool swap = OrientationSwapsAxes(orientation);
  const int ow = swap ? h : w, oh = swap ? w : h;
  std::vector<std::uint8_t> out(image.pixels.size());
  const std::size_t inStride = image.stride();
  const std::size_t outStride = std::size_t(ow) * bpp;
  for (int y = 0; y < oh; ++y) {
    std::uint8_t* dst = out.data() + outStride * std::size_t(y);
    for (int x = 0; x < ow; ++x) {
      // Source pixel of upright pixel (x, y) for each stored orientation.
      int sx = x, sy = y;
      switch (orientation) {
        case 2: sx = w - 1 - x; break;
        case 3: sx = w - 1 - x; sy = h - 1 - y; break;
        case 4: sy = h - 1 - y; break;
        case 5: sx = y; sy = x; break;
        case 6: sx = y; sy = h - 1 - x; break;
        case 7: sx = w - 1 - y; sy = h - 1 - x; break;
        case 8: sx = w - 1 - y; sy = x; break;
        default: break;
      }
      std::memcpy(dst + std::size_t(x) * bpp, image.pixels.data() + inStride * std::size_t(sy) + std::size_t(sx) * bpp,
                  std::size_t(bpp));
    }
  }
  image.pixels = std::move(out);
  image.width = ow;
  image.height = oh;
  if (swap) std::swap(image.dpiX, image.dpiY);
}

}  // namespace mirelo::imaging::detail
