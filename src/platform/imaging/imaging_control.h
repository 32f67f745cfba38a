#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "platform/imaging/image.h"

namespace mirelo::imaging {

// Format codes of the save operation.
namespace format {
inline constexpr int kGif = 2;
inline constexpr int kBmp = 6;
inline constexpr int kJpeg = 10;
inline constexpr int kPict = 56;
inline constexpr int kPng = 75;
inline constexpr int kWebp = 80;  // lossy; no resolution is stored
}  // namespace format

// Palette options of the colour resolution change.
namespace palette {
inline constexpr int kOptimized = 2;  // optimised from the colours used
inline constexpr int kFixed4 = 4;     // no palette (24 bits): what the pipeline passes for 24 bits
inline constexpr int kFixed = 8;      // the fixed system palette
}  // namespace palette

inline constexpr std::int32_t kCombineCopy = 288;

// How Save treats an existing file. The naming code relies on exclusive creation; replacing a
// file has to be asked for.
enum class CreateMode { Exclusive, Replace };

// One image buffer with the operations the pipeline uses. Every failing operation throws
// mirelo::Error with the program's numbers (20007 unreadable, 20009 invalid format, 20010 not
// found, 380 invalid argument). Not thread-safe; one instance per thread.
class ImagingControl {
 public:
  // First image or page of the file; format detected by content, not by name.
  // An empty path empties the instance and throws 20010.
  void Load(const std::filesystem::path& path, const LoadOptions& options = {});
  void LoadFromMemory(std::span<const std::uint8_t> bytes, const LoadOptions& options = {});

  float Width() const { return static_cast<float>(image_.width); }
  float Height() const { return static_cast<float>(image_.height); }

  void Trim(std::int16_t threshold);
  void StretchContrast();
  void Resize(float width, float height, int mode = 1);
  void Sharpen(std::int16_t strength);
  void Grayscale(int bitsPerPixel = 8);
  void ColorResolution(int bitsPerPixel, int paletteOption, int dithering = 0, int colorCount = 0);
  const Image& GetImage() const { return image_; }
  void PutImage(const Image& image) { image_ = image; }
  void PutImage(Image&& image) { image_ = std::move(image); }
  void CreateBlank(float width, float height, int bitsPerPixel = 24);
  void Combine(float destLeft, float destTop, float destWidth, float destHeight, const Image& source,
               float sourceLeft, float sourceTop, std::int32_t operation);
  void SetDpiX(std::int16_t dpi);
  void SetDpiY(std::int16_t dpi);
  void SetProgressive(std::int16_t value);  // 0 baseline, 8 progressive
  bool Progressive() const { return progressive_; }

  // Encodes the image in memory (format codes above), and Save writes those bytes.
  std::vector<std::uint8_t> Encode(int formatCode, int bitsPerPixel, std::int16_t qualityFactor) const;
  void Save(const std::filesystem::path& path, int formatCode, int bitsPerPixel, std::int16_t qualityFactor,
            int multiPage = 0, CreateMode mode = CreateMode::Exclusive) const;

 private:
  Image image_;
  bool progressive_ = false;
};

// Writes bytes to a new file. Exclusive: fails with 58 when any entry of that name exists.
// Write failures map to 76 (folder missing) or 20007 (any other I/O failure); a partly written
// file is removed.
void WriteFileBytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes, CreateMode mode);

}  // namespace mirelo::imaging
