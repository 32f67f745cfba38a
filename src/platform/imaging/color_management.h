#pragma once

// Embedded ICC profiles converted to sRGB with Little CMS. A profile that cannot be used (corrupt,
// of another colour space than the pixels) is ignored: the pixels are then taken as they are,
// which is what a viewer without colour management would show.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "platform/imaging/image.h"

namespace mirelo::imaging::detail {

// Converts an Rgb24 or Gray8 image in place from the profile's space to sRGB. Returns false when
// the profile was not applied. Profiles that describe sRGB itself are skipped (no rounding drift).
bool ConvertToSrgb(Image& image, std::span<const std::uint8_t> icc);

// A CMYK (4 bytes a pixel) to sRGB (3 bytes a pixel) transform built from an embedded profile.
// `inverted`: the samples are stored inverted (0 = full ink), as Adobe writes CMYK JPEGs.
class CmykTransform {
 public:
  // Null when the profile is missing, unusable or not a CMYK profile.
  static std::unique_ptr<CmykTransform> Create(std::span<const std::uint8_t> icc, bool inverted);
  ~CmykTransform();
  CmykTransform(const CmykTransform&) = delete;
  CmykTransform& operator=(const CmykTransform&) = delete;

  void Apply(const std::uint8_t* cmyk, std::uint8_t* rgb, std::size_t pixels) const;

 private:
  CmykTransform() = default;
  void* context_ = nullptr;
  void* transform_ = nullptr;
};

// CMYK without a profile, as simple viewers do: R = (1 − C)(1 − K) and so on.
void NaiveCmykToRgb(const std::uint8_t* cmyk, std::uint8_t* rgb, std::size_t pixels, bool inverted);

}  // namespace mirelo::imaging::detail
