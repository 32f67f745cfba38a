#pragma once

// The body of the fuzz targets of the library-backed still readers (HEIF/AVIF, WebP, JPEG XL,
// camera RAW): any bytes either decode to a consistent picture or fail with a program error,
// and a decode asked to shrink (thumbnail, preview, scaled or half-size decoding) reports the
// same source size as the full decode and is at least as large as it asked for.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "platform/error.h"
#include "platform/imaging/codecs.h"

namespace mirelo::fuzz {

using Reader = imaging::Image (*)(imaging::Bytes, const imaging::LoadOptions&);

inline std::optional<imaging::Image> TryRead(Reader read, imaging::Bytes data,
                                             const imaging::LoadOptions& options) {
  try {
    imaging::Image image = read(data, options);
    if (image.empty() || image.width > imaging::kMaxSide || image.height > imaging::kMaxSide ||
        image.pixels.size() != image.stride() * static_cast<std::size_t>(image.height) ||
        image.sourceWidth <= 0 || image.sourceHeight <= 0) {
      std::abort();
    }
    return image;
  } catch (const mirelo::Error&) {
    return std::nullopt;
  }
}

inline int FuzzStillReader(Reader read, const std::uint8_t* data, std::size_t size) {
  const imaging::Bytes bytes(data, size);
  const auto full = TryRead(read, bytes, {});
  imaging::Size asked{-1, -1};
  imaging::LoadOptions shrink;
  shrink.minimumSize = [&asked](imaging::Size fullSize) {
    asked = {fullSize.width / 4, fullSize.height / 4};
    return asked;
  };
  const auto small = TryRead(read, bytes, shrink);
  if (small && asked.width >= 0 && (small->width < asked.width || small->height < asked.height)) std::abort();
  if (full && small &&
      (full->sourceWidth != small->sourceWidth || full->sourceHeight != small->sourceHeight)) {
    std::abort();
  }
  return 0;
}

}  // namespace mirelo::fuzz
