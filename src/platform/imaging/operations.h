#pragma once

// Pixel operations of ImagingControl as free functions on Image. One operation family per
// source file (op_<name>.cpp). Invalid arguments throw mirelo::Error 380.

#include <cstdint>

#include "platform/imaging/image.h"

namespace mirelo::imaging {

Image ToRgb24(const Image& image);  // any format to Rgb24 (palette expanded, grey replicated)
void Trim(Image& image, std::int16_t threshold);
void StretchContrast(Image& image);
void Resize(Image& image, int width, int height);
void Sharpen(Image& image, std::int16_t strength);
void ToGrayscale(Image& image);
// bitsPerPixel 24 or 8; paletteOption 2 (optimised) or 8 (fixed) for 8 bits.
void ChangeColorResolution(Image& image, int bitsPerPixel, int paletteOption);
const Rgb* FixedPalette();  // 256 entries
void CombineCopy(Image& dest, int destLeft, int destTop, int destWidth, int destHeight, const Image& source,
                 int sourceLeft, int sourceTop);

}  // namespace mirelo::imaging
