#pragma once

// ImageMagick as an independent encoder and decoder for tests: fixtures are written with it and
// our output is read back with it.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/imaging/image.h"

namespace mirelo::test {

// Runs `convert` with the arguments (no shell); true when it exits with 0.
bool MagickConvert(const std::vector<std::string>& args);

// Decodes the first image of a file to 8-bit RGB with ImageMagick; nullopt when it fails.
std::optional<imaging::Image> MagickDecode(const std::filesystem::path& file);

// `identify -format FORMAT file[0]`, e.g. "%x %y %[jpeg:sampling-factor]"; empty on failure.
std::string MagickIdentify(const std::filesystem::path& file, const std::string& format);

// Peak signal-to-noise ratio of two RGB24 images of the same size (infinity when equal).
double Psnr(const imaging::Image& a, const imaging::Image& b);

// Largest per-channel difference of two images of the same size (both converted to RGB24).
int MaxChannelDifference(const imaging::Image& a, const imaging::Image& b);

// Reads a whole file.
std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& file);

}  // namespace mirelo::test
