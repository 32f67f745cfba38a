#include "platform/error.h"
#include "platform/imaging/codec_common.h"
#include "platform/imaging/codecs.h"

namespace mirelo::imaging {
namespace {

// Whatever a reader returns is checked once more here, so that no caller ever sees a picture
// whose buffer disagrees with its size or whose indices point past its palette.
void Validate(Image& image) {
  detail::CheckDimensions(image.width, image.height, "decoded picture");
  if (image.pixels.size() != image.stride() * static_cast<std::size_t>(image.height)) {
    throw Error(err::kInvalidFileFormat, "decoded picture: buffer size mismatch");
  }
  if (image.format == PixelFormat::Palette8) {
    if (image.palette.empty() || image.palette.size() > 256) {
      throw Error(err::kInvalidFileFormat, "decoded picture: bad palette");
    }
    image.palette.resize(256);  // indices past the file's palette read as black
  }
  if (image.sourceWidth <= 0 || image.sourceHeight <= 0) {
    image.sourceWidth = image.width;
    image.sourceHeight = image.height;
  }
  if (!(image.dpiX > 0) || !(image.dpiY > 0)) image.dpiX = image.dpiY = 96.0;
}

}  // namespace

Image DecodeImage(Bytes data, const LoadOptions& options) {
  Image image;
  // Strong signatures first; PICT has none worth the name (a 512-byte preamble of anything,
  // then a size and a frame), so it is tried last.
  if (IsJpeg(data)) {
    image = ReadJpeg(data, options);
  } else if (IsPng(data)) {
    image = ReadPng(data, options);
  } else if (IsGif(data)) {
    image = ReadGif(data, options);
  } else if (IsCameraRaw(data)) {
    // Before TIFF: most RAWs are TIFF-structured, and libtiff would read only their first IFD
    // (often a small preview). CR3 is ISO-BMFF, so this also comes before HEIF.
    image = ReadRaw(data, options);
  } else if (IsHeif(data)) {
    image = ReadHeif(data, options);
  } else if (IsWebp(data)) {
    image = ReadWebp(data, options);
  } else if (IsJxl(data)) {
    image = ReadJxl(data, options);
  } else if (IsTiff(data)) {
    image = ReadTiff(data, options);
  } else if (IsBmp(data)) {
    image = ReadBmp(data, options);
  } else if (IsPict(data)) {
    image = ReadPict(data, options);
  } else {
    throw Error(err::kInvalidFileFormat, "unknown picture format");
  }
  Validate(image);
  return image;
}

}  // namespace mirelo::imaging
