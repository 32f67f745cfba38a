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

// Runs a program (no shell), its output discarded; true when it exits with 0.
bool RunTool(const std::vector<std::string>& argv);

// True when the program is on the PATH.
bool HasTool(const std::string& name);

// A small DNG as a camera would write it: 16-bit sensor data, either linear RGB (LinearRaw) or
// behind an RGGB colour filter array (CFA), of a red ramp across, a green ramp down and constant
// blue (sRGB primaries, neutral white balance), with an Orientation tag; with a preview, IFD0 holds the preview (a baseline JPEG) and the
// sensor data sits in a sub-IFD.
struct DngSpec {
  int width = 96;
  int height = 64;
  int orientation = 1;
  bool cfa = false;
  std::vector<std::uint8_t> previewJpeg;
  int previewWidth = 0, previewHeight = 0;  // the JPEG's stored size
};
std::vector<std::uint8_t> MakeDng(const DngSpec& spec);

// Horizontal and vertical resolution in dots per inch as ImageMagick reads them; {-1, -1} on failure.
std::pair<double, double> MagickDpi(const std::filesystem::path& file);

}  // namespace mirelo::test
