// WebP through libwebp: stills (lossy, lossless, with alpha) decoded straight, scaled while
// decoding when the caller allows it; animations through the animation decoder, whose first
// canvas is what a viewer shows first. The ICCP and EXIF chunks come from the demuxer.

#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/imaging/codec_common.h"
#include "platform/imaging/codecs.h"
#include "platform/imaging/color_management.h"
#include "platform/imaging/exif_orientation.h"

namespace mirelo::imaging {
namespace {

struct DemuxDelete {
  void operator()(WebPDemuxer* d) const { WebPDemuxDelete(d); }
};
struct AnimDelete {
  void operator()(WebPAnimDecoder* d) const { WebPAnimDecoderDelete(d); }
};
struct DecBufferFree {
  void operator()(WebPDecBuffer* b) const { WebPFreeDecBuffer(b); }
};

std::vector<std::uint8_t> Chunk(WebPDemuxer* demux, const char* fourcc) {
  WebPChunkIterator it;
  std::vector<std::uint8_t> bytes;
  if (WebPDemuxGetChunk(demux, fourcc, 1, &it)) {
    bytes.assign(it.chunk.bytes, it.chunk.bytes + it.chunk.size);
    WebPDemuxReleaseChunkIterator(&it);
  }
  return bytes;
}

// Writers disagree on whether the EXIF chunk starts with the "Exif\0\0" of a JPEG segment.
int Orientation(std::vector<std::uint8_t> exif) {
  static constexpr std::uint8_t kPrefix[6] = {'E', 'x', 'i', 'f', 0, 0};
  if (exif.size() < 6 || std::memcmp(exif.data(), kPrefix, 6) != 0)
    exif.insert(exif.begin(), kPrefix, kPrefix + 6);
  return detail::ExifOrientation(exif);
}

// Rows of 8-bit RGB or RGBA into an Rgb24 image, alpha onto white.
Image FromRgba(const std::uint8_t* pixels, int stride, int width, int height, bool alpha) {
  Image image = Image::blank(width, height);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* in = pixels + std::size_t(stride) * std::size_t(y);
    std::uint8_t* out = image.row(y);
    if (!alpha) {
      std::memcpy(out, in, std::size_t(width) * 3);
      continue;
    }
    for (int x = 0; x < width; ++x, in += 4, out += 3) {
      for (int c = 0; c < 3; ++c) out[c] = detail::OverWhite(in[c], in[3]);
    }
  }
  return image;
}

Image FirstFrame(Bytes data) {
  WebPData webp{data.data(), data.size()};
  WebPAnimDecoderOptions options;
  if (!WebPAnimDecoderOptionsInit(&options))
    detail::ThrowInvalidFormat("webp: animation decoder unavailable");
  options.color_mode = MODE_RGBA;
  options.use_threads = 0;
  std::unique_ptr<WebPAnimDecoder, AnimDelete> decoder(WebPAnimDecoderNew(&webp, &options));
  if (!decoder) detail::ThrowInvalidFormat("webp: bad animation");
  WebPAnimInfo info;
  if (!WebPAnimDecoderGetInfo(decoder.get(), &info) || info.frame_count < 1) {
    detail::ThrowInvalidFormat("webp: animation without frames");
  }
  std::uint8_t* canvas = nullptr;
  int timestamp = 0;
  if (!WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp) || !canvas) {
    detail::ThrowInvalidFormat("webp: cannot decode the first frame");
  }
  return FromRgba(canvas, int(info.canvas_width) * 4, int(info.canvas_width), int(info.canvas_height), true);
}

}  // namespace

bool IsWebp(Bytes data) {
  return data.size() >= 12 && std::memcmp(data.data(), "RIFF", 4) == 0 &&
         std::memcmp(data.data() + 8, "WEBP", 4) == 0;
}

