// AVIF pictures that select an operating point or a layer of a layered AV1 stream ('a1op',
// 'lsel'), through libavif: libheif 1.15 ignores both and decodes the top layer, at another size
// than the item states. The file's transformations (clap, irot, imir) are applied here, in the
// order the format gives them, as libheif applies them to every other AVIF.

#include <avif/avif.h>
#include <libheif/heif.h>

#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"
#include "platform/imaging/codec_common.h"
#include "platform/imaging/codecs.h"
#include "platform/imaging/color_management.h"
#include "platform/imaging/exif_orientation.h"

namespace mirelo::imaging {

std::vector<std::uint8_t> NclxToIcc(const heif_color_profile_nclx& nclx);  // codec_heif.cpp

namespace {

struct DecoderDestroy {
  void operator()(avifDecoder* d) const { avifDecoderDestroy(d); }
};
struct RgbFree {
  void operator()(avifRGBImage* rgb) const { avifRGBImageFreePixels(rgb); }
};

std::uint64_t BigEndian(const std::uint8_t* p, int bytes) {
  std::uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v = (v << 8) | p[i];
  return v;
}

// The boxes inside [begin, end): calls visit(type, body) for each well-formed one.
template <typename Visit>
void ForEachBox(const std::uint8_t* begin, const std::uint8_t* end, Visit visit) {
  const std::uint8_t* at = begin;
  while (end - at >= 8) {
    std::uint64_t size = BigEndian(at, 4);
    std::size_t header = 8;
    if (size == 1) {
      if (end - at < 16) return;
      size = BigEndian(at + 8, 8);
      header = 16;
    } else if (size == 0) {
      size = static_cast<std::uint64_t>(end - at);
    }
    if (size < header || size > static_cast<std::uint64_t>(end - at)) return;
    visit(std::string_view(reinterpret_cast<const char*>(at + 4), 4), at + header, at + size);
    at += size;
  }
}

void Check(avifResult result, const char* step) {
  if (result != AVIF_RESULT_OK) {
    detail::ThrowInvalidFormat(std::string("avif: ") + step + ": " + avifResultToString(result));
  }
}

// The crop of a valid clap box; the whole picture otherwise.
void ApplyCleanAperture(Image& image, const avifImage& coded) {
  avifCropRect rect{};
  avifDiagnostics diag{};
  if (!avifCropRectConvertCleanApertureBox(&rect, &coded.clap, coded.width, coded.height, coded.yuvFormat, &diag)) {
    detail::ThrowInvalidFormat("avif: clean aperture outside the picture");
  }
  if (rect.x == 0 && rect.y == 0 && rect.width == coded.width && rect.height == coded.height) return;
  Image cropped = Image::blank(static_cast<int>(rect.width), static_cast<int>(rect.height));
  for (std::uint32_t y = 0; y < rect.height; ++y) {
    std::memcpy(cropped.row(static_cast<int>(y)), image.row(static_cast<int>(rect.y + y)) + 3 * rect.x,
                std::size_t(rect.width) * 3);
  }
  cropped.dpiX = image.dpiX;
  cropped.dpiY = image.dpiY;
  image = std::move(cropped);
}

}  // namespace

bool AvifSelectsLayer(Bytes data) {
  bool found = false;
  const std::uint8_t* begin = data.data();
  ForEachBox(begin, begin + data.size(), [&](std::string_view type, const std::uint8_t* b, const std::uint8_t* e) {
    if (type != "meta" || e - b < 4) return;
    ForEachBox(b + 4, e, [&](std::string_view type, const std::uint8_t* b, const std::uint8_t* e) {
      if (type != "iprp") return;
      ForEachBox(b, e, [&](std::string_view type, const std::uint8_t* b, const std::uint8_t* e) {
        if (type != "ipco") return;
        ForEachBox(b, e, [&](std::string_view type, const std::uint8_t*, const std::uint8_t*) {
          if (type == "a1op" || type == "lsel") found = true;
        });
      });
    });
  });
  return found;
}

Image ReadLayeredAvif(Bytes data) {
  std::unique_ptr<avifDecoder, DecoderDestroy> decoder(avifDecoderCreate());
  if (!decoder) throw std::bad_alloc();
  // The caller decodes several pictures at once.
  decoder->maxThreads = 1;
  decoder->imageSizeLimit = static_cast<std::uint32_t>(detail::kDecodeMaxPixels);
  decoder->imageDimensionLimit = kMaxSide;
  decoder->ignoreExif = AVIF_TRUE;
  decoder->ignoreXMP = AVIF_TRUE;
  Check(avifDecoderSetIOMemory(decoder.get(), data.data(), data.size()), "read");
  Check(avifDecoderParse(decoder.get()), "parse");
  const avifImage& header = *decoder->image;
  detail::CheckDimensions(header.width, header.height, "avif");
  Check(avifDecoderNextImage(decoder.get()), "decode");
  const avifImage& coded = *decoder->image;
  detail::CheckDimensions(coded.width, coded.height, "avif");

  const bool alpha = coded.alphaPlane != nullptr;
  avifRGBImage rgb;
  avifRGBImageSetDefaults(&rgb, &coded);
  rgb.format = alpha ? AVIF_RGB_FORMAT_RGBA : AVIF_RGB_FORMAT_RGB;
  rgb.depth = 8;
  rgb.alphaPremultiplied = AVIF_FALSE;
  avifRGBImageAllocatePixels(&rgb);
  std::unique_ptr<avifRGBImage, RgbFree> pixels(&rgb);
  if (!rgb.pixels) throw std::bad_alloc();
  Check(avifImageYUVToRGB(&coded, &rgb), "colour conversion");

  const int w = static_cast<int>(coded.width), h = static_cast<int>(coded.height);
  Image image = Image::blank(w, h);
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* in = rgb.pixels + std::size_t(rgb.rowBytes) * std::size_t(y);
    std::uint8_t* out = image.row(y);
    if (!alpha) {
      std::memcpy(out, in, std::size_t(w) * 3);
      continue;
    }
    for (int x = 0; x < w; ++x, in += 4, out += 3) {
      for (int c = 0; c < 3; ++c) out[c] = detail::OverWhite(in[c], in[3]);
    }
  }

  if (coded.transformFlags & AVIF_TRANSFORM_CLAP) ApplyCleanAperture(image, coded);
  if (coded.transformFlags & AVIF_TRANSFORM_IROT) {
    // irot turns anticlockwise; the EXIF orientations name the turn that makes it upright.
    static constexpr int kTurn[] = {1, 8, 3, 6};
    detail::ApplyOrientation(image, kTurn[coded.irot.angle & 3]);
  }
  if (coded.transformFlags & AVIF_TRANSFORM_IMIR) detail::ApplyOrientation(image, coded.imir.mode == 0 ? 4 : 2);

  if (coded.icc.size > 0) {
    detail::ConvertToSrgb(image, std::span<const std::uint8_t>(coded.icc.data, coded.icc.size));
  } else {
    heif_color_profile_nclx nclx{};
    nclx.color_primaries = static_cast<heif_color_primaries>(coded.colorPrimaries);
    nclx.transfer_characteristics = static_cast<heif_transfer_characteristics>(coded.transferCharacteristics);
    const std::vector<std::uint8_t> icc = NclxToIcc(nclx);
    if (!icc.empty()) detail::ConvertToSrgb(image, icc);
  }
  image.storedBitsPerPixel = alpha ? 32 : 24;
  detail::SetSourceSizeToSize(image);
  return image;
}

}  // namespace mirelo::imaging
