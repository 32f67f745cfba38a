#pragma once

// The per-format readers and writers behind ImagingControl. One format per source file
// (codec_<format>.cpp). Readers throw mirelo::Error 20009 for a corrupt, truncated or
// unsupported file and check the size limits of image.h before allocating.

#include <cstdint>
#include <span>
#include <vector>

#include "platform/imaging/image.h"

namespace mirelo::imaging {

using Bytes = std::span<const std::uint8_t>;

struct SaveParams {
  int bitsPerPixel = 24;
  std::int16_t qualityFactor = 2;  // 2 (best) .. 255 (worst)
  bool progressive = false;
};

// Content sniffing; each looks only at the first bytes.
bool IsJpeg(Bytes data);
bool IsPng(Bytes data);
bool IsGif(Bytes data);
bool IsTiff(Bytes data);
bool IsBmp(Bytes data);
bool IsPict(Bytes data);  // with or without the 512-byte preamble
bool IsHeif(Bytes data);  // ISO-BMFF with a HEIF or AVIF brand (not a clip)
bool IsWebp(Bytes data);
bool IsJxl(Bytes data);  // bare codestream or container
// Camera RAW: its own signatures, or a TIFF structure with sensor data (DNG, NEF, CR2, ARW ...).
bool IsCameraRaw(Bytes data);

Image ReadJpeg(Bytes data, const LoadOptions& options);
Image ReadPng(Bytes data, const LoadOptions& options);
Image ReadGif(Bytes data, const LoadOptions& options);
Image ReadTiff(Bytes data, const LoadOptions& options);
Image ReadBmp(Bytes data, const LoadOptions& options);
Image ReadPict(Bytes data, const LoadOptions& options);
Image ReadHeif(Bytes data, const LoadOptions& options);  // HEIC/HEIF and AVIF
// An AVIF whose properties pick an operating point or a layer ('a1op', 'lsel'), which libheif
// does not honour: read by ReadLayeredAvif through libavif instead.
bool AvifSelectsLayer(Bytes data);
Image ReadLayeredAvif(Bytes data);
Image ReadWebp(Bytes data, const LoadOptions& options);
Image ReadJxl(Bytes data, const LoadOptions& options);
// Camera RAW in the decoder process of raw_decoder.h; ReadRawInProcess is what that process runs
// (and what the fuzz target drives), never to be called on a file in the program itself.
Image ReadRaw(Bytes data, const LoadOptions& options);
Image ReadRawInProcess(Bytes data, const LoadOptions& options);

// Sniffs and dispatches; 20009 when no reader claims the data.
Image DecodeImage(Bytes data, const LoadOptions& options = {});

std::vector<std::uint8_t> WriteJpeg(const Image& image, const SaveParams& params);
std::vector<std::uint8_t> WritePng(const Image& image, const SaveParams& params);
std::vector<std::uint8_t> WriteGif(const Image& image, const SaveParams& params);
std::vector<std::uint8_t> WritePict(const Image& image, const SaveParams& params);
std::vector<std::uint8_t> WriteBmp(const Image& image, const SaveParams& params);
std::vector<std::uint8_t> WriteWebp(const Image& image, const SaveParams& params);  // lossy

}  // namespace mirelo::imaging