Image ReadWebp(Bytes data, const LoadOptions& options) {
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(data.data(), data.size(), &features) != VP8_STATUS_OK) {
    detail::ThrowInvalidFormat("webp: bad header");
  }
  WebPData webp{data.data(), data.size()};
  // The whole file must be there: a cut file is refused here, before anything is decoded.
  std::unique_ptr<WebPDemuxer, DemuxDelete> demux(WebPDemux(&webp));
  if (!demux) detail::ThrowInvalidFormat("webp: truncated or damaged container");
  const int canvasWidth = int(WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH));
  const int canvasHeight = int(WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT));
  detail::CheckDimensions(canvasWidth, canvasHeight, "webp");
  detail::CheckDimensions(features.width, features.height, "webp");
  const std::vector<std::uint8_t> icc = Chunk(demux.get(), "ICCP");
  const int orientation = Orientation(Chunk(demux.get(), "EXIF"));
  const bool swap = detail::OrientationSwapsAxes(orientation);

  Image image;
  int fullWidth = 0, fullHeight = 0;
  if (features.has_animation) {
    image = FirstFrame(data);
    fullWidth = canvasWidth;
    fullHeight = canvasHeight;
  } else {
    fullWidth = features.width;
    fullHeight = features.height;
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) detail::ThrowInvalidFormat("webp: decoder unavailable");
    std::unique_ptr<WebPDecBuffer, DecBufferFree> output(&config.output);
    config.output.colorspace = features.has_alpha ? MODE_RGBA : MODE_RGB;
    if (options.minimumSize) {
      // The largest whole reduction that keeps the picture at least the size asked for; libwebp
      // averages the pixels of each step as it decodes.
      const Size upright = swap ? Size{fullHeight, fullWidth} : Size{fullWidth, fullHeight};
      const Size need = options.minimumSize(upright);
      int factor = 1;
      for (int k = 2; k <= std::min(fullWidth, fullHeight); ++k) {
        if ((upright.width + k - 1) / k < need.width || (upright.height + k - 1) / k < need.height) break;
        factor = k;
      }
      if (factor > 1) {
        config.options.use_scaling = 1;
        config.options.scaled_width = (fullWidth + factor - 1) / factor;
        config.options.scaled_height = (fullHeight + factor - 1) / factor;
      }
    }
    const VP8StatusCode status = WebPDecode(data.data(), data.size(), &config);
    if (status != VP8_STATUS_OK)
      detail::ThrowInvalidFormat("webp: decoding failed (" + std::to_string(int(status)) + ")");
    const WebPRGBABuffer& rgba = config.output.u.RGBA;
    image =
        FromRgba(rgba.rgba, rgba.stride, config.output.width, config.output.height, features.has_alpha != 0);
  }
  if (!icc.empty()) detail::ConvertToSrgb(image, icc);
  detail::ApplyOrientation(image, orientation);
  image.storedBitsPerPixel = features.has_alpha ? 32 : 24;
  image.sourceWidth = swap ? fullHeight : fullWidth;
  image.sourceHeight = swap ? fullWidth : fullHeight;
  return image;
}

// -----------------------------------------------------------------------------------------------
// Writing

namespace {

// The quality the JPEG writer derives from the quality factor (2 best .. 255 worst).
float WebpQuality(int qualityFactor) {
  const double q = std::nearbyint((255.0 - qualityFactor) / 2.53);
  return float(q < 1 ? 1 : q > 100 ? 100 : q);
}

struct PictureFree {
  void operator()(WebPPicture* p) const { WebPPictureFree(p); }
};
struct WriterClear {
  void operator()(WebPMemoryWriter* w) const { WebPMemoryWriterClear(w); }
};

}  // namespace

std::vector<std::uint8_t> WriteWebp(const Image& image, const SaveParams& params) {
  if (image.empty()) throw Error(err::kInvalidPropertyValue, "webp: empty image");
  if (image.width > WEBP_MAX_DIMENSION || image.height > WEBP_MAX_DIMENSION) {
    throw Error(err::kInvalidPropertyValue, "webp: larger than 16383 pixels a side");
  }
  const Image rgb = image.format == PixelFormat::Rgb24 ? Image{} : detail::ExpandToRgb24(image);
  const Image& source = image.format == PixelFormat::Rgb24 ? image : rgb;
  WebPConfig config;
  if (!WebPConfigInit(&config)) throw Error(err::kFileCannotBeRead, "webp: encoder unavailable");
  config.quality = WebpQuality(params.qualityFactor);
  config.lossless = 0;
  WebPPicture picture;
  if (!WebPPictureInit(&picture)) throw Error(err::kFileCannotBeRead, "webp: encoder unavailable");
  picture.use_argb = 0;
  picture.width = source.width;
  picture.height = source.height;
  std::unique_ptr<WebPPicture, PictureFree> pictureGuard(&picture);
  if (!WebPPictureImportRGB(&picture, source.pixels.data(), int(source.stride()))) throw std::bad_alloc();
  WebPMemoryWriter writer;
  WebPMemoryWriterInit(&writer);
  std::unique_ptr<WebPMemoryWriter, WriterClear> writerGuard(&writer);
  picture.writer = WebPMemoryWrite;
  picture.custom_ptr = &writer;
  if (!WebPEncode(&config, &picture)) {
    if (picture.error_code == VP8_ENC_ERROR_OUT_OF_MEMORY) throw std::bad_alloc();
    throw Error(err::kFileCannotBeRead,
                "webp: encoding failed (" + std::to_string(int(picture.error_code)) + ")");
  }
  return std::vector<std::uint8_t>(writer.mem, writer.mem + writer.size);
}

}  // namespace mirelo::imaging
