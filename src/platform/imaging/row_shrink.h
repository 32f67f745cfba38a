#pragma once

// Shrink-on-load for decoders that deliver rows one at a time, so the full-size picture is never
// held. A whole factor k picks the reduced size, ceil(full / k) on each axis; each reduced pixel
// is then the exact area mean of the source region it stands for (full / reduced source pixels
// wide; pixels on its edges count by the fraction of them inside). When k divides the size that is the
// plain mean of k by k blocks. Partial edge blocks are not used: a last block that holds a
// sliver of the picture would stretch the reduced grid, and the resize that follows assumes its
// pixels are evenly spaced over the whole picture.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/imaging/image.h"

namespace mirelo::imaging::detail {

// The largest whole factor that keeps the picture at least `minimum` in both axes; 1 when none
// helps. The same factor on both axes keeps the picture's shape.
inline int ShrinkFactor(Size full, Size minimum) {
  const int mw = std::max(minimum.width, 1), mh = std::max(minimum.height, 1);
  return std::max(1, std::min(full.width / mw, full.height / mh));
}

inline int ShrunkSide(int full, int factor) { return (full + factor - 1) / factor; }

class RowShrinker {
 public:
  // `out` holds ShrunkSide(width, factor) x ShrunkSide(height, factor) pixels of `channels`
  // bytes, rows packed. Allocates; call before any noexcept decoding loop.
  void Start(int width, int height, int channels, int factor, std::uint8_t* out) {
    width_ = width;
    height_ = height;
    channels_ = channels;
    outWidth_ = ShrunkSide(width, factor);
    outHeight_ = ShrunkSide(height, factor);
    out_ = out;
    row_ = 0;
    outRow_ = 0;
    // Lengths are measured in units where a source pixel is outWidth_ long and a reduced pixel
    // width_ long, so every overlap is a whole number (likewise down the picture).
    spans_.resize(std::size_t(outWidth_));
    const std::int64_t n = outWidth_, full = width_;
    for (int o = 0; o < outWidth_; ++o) {
      const std::int64_t begin = o * full, end = begin + full;
      Span& s = spans_[std::size_t(o)];
      s.first = int(begin / n);
      s.last = int((end - 1) / n);
      s.firstWeight = std::uint32_t(std::min((s.first + 1) * n, end) - begin);
      s.lastWeight = std::uint32_t(end - std::max(s.last * n, begin));
    }
    const std::size_t samples = std::size_t(width) * std::size_t(channels);
    inner_.assign(samples, 0);
    edges_.assign(samples, 0);
  }

  // The next source row, `width * channels` bytes.
  void AddRow(const std::uint8_t* in) noexcept {
    // This row's share of the reduced row under way, and what is left of it for the next one.
    const std::int64_t n = outHeight_, full = height_;
    const std::int64_t rowBegin = row_ * n, rowEnd = rowBegin + n, outBegin = outRow_ * full;
    const std::int64_t outEnd = outBegin + full;
    const std::size_t samples = inner_.size();
    ++row_;
    if (rowBegin >= outBegin && rowEnd <= outEnd) {
      // Wholly inside: a plain column sum, which vectorises.
      std::uint32_t* inner = inner_.data();
      for (std::size_t i = 0; i < samples; ++i) inner[i] += in[i];
      if (rowEnd == outEnd) Emit();
      return;
    }
    const std::uint32_t here = std::uint32_t(outEnd - rowBegin), rest = std::uint32_t(rowEnd - outEnd);
    std::uint32_t* edges = edges_.data();
    for (std::size_t i = 0; i < samples; ++i) edges[i] += here * in[i];
    Emit();
    for (std::size_t i = 0; i < samples; ++i) edges[i] = rest * in[i];
  }

 private:
  struct Span {
    int first = 0, last = 0;
    std::uint32_t firstWeight = 0, lastWeight = 0;
  };

  // Column totals in area units are at most 255 x height, so 32 bits hold them; the row then
  // sums them across each span.
  void Emit() noexcept {
    const std::size_t c = std::size_t(channels_);
    const std::uint32_t rowUnit = std::uint32_t(outHeight_);
    for (std::size_t i = 0; i < inner_.size(); ++i) {
      edges_[i] += rowUnit * inner_[i];
      inner_[i] = 0;
    }
    const std::uint64_t columnUnit = std::uint64_t(outWidth_);
    const std::uint64_t area = std::uint64_t(width_) * std::uint64_t(height_);
    std::uint8_t* out = out_ + std::size_t(outRow_) * std::size_t(outWidth_) * c;
    for (int o = 0; o < outWidth_; ++o) {
      const Span& s = spans_[std::size_t(o)];
      const std::uint32_t* first = edges_.data() + std::size_t(s.first) * c;
      const std::uint32_t* last = edges_.data() + std::size_t(s.last) * c;
      for (std::size_t k = 0; k < c; ++k) {
        std::uint64_t total;
        if (s.first == s.last) {
          total = std::uint64_t(s.firstWeight) * first[k];
        } else {
          std::uint64_t middle = 0;
          for (const std::uint32_t* p = first + c + k; p < last; p += c) middle += *p;
          total = middle * columnUnit + std::uint64_t(s.firstWeight) * first[k] + std::uint64_t(s.lastWeight) * last[k];
        }
        out[std::size_t(o) * c + k] = std::uint8_t((total + area / 2) / area);
      }
    }
    std::fill(edges_.begin(), edges_.end(), 0);
    ++outRow_;
  }

  int width_ = 0, height_ = 0, channels_ = 0, outWidth_ = 0, outHeight_ = 0, row_ = 0, outRow_ = 0;
  std::uint8_t* out_ = nullptr;
  std::vector<Span> spans_;
  std::vector<std::uint32_t> inner_;  // sums of the rows wholly inside the reduced row under way
  std::vector<std::uint32_t> edges_;  // weighted rows on its edges; at emission, every row
};

}  // namespace mirelo::imaging::detail
