#pragma once

// Bounds-checked reading of TIFF fields (EXIF blocks, the IFDs of camera RAWs) in the byte order
// the header states. A read past the end returns false.

#include <cstddef>
#include <cstdint>
#include <span>

namespace mirelo::imaging::detail {

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
