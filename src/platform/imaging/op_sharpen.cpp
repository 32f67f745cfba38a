// Sharpen (positive strength) and smooth (negative strength), strength -1000..1000.
//
// Both use a Gaussian whose taps are the integrals of the continuous Gaussian over each pixel, so
// the kernel changes smoothly with sigma and tends to "no change" as sigma goes to 0.
// - Positive: unsharp mask with sigma 1 px and amount = strength / 250, i.e. up to 4 at 1000;
//   the usual amounts 0.5..1.5 sit at 125..375.
// - Negative: Gaussian blur with sigma = 2.5 * sqrt(|strength| / 1000) px. The square root puts
//   visible change early on the slider (-10 already softens slightly, -100 clearly, -1000 is a
//   strong 2.5 px blur) instead of wasting its first part on sub-pixel sigmas.
// - 0 returns without touching the image. Strengths beyond +-1000 (a hand-edited settings file)
//   count as +-1000. Palette images are converted to RGB first; grey stays grey.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/imaging/op_internal.h"
#include "platform/imaging/operations.h"

namespace mirelo::imaging {

namespace {

using detail::kBits;
using detail::kHalf;
using detail::kOne;
using detail::Store;
constexpr double kSharpenSigma = 1.0;
constexpr int kAmountDivisor = 250;
constexpr double kMaxBlurSigma = 2.5;

// Taps -radius..radius, fixed point (16 bits so the loops use 16 x 16-bit products), summing to
// exactly kOne.
std::vector<std::int16_t> GaussianKernel(double sigma) {
  const int radius = std::max(1, static_cast<int>(std::ceil(3.0 * sigma)));
  std::vector<std::int16_t> kernel(static_cast<std::size_t>(2 * radius + 1));
  const double scale = 1.0 / (sigma * std::sqrt(2.0));
  std::int32_t total = 0;
  for (int k = -radius; k <= radius; ++k) {
    const double w = 0.5 * (std::erf((k + 0.5) * scale) - std::erf((k - 0.5) * scale));
    const auto fixed = static_cast<std::int16_t>(std::lround(w * kOne));
    kernel[static_cast<std::size_t>(k + radius)] = fixed;
    total += fixed;
  }
  kernel[static_cast<std::size_t>(radius)] = static_cast<std::int16_t>(kernel[static_cast<std::size_t>(radius)] + kOne - total);
  return kernel;
}


// Separable blur with edge pixels repeated; returns a buffer of the image's layout.
template <int C>
std::vector<std::uint8_t> Blur(const Image& image, const std::vector<std::int16_t>& kernel) {
  const int radius = static_cast<int>(kernel.size() / 2);
  const int width = image.width;
  const int height = image.height;
  if (width <= 0 || height <= 0) return {};
  const std::size_t rowLen = static_cast<std::size_t>(width) * C;
  const std::int16_t* w = kernel.data() + radius;  // w[-radius..radius]

  // Horizontal: a row padded with repeated edge pixels makes every tap in range, and each tap
  // becomes one shifted pass over the whole row, like the vertical pass.
  std::vector<std::uint8_t> across(rowLen * static_cast<std::size_t>(height));
  std::vector<std::uint8_t> padded((static_cast<std::size_t>(width) + 2 * static_cast<std::size_t>(radius)) * C);
  std::vector<std::int32_t> sums(rowLen);
  std::int32_t* sum = sums.data();
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* in = image.row(y);
    for (int x = -radius; x < width + radius; ++x) {
      const int sx = std::clamp(x, 0, width - 1);
      for (int c = 0; c < C; ++c)
        padded[static_cast<std::size_t>(x + radius) * C + static_cast<std::size_t>(c)] =
            in[static_cast<std::size_t>(sx) * C + static_cast<std::size_t>(c)];
    }
    std::fill(sums.begin(), sums.end(), kHalf);
    for (int k = -radius; k <= radius; ++k) {
      const std::uint8_t* p = padded.data() + static_cast<std::size_t>(k + radius) * C;
      const std::int16_t wk = w[k];
      for (std::size_t i = 0; i < rowLen; ++i) sum[i] += wk * static_cast<std::int16_t>(p[i]);
    }
    std::uint8_t* out = across.data() + rowLen * static_cast<std::size_t>(y);
    for (std::size_t i = 0; i < rowLen; ++i) out[i] = Store(sum[i]);
  }

  // Vertical: whole rows at a time.
  std::vector<std::uint8_t> result(across.size());
  std::vector<std::int32_t> acc(rowLen);
  std::int32_t* a = acc.data();
  for (int y = 0; y < height; ++y) {
    std::fill(acc.begin(), acc.end(), kHalf);
    for (int k = -radius; k <= radius; ++k) {
      const int sy = std::clamp(y + k, 0, height - 1);
      const std::uint8_t* in = across.data() + rowLen * static_cast<std::size_t>(sy);
      const std::int16_t wk = w[k];
      for (std::size_t i = 0; i < rowLen; ++i) a[i] += wk * static_cast<std::int16_t>(in[i]);
    }
    std::uint8_t* out = result.data() + rowLen * static_cast<std::size_t>(y);
    for (std::size_t i = 0; i < rowLen; ++i) out[i] = Store(a[i]);
  }
  return result;
}

std::vector<std::uint8_t> Blur(const Image& image, double sigma) {
  const auto kernel = GaussianKernel(sigma);
  return image.format == PixelFormat::Gray8 ? Blur<1>(image, kernel) : Blur<3>(image, kernel);
}

}  // namespace

void Sharpen(Image& image, std::int16_t strength) {
  if (strength == 0 || image.empty()) return;
  detail::CheckPixels(image);
  detail::ExpandPalette(image);
  const int s = std::clamp<int>(strength, -1000, 1000);
  const std::size_t count = image.stride() * static_cast<std::size_t>(image.height);
  if (s < 0) {
    const double sigma = kMaxBlurSigma * std::sqrt(-s / 1000.0);
    auto blurred = Blur(image, sigma);
    blurred.resize(count);
    image.pixels = std::move(blurred);
    return;
  }
  const auto blurred = Blur(image, kSharpenSigma);
  std::uint8_t* p = image.pixels.data();
  const std::uint8_t* b = blurred.data();
  constexpr int half = kAmountDivisor / 2;
  for (std::size_t i = 0; i < count; ++i) {
    const int q = s * (p[i] - b[i]);
    const int delta = q >= 0 ? (q + half) / kAmountDivisor : -((half - q) / kAmountDivisor);
    p[i] = detail::ClampByte(p[i] + delta);
  }
}

}  // namespace mirelo::imaging
