#pragma once

// Fixtures for today's still formats: the formats' own command-line tools, and DNG files written
// here (no camera RAW encoder is packaged).

#include <cstdint>
#include <string>
#include <vector>

namespace mirelo::test {

// Runs a program (no shell), its output discarded; true when it exits with 0.
bool RunTool(const std::vector<std::string>& argv);

// True when the program is on the PATH.
bool HasTool(const std::string& name);

// A small DNG as a camera would write it: 16-bit sensor data, either linear RGB (LinearRaw) or
// behind an RGGB colour filter array (CFA), of a red ramp across, a green ramp down and constant
// blue (sRGB primaries, neutral white balance), with an Orientation tag. With a preview, IFD0
// holds the preview (a baseline JPEG) and the sensor data sits in a sub-IFD.
struct DngSpec {
  int width = 96;
  int height = 64;
  int orientation = 1;
  bool cfa = false;
  std::vector<std::uint8_t> previewJpeg;
  int previewWidth = 0, previewHeight = 0;  // the JPEG's stored size
};
std::vector<std::uint8_t> MakeDng(const DngSpec& spec);

}  // namespace mirelo::test
