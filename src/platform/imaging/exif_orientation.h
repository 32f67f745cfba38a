#pragma once

// EXIF/TIFF orientation (tag 0x0112): reading it from an APP1 "Exif" segment and applying it so
// that the picture comes out upright.

#include <cstdint>
#include <span>

#include "platform/imaging/image.h"

namespace mirelo::imaging::detail {

// Orientation 1..8 found in the payload of a JPEG APP1 segment (starting with "Exif\0\0");
// 1 when absent, malformed or out of range.
int ExifOrientation(std::span<const std::uint8_t> app1);

// True for orientations 5..8, which swap width and height.
inline bool OrientationSwapsAxes(int orientation) { return orientation >= 5 && orientation <= 8; }

// Rearranges the pixels (any pixel format) so that a picture stored with this orientation becomes
// upright; also swaps the resolutions for 5..8 (sourceWidth/Height are left to the reader). Values outside 2..8 leave the image as it is.
void ApplyOrientation(Image& image, int orientation);

}  // namespace mirelo::imaging::detail
