#pragma once

// Helpers shared by the pixel operations (op_*.cpp); not part of the imaging interface.

#include <array>
#include <cstdint>
#include <string>

#include "platform/error.h"
#include "platform/imaging/image.h"

namespace mirelo::imaging::detail {

[[noreturn]] inline void InvalidArgument(const std::string& what) {
  throw Error(err::kInvalidPropertyValue, what);
}

// The palette of a Palette8 image padded to 256 entries; indices past the stored palette read as
// black, so a short palette never makes us read out of bounds.
inline std::array<Rgb, 256> FullPalette(const Image& image) {
  std::array<Rgb, 256> table{};
  const std::size_t n = image.palette.size() < 256 ? image.palette.size() : 256;
  for (std::size_t i = 0; i < n; ++i) table[i] = image.palette[i];
  return table;
}

// An image whose pixel buffer is shorter than its size claims is refused rather than read past.
inline void CheckPixels(const Image& image) {
  if (image.empty()) return;
  if (image.pixels.size() < image.stride() * static_cast<std::size_t>(image.height))
    InvalidArgument("image: pixel buffer smaller than its size");
}

// Palette images are expanded in place; Gray8 and Rgb24 stay as they are.
void ExpandPalette(Image& image);

inline std::uint8_t ClampByte(int v) { return static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// Rec. 601 luma, rounded: the weights sum to 1000 so white stays 255 exactly.
inline std::uint8_t Luma(int r, int g, int b) {
  return static_cast<std::uint8_t>((299 * r + 587 * g + 114 * b + 500) / 1000);
}

// Fixed-point filter weights of the resize and the sharpen: 14 fraction bits keep every tap in
// 16 bits, so the inner loops use 16 x 16-bit products.
inline constexpr int kBits = 14;
inline constexpr int kOne = 1 << kBits;
inline constexpr int kHalf = 1 << (kBits - 1);

// A filtered sum (started at kHalf for rounding) back to a clamped byte.
inline std::uint8_t Store(std::int32_t acc) { return ClampByte(acc >> kBits); }

}  // namespace mirelo::imaging::detail
