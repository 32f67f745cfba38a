#include "platform/imaging/imaging_control.h"

#include <cmath>
#include <limits>
#include <new>
#include <string>

#include "platform/error.h"
#include "platform/imaging/codec_common.h"
#include "platform/imaging/codecs.h"
#include "platform/imaging/file_io.h"
#include "platform/imaging/operations.h"

namespace mirelo::imaging {
namespace {

// "Out of memory": a picture within our limits that still does not fit.
constexpr std::int32_t kOutOfMemory = 7;

[[noreturn]] void Invalid(const std::string& what) { throw Error(err::kInvalidPropertyValue, what); }

// Sizes and coordinates arrive as floating-point numbers holding whole values; a fraction goes to
// the nearest whole number, a half to the even one.
int ToInt(float value, const char* what) {
  if (!std::isfinite(value)) Invalid(std::string(what) + ": not a number");
  const double rounded = std::nearbyint(double(value));
  if (rounded < std::numeric_limits<int>::min() || rounded > std::numeric_limits<int>::max()) {
    throw Error(err::kOverflow, std::string(what) + ": overflow");
  }
  return int(rounded);
}

// A size for a new or resized picture: positive and within the limits we can hold.
Size ToSize(float width, float height, const char* what) {
  const int w = ToInt(width, what), h = ToInt(height, what);
  if (w <= 0 || h <= 0) Invalid(std::string(what) + ": size must be positive");
  if (w > kMaxSide || h > kMaxSide || std::int64_t(w) * h > kMaxPixels) Invalid(std::string(what) + ": too large");
  return {w, h};
}

void RequireImage(const Image& image, const char* operation) {
  if (image.empty()) Invalid(std::string(operation) + ": no image");
}

}  // namespace

void ImagingControl::Load(const std::filesystem::path& path, const LoadOptions& options) {
  if (path.empty()) {
    image_ = Image{};
    throw Error(err::kFileNotFound, "empty path");
  }
  try {
    detail::PictureFile file(path);
    std::uint8_t head[8];
    if (file.Peek(head, sizeof head) == sizeof head && IsPng(head)) {
      // PNG is read in one pass from start to end: straight from the file.
      image_ = detail::ReadPngFile(file, options);
    } else {
      const detail::FileBytes bytes = file.ReadAll();
      image_ = DecodeImage(bytes.view(), options);
    }
  } catch (const std::bad_alloc&) {
    throw Error(kOutOfMemory, path.string() + ": out of memory");
  }
}

void ImagingControl::LoadFromMemory(std::span<const std::uint8_t> bytes, const LoadOptions& options) {
  try {
    image_ = DecodeImage(bytes, options);
  } catch (const std::bad_alloc&) {
    throw Error(kOutOfMemory, "out of memory");
  }
}

void ImagingControl::Trim(std::int16_t threshold) {
  RequireImage(image_, "trim");
  imaging::Trim(image_, threshold);
}

void ImagingControl::StretchContrast() {
  RequireImage(image_, "stretch contrast");
  imaging::StretchContrast(image_);
}

void ImagingControl::Resize(float width, float height, int mode) {
  RequireImage(image_, "resize");
  if (mode != 1) Invalid("resize: unknown mode " + std::to_string(mode));
  const Size size = ToSize(width, height, "resize");
  imaging::Resize(image_, size.width, size.height);
}

void ImagingControl::Sharpen(std::int16_t strength) {
  RequireImage(image_, "sharpen");
  imaging::Sharpen(image_, strength);
}

void ImagingControl::Grayscale(int bitsPerPixel) {
  RequireImage(image_, "grayscale");
  if (bitsPerPixel != 8) Invalid("grayscale: unsupported bits per pixel " + std::to_string(bitsPerPixel));
  ToGrayscale(image_);
}

void ImagingControl::ColorResolution(int bitsPerPixel, int paletteOption, int dithering, int colorCount) {
  RequireImage(image_, "colour resolution");
  if (paletteOption != palette::kOptimized && paletteOption != palette::kFixed4 && paletteOption != palette::kFixed) {
    Invalid("colour resolution: unknown palette option " + std::to_string(paletteOption));
  }
  if (dithering != 0) Invalid("colour resolution: dithering is not offered");
  if (colorCount != 0) Invalid("colour resolution: colour count must be 0 (all)");
  if (bitsPerPixel == 24) {
    ChangeColorResolution(image_, 24, paletteOption);
  } else if (bitsPerPixel == 8) {
    // Option 4 names no palette of its own; at 8 bits it means the fixed one.
    ChangeColorResolution(image_, 8, paletteOption == palette::kOptimized ? palette::kOptimized : palette::kFixed);
  } else {
    Invalid("colour resolution: unsupported bits per pixel " + std::to_string(bitsPerPixel));
  }
}

void ImagingControl::CreateBlank(float width, float height, int bitsPerPixel) {
  if (bitsPerPixel != 24) Invalid("create blank: unsupported bits per pixel " + std::to_string(bitsPerPixel));
  const Size size = ToSize(width, height, "create blank");
  try {
    image_ = Image::blank(size.width, size.height);
  } catch (const std::bad_alloc&) {
    throw Error(kOutOfMemory, "create blank: out of memory");
  }
}

void ImagingControl::Combine(float destLeft, float destTop, float destWidth, float destHeight, const Image& source,
                             float sourceLeft, float sourceTop, std::int32_t operation) {
  if (operation != kCombineCopy) Invalid("combine: unknown operation " + std::to_string(operation));
  RequireImage(image_, "combine");
  const int dl = ToInt(destLeft, "combine"), dt = ToInt(destTop, "combine");
  const int dw = ToInt(destWidth, "combine"), dh = ToInt(destHeight, "combine");
  const int sl = ToInt(sourceLeft, "combine"), st = ToInt(sourceTop, "combine");
  if (dw < 0 || dh < 0) Invalid("combine: negative rectangle");
  if (source.empty()) return;
  if (&source == &image_) {
    const Image copy = source;  // combining an image into itself reads the unchanged pixels
    CombineCopy(image_, dl, dt, dw, dh, copy, sl, st);
  } else {
    CombineCopy(image_, dl, dt, dw, dh, source, sl, st);
  }
}

void ImagingControl::SetDpiX(std::int16_t dpi) {
  if (dpi < 0) Invalid("resolution: negative");
  image_.dpiX = dpi;
}

void ImagingControl::SetDpiY(std::int16_t dpi) {
  if (dpi < 0) Invalid("resolution: negative");
  image_.dpiY = dpi;
}

void ImagingControl::SetProgressive(std::int16_t value) {
  if (value != 0 && value != 8) Invalid("progressive: unknown value " + std::to_string(value));
  progressive_ = value == 8;
}

std::vector<std::uint8_t> ImagingControl::Encode(int formatCode, int bitsPerPixel, std::int16_t qualityFactor) const {
  SaveParams params;
  params.bitsPerPixel = bitsPerPixel;
  params.qualityFactor = qualityFactor;
  params.progressive = progressive_;
  auto requireBits = [&](std::initializer_list<int> allowed) {
    for (int b : allowed) {
      if (b == bitsPerPixel) return;
    }
    Invalid("save: unsupported bits per pixel " + std::to_string(bitsPerPixel));
  };
  auto encode = [&]() -> std::vector<std::uint8_t> {
    switch (formatCode) {
      case format::kJpeg: requireBits({24}); RequireImage(image_, "save"); return WriteJpeg(image_, params);
      case format::kPng: requireBits({24}); RequireImage(image_, "save"); return WritePng(image_, params);
      case format::kGif: requireBits({8}); RequireImage(image_, "save"); return WriteGif(image_, params);
      case format::kPict: requireBits({24}); RequireImage(image_, "save"); return WritePict(image_, params);
      case format::kBmp: requireBits({8, 24}); RequireImage(image_, "save"); return WriteBmp(image_, params);
      case format::kWebp: requireBits({24}); RequireImage(image_, "save"); return WriteWebp(image_, params);
      default: Invalid("save: unknown format code " + std::to_string(formatCode));
    }
  };
  try {
    return encode();
  } catch (const std::bad_alloc&) {
    throw Error(kOutOfMemory, "save: out of memory");
  }
}

void ImagingControl::Save(const std::filesystem::path& path, int formatCode, int bitsPerPixel,
                          std::int16_t qualityFactor, int multiPage, CreateMode mode) const {
  if (multiPage != 0) Invalid("save: only single-image files are written");
  const std::vector<std::uint8_t> bytes = Encode(formatCode, bitsPerPixel, qualityFactor);
  WriteFileBytes(path, bytes, mode);
}

}  // namespace mirelo::imaging
