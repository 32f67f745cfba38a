#pragma once

// Shrink-on-load for decoders that deliver rows one at a time: each k by k block of the picture
// becomes the rounded mean of its pixels, so the full-size picture is never held. The last block
// of a row or column may be partial and is averaged over the pixels it holds (the same box filter
// as the resize's own block pre-shrink).

#include <algorithm>
#include <cstddef>
#include <cstdint>
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
  // `out` holds ShrunkSide(width) x ShrunkSide(height) pixels of `channels` bytes, rows packed.
  // Allocates; call before any noexcept decoding loop.
  void Start(int width, int height, int channels, int factor, std::uint8_t* out) {
    width_ = width;
    height_ = height;
    channels_ = channels;
    factor_ = factor;
    outWidth_ = ShrunkSide(width, factor);
    out_ = out;
    row_ = 0;
    sums_.assign(std::size_t(outWidth_) * std::size_t(channels), 0);
  }

  // The next source row, `width * channels` bytes.
  void AddRow(const std::uint8_t* in) noexcept {
    std::uint64_t* sum = sums_.data();
    for (int x0 = 0; x0 < width_; x0 += factor_) {
      const int x1 = std::min(x0 + factor_, width_);
      for (int c = 0; c < channels_; ++c) {
        // A block row holds at most 32767 samples of 255: well within 32 bits.
        std::uint32_t total = 0;
        const std::uint8_t* p = in + std::size_t(x0) * std::size_t(channels_) + std::size_t(c);
        for (int x = x0; x < x1; ++x, p += channels_) total += *p;
        sum[c] += total;
      }
      sum += channels_;
    }
    ++row_;
    if (row_ % factor_ == 0 || row_ == height_) Emit();
  }

 private:
  void Emit() noexcept {
    const int blockRow = (row_ - 1) / factor_;
    const int rows = row_ - blockRow * factor_;
    std::uint8_t* out = out_ + std::size_t(blockRow) * std::size_t(outWidth_) * std::size_t(channels_);
    for (int ox = 0; ox < outWidth_; ++ox) {
      const int columns = std::min(factor_, width_ - ox * factor_);
      const std::uint64_t n = std::uint64_t(columns) * std::uint64_t(rows);
      for (int c = 0; c < channels_; ++c) {
        std::uint64_t& s = sums_[std::size_t(ox) * std::size_t(channels_) + std::size_t(c)];
        out[std::size_t(ox) * std::size_t(channels_) + std::size_t(c)] = std::uint8_t((s + n / 2) / n);
        s = 0;
      }
    }
  }

  int width_ = 0, height_ = 0, channels_ = 0, factor_ = 1, outWidth_ = 0, row_ = 0;
  std::uint8_t* out_ = nullptr;
  std::vector<std::uint64_t> sums_;
};

}  // namespace mirelo::imaging::detail
