#pragma once

// Small helpers shared by the library-backed codecs (JPEG, PNG, GIF, TIFF) and the loader.

#include <cstdint>
#include <string>

#include "platform/error.h"
#include "platform/imaging/codecs.h"
#include "platform/imaging/image.h"

namespace mirelo::imaging::detail {

[[noreturn]] inline void ThrowInvalidFormat(const std::string& what) { throw Error(err::kInvalidFileFormat, what); }

// Fuzz builds refuse large legal sizes too: the decoders would otherwise take ~1 GB.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
inline constexpr std::int64_t kDecodeMaxPixels = std::int64_t{1} << 22;
#else
inline constexpr std::int64_t kDecodeMaxPixels = kMaxPixels;
#endif

// Refuses a picture before anything is allocated for it.
inline void CheckDimensions(std::int64_t width, std::int64_t height, const char* codec) {
  if (width <= 0 || height <= 0) ThrowInvalidFormat(std::string(codec) + ": empty picture");
  if (width > kMaxSide || height > kMaxSide || width * height > kDecodeMaxPixels) {
    ThrowInvalidFormat(std::string(codec) + ": picture too large");
  }
}

inline bool DimensionsOk(std::int64_t width, std::int64_t height) {
  return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide &&
         width * height <= kDecodeMaxPixels;
}

// Any image as packed RGB (grey replicated, palette expanded; an index beyond the palette is black).
Image ExpandToRgb24(const Image& image);

// Composites a colour channel with its alpha onto white, both 8-bit: c·a + 255·(1 − a), rounded.
inline std::uint8_t OverWhite(unsigned c, unsigned a) {
  return static_cast<std::uint8_t>((c * a + 255u * (255u - a) + 127u) / 255u);
}

class PictureFile;

// A PNG decoded straight from its open file, so the file never sits whole in memory (libpng
// copies every byte into its own buffer anyway). 20007 on an I/O error while reading.
Image ReadPngFile(PictureFile& file, const LoadOptions& options);

// Sets sourceWidth/Height to the decoded size (readers that never shrink call this last).
inline void SetSourceSizeToSize(Image& image) {
  image.sourceWidth = image.width;
  image.sourceHeight = image.height;
}

}  // namespace mirelo::imaging::detail
