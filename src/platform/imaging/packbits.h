#pragma once

// PackBits run-length coding as Macintosh PICT uses it, on bytes or on 16-bit words.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace mirelo::imaging {

// Expands `packed` into `out` (unit 1: bytes, unit 2: big-endian words). Returns the number of
// bytes written; throws 20009 when a run would pass the end of `out` or the input ends inside a
// run. Input left over after `out` is full is ignored only when it is a single pad byte.
std::size_t UnpackBits(std::span<const std::uint8_t> packed, std::span<std::uint8_t> out, int unit = 1);

// Appends the PackBits form of `in` (bytes) to `out`.
void PackBits(std::span<const std::uint8_t> in, std::vector<std::uint8_t>& out);

}  // namespace mirelo::imaging
