#pragma once

// Fixtures shared by the codec tests: synthetic pictures and files written by ImageMagick.

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/imaging/image.h"

namespace mirelo::test {

// A deterministic RGB picture with smooth ramps, hard edges and fine detail.
imaging::Image SyntheticPicture(int width, int height);

// Writes bytes to a file, replacing it.
void WriteBytes(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes);

// A JPEG with an EXIF APP1 segment carrying this orientation inserted after its start marker.
std::vector<std::uint8_t> WithExifOrientation(const std::vector<std::uint8_t>& jpeg, int orientation,
                                              bool bigEndian);

// An ICC profile made with Little CMS: "adobe" (Adobe RGB 1998), "srgb", "cmyk" (a made-up
// printing profile that brightens noticeably against the naive conversion), "gray-linear".
std::vector<std::uint8_t> MakeProfile(const std::string& which);

// Horizontal and vertical resolution in dots per inch as ImageMagick reads them; {-1, -1} on failure.
std::pair<double, double> MagickDpi(const std::filesystem::path& file);

}  // namespace mirelo::test
