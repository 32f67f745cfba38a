#pragma once

// Bounds-checked reading of TIFF fields (EXIF blocks, the IFDs of camera RAWs) in the byte order
// the header states. A read past the end returns false.

#include <cstddef>
#include <cstdint>
#include <span>

namespace mirelo::imaging::detail {

// A classic or big TIFF header in either byte order (IsTiff's test; here so that the camera RAW
// decoder program does not link libtiff and what it pulls in).
inline bool TiffHeader(std::span<const std::uint8_t> data) {
  if (data.size() < 4) return false;
  const bool little = data[0] == 'I' && data[1] == 'I' && (data[2] == 42 || data[2] == 43) && data[3] == 0;
  const bool big = data[0] == 'M' && data[1] == 'M' && data[2] == 0 && (data[3] == 42 || data[3] == 43);
  return little || big;
}

struct TiffFields {
  std::span<const std::uint8_t> data;  // starts at the TIFF header
  bool bigEndian = false;

  bool U16(std::size_t at, unsigned* out) const {
    if (at > data.size() || data.size() - at < 2) return false;
    *out = bigEndian ? (unsigned(data[at]) << 8) | data[at + 1] : (unsigned(data[at + 1]) << 8) | data[at];
    return true;
  }
  bool U32(std::size_t at, std::uint32_t* out) const {
    if (at > data.size() || data.size() - at < 4) return false;
    const std::uint8_t* p = data.data() + at;
    *out = bigEndian ? (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3]
                     : (std::uint32_t(p[3]) << 24) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[1]) << 8) | p[0];
    return true;
  }
};

}  // namespace mirelo::imaging::detail
