#pragma once

// Small helpers shared by the BMP, PICT and hostile-input tests: building files byte by byte,
// catching the error number of a reader.

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/imaging/codecs.h"

namespace mirelo::test {

class ByteBuilder {
 public:
  ByteBuilder& u8(unsigned v) {
    d_.push_back(static_cast<std::uint8_t>(v));
    return *this;
  }
  ByteBuilder& u16le(unsigned v) { return u8(v).u8(v >> 8); }
  ByteBuilder& u32le(std::uint32_t v) { return u16le(v & 0xFFFF).u16le(v >> 16); }
  ByteBuilder& u16be(unsigned v) { return u8(v >> 8).u8(v); }
  ByteBuilder& u32be(std::uint32_t v) { return u16be(v >> 16).u16be(v & 0xFFFF); }
  ByteBuilder& rect(int top, int left, int bottom, int right) {
    return u16be(static_cast<unsigned>(top))
        .u16be(static_cast<unsigned>(left))
        .u16be(static_cast<unsigned>(bottom))
        .u16be(static_cast<unsigned>(right));
  }
  ByteBuilder& bytes(const std::vector<std::uint8_t>& b) {
    d_.insert(d_.end(), b.begin(), b.end());
    return *this;
  }
  ByteBuilder& zeros(std::size_t n) {
    d_.insert(d_.end(), n, 0);
    return *this;
  }
  std::size_t size() const { return d_.size(); }
  std::vector<std::uint8_t>& data() { return d_; }

 private:
  std::vector<std::uint8_t> d_;
};

// The error number a call throws, 0 when it returns normally.
inline int ErrorNumber(const std::function<void()>& call) {
  try {
    call();
  } catch (const Error& e) {
    return e.number();
  }
  return 0;
}

inline void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline imaging::Rgb PixelOf(const imaging::Image& image, int x, int y) {
  const std::uint8_t* p = image.row(y);
  switch (image.format) {
    case imaging::PixelFormat::Rgb24:
      return {p[3 * x], p[3 * x + 1], p[3 * x + 2]};
    case imaging::PixelFormat::Gray8:
      return {p[x], p[x], p[x]};
    case imaging::PixelFormat::Palette8:
      return p[x] < image.palette.size() ? image.palette[p[x]] : imaging::Rgb{};
  }
  return {};
}

// A bitmap file built field by field; masks go after a 40-byte header for BI_BITFIELDS (3) and
// BI_ALPHABITFIELDS (6), inside larger headers.
struct BmpSpec {
  std::uint32_t headerSize = 40;
  std::int32_t width = 1;
  std::int32_t height = 1;
  int bpp = 24;
  std::uint32_t compression = 0;
  std::vector<imaging::Rgb> palette;
  std::uint32_t clrUsed = 0;
  std::array<std::uint32_t, 4> masks{};
  std::int32_t ppm = 0;
  std::vector<std::uint8_t> pixels;  // as stored in the file
};

inline std::vector<std::uint8_t> MakeBmp(const BmpSpec& s) {
  const std::size_t entry = s.headerSize == 12 ? 3 : 4;
  const std::size_t masksAfter = s.headerSize != 40   ? 0
                                 : s.compression == 3 ? 12
                                 : s.compression == 6 ? 16
                                                      : 0;
  const std::size_t off = 14 + s.headerSize + masksAfter + s.palette.size() * entry;
  ByteBuilder b;
  b.u8('B').u8('M').u32le(static_cast<std::uint32_t>(off + s.pixels.size())).u32le(0);
  b.u32le(static_cast<std::uint32_t>(off)).u32le(s.headerSize);
  const std::size_t headerStart = b.size() - 4;
  if (s.headerSize == 12) {
    b.u16le(static_cast<unsigned>(s.width))
        .u16le(static_cast<unsigned>(s.height))
        .u16le(1)
        .u16le(static_cast<unsigned>(s.bpp));
  } else {
    b.u32le(static_cast<std::uint32_t>(s.width)).u32le(static_cast<std::uint32_t>(s.height)).u16le(1);
    b.u16le(static_cast<unsigned>(s.bpp));
    if (s.headerSize >= 40) {
      b.u32le(s.compression).u32le(static_cast<std::uint32_t>(s.pixels.size()));
      const std::uint32_t clrUsed = s.clrUsed ? s.clrUsed : static_cast<std::uint32_t>(s.palette.size());
      b.u32le(static_cast<std::uint32_t>(s.ppm))
          .u32le(static_cast<std::uint32_t>(s.ppm))
          .u32le(clrUsed)
          .u32le(0);
    }
    if (s.headerSize >= 52 && s.headerSize != 64) b.u32le(s.masks[0]).u32le(s.masks[1]).u32le(s.masks[2]);
    if (s.headerSize >= 56 && s.headerSize != 64) b.u32le(s.masks[3]);
    b.zeros(headerStart + s.headerSize - b.size());
  }
  for (std::size_t i = 0; i < masksAfter / 4; ++i) b.u32le(s.masks[i]);
  for (const imaging::Rgb& c : s.palette) {
    b.u8(c.b).u8(c.g).u8(c.r);
    if (entry == 4) b.u8(0);
  }
  b.bytes(s.pixels);
  return b.data();
}

}  // namespace mirelo::test
