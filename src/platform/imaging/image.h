#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace mirelo::imaging {

enum class PixelFormat : std::uint8_t {
  Gray8,     // one byte per pixel
  Rgb24,     // three bytes per pixel, R G B
  Palette8,  // one index byte per pixel into palette
};

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

struct Size {
  int width = 0;
  int height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

// Pictures are refused before any allocation beyond these limits.
inline constexpr int kMaxSide = 32767;
inline constexpr std::int64_t kMaxPixels = 200'000'000;

// One decoded picture, 8 bits per channel, rows packed without padding (stride = width *
// bytesPerPixel()). Alpha never survives a load: it is flattened onto white.
struct Image {
  int width = 0;
  int height = 0;
  PixelFormat format = PixelFormat::Rgb24;
  std::vector<std::uint8_t> pixels;
  std::vector<Rgb> palette;  // Palette8 only, at most 256 entries
  double dpiX = 96.0;
  double dpiY = 96.0;
  // Bits per pixel as stored in the file the picture came from (1, 4, 8, 16, 24, 32, 48, 64).
  int storedBitsPerPixel = 24;
  // Upright size of the picture in its file. Differs from width/height only when the decoder
  // shrank the picture while loading (see LoadOptions::minimumSize).
  int sourceWidth = 0;
  int sourceHeight = 0;

  int bytesPerPixel() const { return format == PixelFormat::Rgb24 ? 3 : 1; }
  std::size_t stride() const { return static_cast<std::size_t>(width) * bytesPerPixel(); }
  bool empty() const { return width <= 0 || height <= 0; }
  std::uint8_t* row(int y) { return pixels.data() + stride() * static_cast<std::size_t>(y); }
  const std::uint8_t* row(int y) const { return pixels.data() + stride() * static_cast<std::size_t>(y); }

  // A zero-filled (black) image; sourceWidth/Height are set to the same size.
  static Image blank(int width, int height, PixelFormat format = PixelFormat::Rgb24);
};

struct LoadOptions {
  // Called once the header is read, with the full upright size. Returns the smallest decoded size
  // the caller can use; a decoder able to shrink while decoding (JPEG DCT scaling, PNG area means
  // row by row) may then decode a smaller picture that is still at least that large. Unset:
  // decode at full size.
  std::function<Size(Size fullSize)> minimumSize;
};

}  // namespace mirelo::imaging
