// Combine, operation 288 (copy): each destination pixel (x, y) inside the destination rectangle
// and inside the destination image takes the source pixel
// (sourceLeft + x - destLeft, sourceTop + y - destTop) when that pixel lies inside the source;
// every other destination pixel keeps its value.
//
// The result is always RGB: a grey or palette destination (a frame picture loaded from a GIF,
// say) is converted first so that a colour source is not reduced to the destination's colours.
// Coordinates are intersected in 64-bit arithmetic, so no argument can overflow.

#include <algorithm>
#include <cstring>

#include "platform/imaging/op_internal.h"
#include "platform/imaging/operations.h"

namespace mirelo::imaging {

void CombineCopy(Image& dest, int destLeft, int destTop, int destWidth, int destHeight, const Image& source,
                 int sourceLeft, int sourceTop) {
  detail::CheckPixels(dest);
  detail::CheckPixels(source);
  // Copy when both are one image; converting the destination would change the source.
  const Image src = (&source == &dest || source.format != PixelFormat::Rgb24) ? ToRgb24(source) : Image{};
  const Image& from = (&source == &dest || source.format != PixelFormat::Rgb24) ? src : source;
  if (dest.format != PixelFormat::Rgb24) dest = ToRgb24(dest);
  if (dest.empty() || from.empty() || destWidth <= 0 || destHeight <= 0) return;

  // Destination columns that are in the rectangle, in the image and map into the source.
  const std::int64_t dx = std::int64_t{sourceLeft} - destLeft;  // source x = x + dx
  const std::int64_t dy = std::int64_t{sourceTop} - destTop;
  const std::int64_t x0 = std::max({std::int64_t{destLeft}, std::int64_t{0}, -dx});
  const std::int64_t x1 = std::min({std::int64_t{destLeft} + destWidth, std::int64_t{dest.width}, from.width - dx});
  const std::int64_t y0 = std::max({std::int64_t{destTop}, std::int64_t{0}, -dy});
  const std::int64_t y1 = std::min({std::int64_t{destTop} + destHeight, std::int64_t{dest.height}, from.height - dy});
  if (x0 >= x1 || y0 >= y1) return;

  const std::size_t bytes = static_cast<std::size_t>(x1 - x0) * 3;
  for (std::int64_t y = y0; y < y1; ++y) {
    const std::uint8_t* in = from.row(static_cast<int>(y + dy)) + static_cast<std::size_t>(x0 + dx) * 3;
    std::uint8_t* out = dest.row(static_cast<int>(y)) + static_cast<std::size_t>(x0) * 3;
    std::memcpy(out, in, bytes);
  }
}

}  // namespace mirelo::imaging
