// Automatic contrast: stretch the intensity histogram over the full range 0..255.
//
// Intensity is Rec. 601 luma. The darkest and the brightest 0.5 % of the pixels are ignored so a
// few specks of noise or a single highlight do not defeat the stretch; the levels in between are
// mapped linearly onto 0..255 and the same map is applied to every channel, which keeps hues.
// A picture whose remaining levels are all equal (a flat image) is left unchanged.

#include <array>
#include <cstdint>

#include "platform/imaging/op_internal.h"
#include "platform/imaging/operations.h"

namespace mirelo::imaging {

namespace {

// Parts per thousand of the pixels ignored at each end of the histogram.
constexpr std::uint64_t kClipPerMille = 5;

std::array<std::uint64_t, 256> Histogram(const Image& image) {
  std::array<std::uint64_t, 256> histogram{};
  const std::size_t count = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
  const std::uint8_t* p = image.pixels.data();
  if (image.format == PixelFormat::Rgb24) {
    for (std::size_t i = 0; i < count; ++i, p += 3) ++histogram[detail::Luma(p[0], p[1], p[2])];
  } else if (image.format == PixelFormat::Gray8) {
    for (std::size_t i = 0; i < count; ++i) ++histogram[p[i]];
  } else {
    const auto table = detail::FullPalette(image);
    std::array<std::uint64_t, 256> uses{};
    for (std::size_t i = 0; i < count; ++i) ++uses[p[i]];
    for (std::size_t i = 0; i < 256; ++i) histogram[detail::Luma(table[i].r, table[i].g, table[i].b)] += uses[i];
  }
  return histogram;
}

}  // namespace

void StretchContrast(Image& image) {
  if (image.empty()) return;
  detail::CheckPixels(image);
  const auto histogram = Histogram(image);
  const std::uint64_t total = static_cast<std::uint64_t>(image.width) * static_cast<std::uint64_t>(image.height);
  const std::uint64_t clip = total * kClipPerMille / 1000;

  // Lowest and highest levels once `clip` pixels have been skipped at each end.
  int low = 0;
  for (std::uint64_t seen = 0; low < 255; ++low) {
    seen += histogram[static_cast<std::size_t>(low)];
    if (seen > clip) break;
  }
  int high = 255;
  for (std::uint64_t seen = 0; high > 0; --high) {
    seen += histogram[static_cast<std::size_t>(high)];
    if (seen > clip) break;
  }
  if (high <= low) return;  // flat
  if (low == 0 && high == 255) return;

  std::array<std::uint8_t, 256> map{};
  const int range = high - low;
  for (int v = 0; v < 256; ++v) {
    const int scaled = ((v - low) * 255 * 2 + range) / (2 * range);  // rounded for v >= low
    map[static_cast<std::size_t>(v)] = detail::ClampByte(v <= low ? 0 : scaled);
  }

  if (image.format == PixelFormat::Palette8) {
    for (Rgb& c : image.palette) {
      c.r = map[c.r];
      c.g = map[c.g];
      c.b = map[c.b];
    }
    return;
  }
  for (std::uint8_t& v : image.pixels) v = map[v];
}

}  // namespace mirelo::imaging
