// Colour resolution: 24-bit RGB, or 8-bit with the fixed palette or an optimised palette.
//
// 24 bits: any palette option the pipeline passes (2, 4, 8) gives plain RGB.
// 8 bits, option 8: every colour maps to its nearest entry of FixedPalette() (Euclidean distance
//   in RGB, first entry on a tie), without dithering.
// 8 bits, option 2: a picture with at most 256 distinct colours keeps them exactly (palette in
//   order of first appearance); otherwise libimagequant builds the palette, without dithering.
// Anything else is refused with 380.

#include <libimagequant.h>

#include <algorithm>
#include <array>
#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/imaging/op_internal.h"
#include "platform/imaging/operations.h"

namespace mirelo::imaging {

namespace {

// The palette of 256 colours used by the fixed option:
//   0..9      the first ten Windows static colours (black, dark primaries, silver, money green,
//             sky blue),
//   10..217   the 6x6x6 colour cube (levels 0, 51, 102, 153, 204, 255; red slowest, blue
//             fastest) minus its eight corners, which the static colours already hold,
//   218..245  28 greys spread over the widest gaps between the greys above,
//   246..255  the last ten Windows static colours (cream, medium grey, grey, then the bright
//             primaries and secondaries, white).
std::array<Rgb, 256> BuildFixedPalette() {
  std::array<Rgb, 256> p{};
  const Rgb low[10] = {{0, 0, 0},     {128, 0, 0},   {0, 128, 0},     {128, 128, 0},   {0, 0, 128},
                       {128, 0, 128}, {0, 128, 128}, {192, 192, 192}, {192, 220, 192}, {166, 202, 240}};
  const Rgb high[10] = {{255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},   {0, 255, 0},
                        {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255}, {255, 255, 255}};
  std::size_t n = 0;
  for (const Rgb& c : low) p[n++] = c;
  auto isCorner = [](int v) { return v == 0 || v == 255; };
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b) {
        if (isCorner(r * 51) && isCorner(g * 51) && isCorner(b * 51)) continue;
        p[n++] = Rgb{static_cast<std::uint8_t>(r * 51), static_cast<std::uint8_t>(g * 51),
                     static_cast<std::uint8_t>(b * 51)};
      }
  // Greys already present: the cube's six, 128 and 192. Each new grey goes into the gap whose
  // pieces are currently the widest.
  const int greys[] = {0, 51, 102, 128, 153, 192, 204, 255};
  constexpr std::size_t kGaps = std::size(greys) - 1;
  std::array<int, kGaps> added{};
  const std::size_t greysToAdd = 246 - n;
  for (std::size_t i = 0; i < greysToAdd; ++i) {
    std::size_t best = 0;
    for (std::size_t g = 1; g < kGaps; ++g) {
      // Compare (gap / (added + 1)) exactly with cross-multiplication.
      if ((greys[g + 1] - greys[g]) * (added[best] + 1) > (greys[best + 1] - greys[best]) * (added[g] + 1)) best = g;
    }
    ++added[best];
  }
  for (std::size_t g = 0; g < kGaps; ++g) {
    const int span = greys[g + 1] - greys[g];
    for (int j = 1; j <= added[g]; ++j) {
      const auto v = static_cast<std::uint8_t>(greys[g] + (span * j * 2 + added[g] + 1) / (2 * (added[g] + 1)));
      p[n++] = Rgb{v, v, v};
    }
  }
  for (const Rgb& c : high) p[n++] = c;
  return p;
}

int Distance(const Rgb& a, int r, int g, int b) {
  const int dr = a.r - r, dg = a.g - g, db = a.b - b;
  return dr * dr + dg * dg + db * db;
}

std::uint8_t NearestFixed(int r, int g, int b) {
  const Rgb* palette = FixedPalette();
  int best = 0;
  int bestDistance = Distance(palette[0], r, g, b);
  for (int i = 1; i < 256 && bestDistance > 0; ++i) {
    const int d = Distance(palette[i], r, g, b);
    if (d < bestDistance) {
      bestDistance = d;
      best = i;
    }
  }
  return static_cast<std::uint8_t>(best);
}

Image Indexed(const Image& rgb, std::vector<Rgb> palette) {
  Image out = rgb;
  out.format = PixelFormat::Palette8;
  out.palette = std::move(palette);
  out.pixels.assign(static_cast<std::size_t>(rgb.width) * static_cast<std::size_t>(rgb.height), 0);
  return out;
}

std::uint32_t Key(const std::uint8_t* p) { return (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2]; }

void ToFixedPalette(Image& image) {
  if (image.format == PixelFormat::Palette8) {
    // Only the palette's colours need a search.
    const auto table = detail::FullPalette(image);
    std::array<std::uint8_t, 256> map{};
    for (std::size_t i = 0; i < 256; ++i) map[i] = NearestFixed(table[i].r, table[i].g, table[i].b);
    for (std::uint8_t& v : image.pixels) v = map[v];
    image.palette.assign(FixedPalette(), FixedPalette() + 256);
    return;
  }
  const Image rgb = ToRgb24(image);
  Image out = Indexed(rgb, std::vector<Rgb>(FixedPalette(), FixedPalette() + 256));
  // Photos repeat colours a lot; a small direct-mapped cache saves most of the searches.
  constexpr std::size_t kCache = 4096;
  std::vector<std::uint32_t> cachedKey(kCache, 0xFFFFFFFFu);
  std::vector<std::uint8_t> cachedIndex(kCache, 0);
  const std::uint8_t* p = rgb.pixels.data();
  for (std::uint8_t& index : out.pixels) {
    const std::uint32_t key = Key(p);
    const std::size_t slot = (key * 2654435761u) >> 20;
    if (cachedKey[slot] != key) {
      cachedKey[slot] = key;
      cachedIndex[slot] = NearestFixed(p[0], p[1], p[2]);
    }
    index = cachedIndex[slot];
    p += 3;
  }
  image = std::move(out);
}

// The exact palette when the picture has at most 256 colours; false when it has more.
bool ToExactPalette(const Image& rgb, Image& out) {
  std::unordered_map<std::uint32_t, std::uint8_t> indexOf;
  indexOf.reserve(512);
  std::vector<Rgb> palette;
  std::vector<std::uint8_t> indices(static_cast<std::size_t>(rgb.width) * static_cast<std::size_t>(rgb.height));
  const std::uint8_t* p = rgb.pixels.data();
  std::uint32_t lastKey = 0xFFFFFFFFu;
  std::uint8_t lastIndex = 0;
  for (std::uint8_t& index : indices) {
    const std::uint32_t key = Key(p);
    if (key != lastKey) {
      auto [it, inserted] = indexOf.try_emplace(key, static_cast<std::uint8_t>(palette.size() & 0xFF));
      if (inserted) {
        if (palette.size() == 256) return false;
        palette.push_back(Rgb{p[0], p[1], p[2]});
      }
      lastKey = key;
      lastIndex = it->second;
    }
    index = lastIndex;
    p += 3;
  }
  out = Indexed(rgb, std::move(palette));
  out.pixels = std::move(indices);
  return true;
}

struct LiqDeleter {
  void operator()(liq_attr* a) const { liq_attr_destroy(a); }
  void operator()(liq_image* i) const { liq_image_destroy(i); }
  void operator()(liq_result* r) const { liq_result_destroy(r); }
};

void ToOptimisedPalette(Image& image) {
  const Image rgb = ToRgb24(image);
  Image out;
  if (ToExactPalette(rgb, out)) {
    image = std::move(out);
    return;
  }
  const std::size_t count = static_cast<std::size_t>(rgb.width) * static_cast<std::size_t>(rgb.height);
  std::vector<std::uint8_t> rgba(count * 4);
  for (std::size_t i = 0; i < count; ++i) {
    rgba[4 * i] = rgb.pixels[3 * i];
    rgba[4 * i + 1] = rgb.pixels[3 * i + 1];
    rgba[4 * i + 2] = rgb.pixels[3 * i + 2];
    rgba[4 * i + 3] = 255;
  }
  std::unique_ptr<liq_attr, LiqDeleter> attr(liq_attr_create());
  if (!attr) detail::InvalidArgument("colour resolution: palette quantiser unavailable");
  liq_set_max_colors(attr.get(), 256);
  // Measured on a 160x120 thumbnail: speed 6 takes about half the time of speeds 3-4 for a
  // mean error within 2 % of theirs; from 8 on the palette gets visibly worse.
  liq_set_speed(attr.get(), 6);
  std::unique_ptr<liq_image, LiqDeleter> liqImage(
      liq_image_create_rgba(attr.get(), rgba.data(), rgb.width, rgb.height, 0));
  if (!liqImage) detail::InvalidArgument("colour resolution: palette quantiser refused the image");
  liq_result* rawResult = nullptr;
  if (liq_image_quantize(liqImage.get(), attr.get(), &rawResult) != LIQ_OK || !rawResult)
    detail::InvalidArgument("colour resolution: palette quantisation failed");
  std::unique_ptr<liq_result, LiqDeleter> result(rawResult);
  liq_set_dithering_level(result.get(), 0.0f);
  out = Indexed(rgb, {});
  if (liq_write_remapped_image(result.get(), liqImage.get(), out.pixels.data(), out.pixels.size()) != LIQ_OK)
    detail::InvalidArgument("colour resolution: palette remapping failed");
  const liq_palette* palette = liq_get_palette(result.get());
  for (unsigned i = 0; i < palette->count && i < 256; ++i)
    out.palette.push_back(Rgb{palette->entries[i].r, palette->entries[i].g, palette->entries[i].b});
  image = std::move(out);
}

}  // namespace

const Rgb* FixedPalette() {
  static const std::array<Rgb, 256> palette = BuildFixedPalette();
  return palette.data();
}

void ChangeColorResolution(Image& image, int bitsPerPixel, int paletteOption) {
  const bool knownOption = paletteOption == 2 || paletteOption == 4 || paletteOption == 8;
  if (bitsPerPixel == 24 && knownOption) {
    if (image.format != PixelFormat::Rgb24) image = ToRgb24(image);
    return;
  }
  if (bitsPerPixel != 8 || (paletteOption != 2 && paletteOption != 8))
    detail::InvalidArgument("colour resolution: unsupported bits per pixel or palette option");
  detail::CheckPixels(image);
  if (image.empty()) {
    image.format = PixelFormat::Palette8;
    image.pixels.clear();
    image.palette.clear();
    if (paletteOption == 8) image.palette.assign(FixedPalette(), FixedPalette() + 256);
    return;
  }
  if (paletteOption == 8)
    ToFixedPalette(image);
  else
    ToOptimisedPalette(image);
}

}  // namespace mirelo::imaging
