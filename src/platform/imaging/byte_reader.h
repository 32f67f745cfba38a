#pragma once

// Bounds-checked reading of untrusted file bytes for our own codecs. Every read past the end
// throws 20009, so a parser never has to check lengths by hand before each field.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/error.h"

namespace mirelo::imaging {

[[noreturn]] inline void ThrowCorrupt(const char* what) { throw Error(err::kInvalidFileFormat, what); }

class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> data) : data_(data) {}

  std::size_t size() const { return data_.size(); }
  std::size_t pos() const { return pos_; }
  std::size_t remaining() const { return data_.size() - pos_; }
  bool atEnd() const { return pos_ >= data_.size(); }

  void seek(std::size_t pos) {
    if (pos > data_.size()) ThrowCorrupt("offset beyond the end of the file");
    pos_ = pos;
  }
  void skip(std::size_t n) {
    if (n > remaining()) ThrowCorrupt("file is truncated");
    pos_ += n;
  }
  std::span<const std::uint8_t> take(std::size_t n) {
    if (n > remaining()) ThrowCorrupt("file is truncated");
    auto out = data_.subspan(pos_, n);
    pos_ += n;
    return out;
  }

  std::uint8_t u8() { return take(1)[0]; }
  std::uint16_t u16be() {
    auto b = take(2);
    return static_cast<std::uint16_t>(b[0] << 8 | b[1]);
  }
  std::uint32_t u32be() {
    auto b = take(4);
    return std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 | b[3];
  }
  std::int16_t i16be() { return static_cast<std::int16_t>(u16be()); }
  std::uint16_t u16le() {
    auto b = take(2);
    return static_cast<std::uint16_t>(b[1] << 8 | b[0]);
  }
  std::uint32_t u32le() {
    auto b = take(4);
    return std::uint32_t(b[3]) << 24 | std::uint32_t(b[2]) << 16 | std::uint32_t(b[1]) << 8 | b[0];
  }
  std::int32_t i32le() { return static_cast<std::int32_t>(u32le()); }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t pos_ = 0;
};

// Little helpers for writers.
inline void PutU8(std::vector<std::uint8_t>& out, unsigned v) { out.push_back(static_cast<std::uint8_t>(v)); }
inline void PutU16be(std::vector<std::uint8_t>& out, unsigned v) {
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}
inline void PutU32be(std::vector<std::uint8_t>& out, std::uint32_t v) {
  PutU16be(out, v >> 16);
  PutU16be(out, v & 0xFFFF);
}
inline void PutU16le(std::vector<std::uint8_t>& out, unsigned v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void PutU32le(std::vector<std::uint8_t>& out, std::uint32_t v) {
  PutU16le(out, v & 0xFFFF);
  PutU16le(out, v >> 16);
}

}  // namespace mirelo::imaging
