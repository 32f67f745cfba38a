#pragma once

// Small helpers shared by the BMP, PICT and hostile-input tests: building files byte by byte,
// catching the error number of a reader.

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
    return u16be(static_cast<unsigned>(top)).u16be(static_cast<unsigned>(left))
        .u16be(static_cast<unsigned>(bottom)).u16be(static_cast<unsigned>(right));
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
    case imaging::PixelFormat::Rgb24: return {p[3 * x], p[3 * x + 1], p[3 * x + 2]};
    case imaging::PixelFormat::Gray8: return {p[x], p[x], p[x]};
    case imaging::PixelFormat::Palette8:
      return p[x] < image.palette.size() ? image.palette[p[x]] : imaging::Rgb{};
  }
  return {};
}

}  // namespace mirelo::test
