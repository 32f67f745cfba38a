#include "platform/imaging/packbits.h"

#include <algorithm>

#include "platform/imaging/byte_reader.h"

namespace mirelo::imaging {

std::size_t UnpackBits(std::span<const std::uint8_t> packed, std::span<std::uint8_t> out, int unit) {
  const std::size_t u = unit == 2 ? 2 : 1;
  std::size_t in = 0, o = 0;
  while (in < packed.size()) {
    if (o == out.size()) {
      // Some writers leave one byte of padding after a full row; anything more is a lie.
      if (packed.size() - in <= 1) break;
      ThrowCorrupt("PackBits data runs past the row");
    }
    const int n = static_cast<std::int8_t>(packed[in++]);
    if (n >= 0) {
      const std::size_t count = static_cast<std::size_t>(n + 1) * u;
      if (count > packed.size() - in) ThrowCorrupt("PackBits literal is truncated");
      if (count > out.size() - o) ThrowCorrupt("PackBits literal runs past the row");
      std::copy_n(packed.begin() + static_cast<std::ptrdiff_t>(in), count,
                  out.begin() + static_cast<std::ptrdiff_t>(o));
      in += count;
      o += count;
    } else if (n != -128) {  // -128 is a no-op by definition
      const std::size_t repeat = static_cast<std::size_t>(1 - n);
      if (u > packed.size() - in) ThrowCorrupt("PackBits run is truncated");
      if (repeat * u > out.size() - o) ThrowCorrupt("PackBits run runs past the row");
      for (std::size_t r = 0; r < repeat; ++r) {
        for (std::size_t k = 0; k < u; ++k) out[o++] = packed[in + k];
      }
      in += u;
    }
  }
  return o;
}

void PackBits(std::span<const std::uint8_t> in, std::vector<std::uint8_t>& out) {
  std::size_t i = 0;
  const std::size_t n = in.size();
  while (i < n) {
    // A run of at least three equal bytes is worth a repeat packet.
    std::size_t run = 1;
    while (i + run < n && run < 128 && in[i + run] == in[i]) ++run;
    if (run >= 3) {
      out.push_back(static_cast<std::uint8_t>(257 - run));
      out.push_back(in[i]);
      i += run;
      continue;
    }
    // Literal packet up to the next run of three.
    std::size_t start = i;
    std::size_t len = 0;
    while (i < n && len < 128) {
      if (i + 2 < n && in[i] == in[i + 1] && in[i] == in[i + 2]) break;
      ++i;
      ++len;
    }
    out.push_back(static_cast<std::uint8_t>(len - 1));
    out.insert(out.end(), in.begin() + static_cast<std::ptrdiff_t>(start),
               in.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

}  // namespace mirelo::imaging
