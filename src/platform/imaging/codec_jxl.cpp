// JPEG XL through libjxl's decoder, from memory. The decoder turns the picture upright itself
// (its orientation field), so the result is never turned again here. A CMYK picture's black ink
// comes as an extra channel and is applied with the other three through the inks' profile. The whole picture is
// decoded: libjxl 0.7 offers a DC-only pass only as a full-size upsampled buffer, which saves
// neither memory nor, for lossless files, time.

#include <jxl/decode.h>
#include <jxl/decode_cxx.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/imaging/codec_common.h"
#include "platform/imaging/codecs.h"
#include "platform/imaging/color_management.h"

namespace mirelo::imaging {
namespace {

// A colour encoding that is sRGB (or grey with the sRGB curve) needs no conversion.
bool IsSrgb(const JxlColorEncoding& c) {
  const bool whiteAndCurve =
      c.white_point == JXL_WHITE_POINT_D65 && c.transfer_function == JXL_TRANSFER_FUNCTION_SRGB;
  if (c.color_space == JXL_COLOR_SPACE_GRAY) return whiteAndCurve;
  return c.color_space == JXL_COLOR_SPACE_RGB && whiteAndCurve && c.primaries == JXL_PRIMARIES_SRGB;
}

// C, M, Y (of `channels` interleaved samples) and K to R, G, B in place through the inks'
// profile, or the simple formula without a usable one. JPEG XL stores ink inverted (0 = full ink).
void InkToRgb(std::vector<std::uint8_t>& pixels, std::uint32_t channels, const std::vector<std::uint8_t>& black,
              const std::vector<std::uint8_t>& icc) {
  const std::unique_ptr<detail::CmykTransform> transform = detail::CmykTransform::Create(icc, true);
  std::vector<std::uint8_t> cmyk(std::size_t(4) * 1024), rgb(std::size_t(3) * 1024);
  for (std::size_t start = 0; start < black.size(); start += 1024) {
    const std::size_t n = std::min<std::size_t>(1024, black.size() - start);
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint8_t* p = pixels.data() + (start + i) * channels;
      std::memcpy(&cmyk[4 * i], p, 3);
      cmyk[4 * i + 3] = black[start + i];
    }
    if (transform) {
      transform->Apply(cmyk.data(), rgb.data(), n);
    } else {
      detail::NaiveCmykToRgb(cmyk.data(), rgb.data(), n, true);
    }
    for (std::size_t i = 0; i < n; ++i) std::memcpy(pixels.data() + (start + i) * channels, &rgb[3 * i], 3);
  }
}

}  // namespace

bool IsJxl(Bytes data) {
  if (data.size() >= 2 && data[0] == 0xFF && data[1] == 0x0A) return true;
  static constexpr std::uint8_t kContainer[12] = {0, 0, 0, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A};
  return data.size() >= sizeof kContainer && std::memcmp(data.data(), kContainer, sizeof kContainer) == 0;
}

Image ReadJxl(Bytes data, const LoadOptions&) {
  if (JxlSignatureCheck(data.data(), data.size()) != JXL_SIG_CODESTREAM &&
      JxlSignatureCheck(data.data(), data.size()) != JXL_SIG_CONTAINER) {
    detail::ThrowInvalidFormat("jxl: no signature");
  }
  JxlDecoderPtr decoder = JxlDecoderMake(nullptr);
  if (!decoder) throw std::bad_alloc();
  JxlDecoder* dec = decoder.get();
  if (JxlDecoderSubscribeEvents(dec, JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE) !=
          JXL_DEC_SUCCESS ||
      JxlDecoderSetInput(dec, data.data(), data.size()) != JXL_DEC_SUCCESS) {
    detail::ThrowInvalidFormat("jxl: decoder setup failed");
  }
  // The input is left open: a cut file then ends in a plain request for more input (closing it
  // would make libjxl print its own complaint on standard error).

  JxlBasicInfo info{};
  JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
  const JxlPixelFormat blackFormat{1, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
  std::vector<std::uint8_t> pixels, icc, black;
  bool srgb = false, alpha = false, gray = false;
  int width = 0, height = 0;
  // A CMYK picture: the colour channels hold C, M and Y, and K comes as an extra channel.
  std::optional<std::uint32_t> blackChannel;
  for (;;) {
    const JxlDecoderStatus status = JxlDecoderProcessInput(dec);
    if (status == JXL_DEC_ERROR) detail::ThrowInvalidFormat("jxl: damaged file");
    // All the file was given: a decoder that still wants bytes has met the end of a cut file.
    if (status == JXL_DEC_NEED_MORE_INPUT) detail::ThrowInvalidFormat("jxl: truncated file");
    if (status == JXL_DEC_SUCCESS) detail::ThrowInvalidFormat("jxl: no picture in the file");
    if (status == JXL_DEC_BASIC_INFO) {
      if (JxlDecoderGetBasicInfo(dec, &info) != JXL_DEC_SUCCESS)
        detail::ThrowInvalidFormat("jxl: bad header");
      detail::CheckDimensions(info.xsize, info.ysize, "jxl");
      const bool swap = info.orientation >= JXL_ORIENT_TRANSPOSE;
      width = int(swap ? info.ysize : info.xsize);
      height = int(swap ? info.xsize : info.ysize);
      alpha = info.alpha_bits > 0;
      gray = info.num_color_channels == 1;
      format.num_channels = (gray ? 1u : 3u) + (alpha ? 1u : 0u);
      for (std::uint32_t i = 0; i < info.num_extra_channels && !gray; ++i) {
        JxlExtraChannelInfo extra{};
        if (JxlDecoderGetExtraChannelInfo(dec, i, &extra) == JXL_DEC_SUCCESS && extra.type == JXL_CHANNEL_BLACK) {
          blackChannel = i;
          break;
        }
      }
    } else if (status == JXL_DEC_COLOR_ENCODING) {
      JxlColorEncoding encoding{};
      if (JxlDecoderGetColorAsEncodedProfile(dec, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &encoding) ==
              JXL_DEC_SUCCESS &&
          IsSrgb(encoding)) {
        srgb = true;
        continue;
      }
      std::size_t size = 0;
      if (JxlDecoderGetICCProfileSize(dec, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) ==
              JXL_DEC_SUCCESS &&
          size > 0) {
        icc.resize(size);
        if (JxlDecoderGetColorAsICCProfile(dec, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, icc.data(), size) !=
            JXL_DEC_SUCCESS) {
          icc.clear();
        }
      }
    } else if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
      std::size_t size = 0;
      if (JxlDecoderImageOutBufferSize(dec, &format, &size) != JXL_DEC_SUCCESS ||
          size != std::size_t(width) * std::size_t(height) * format.num_channels) {
        detail::ThrowInvalidFormat("jxl: unexpected output size");
      }
      pixels.resize(size);
      if (JxlDecoderSetImageOutBuffer(dec, &format, pixels.data(), size) != JXL_DEC_SUCCESS) {
        detail::ThrowInvalidFormat("jxl: output buffer refused");
      }
      if (blackChannel) {
        if (JxlDecoderExtraChannelBufferSize(dec, &blackFormat, &size, *blackChannel) != JXL_DEC_SUCCESS ||
            size != std::size_t(width) * std::size_t(height)) {
          detail::ThrowInvalidFormat("jxl: unexpected black channel size");
        }
        black.resize(size);
        if (JxlDecoderSetExtraChannelBuffer(dec, &blackFormat, black.data(), size, *blackChannel) != JXL_DEC_SUCCESS) {
          detail::ThrowInvalidFormat("jxl: black channel buffer refused");
        }
      }
    } else if (status == JXL_DEC_FULL_IMAGE) {
      break;  // the first frame is the picture
    }
  }
  if (pixels.empty()) detail::ThrowInvalidFormat("jxl: no picture data");

  Image image = Image::blank(width, height, gray ? PixelFormat::Gray8 : PixelFormat::Rgb24);
  const int colours = gray ? 1 : 3;
  const std::size_t count = std::size_t(width) * std::size_t(height);
  if (!black.empty()) {
    InkToRgb(pixels, format.num_channels, black, icc);
    icc.clear();  // the profile was the inks'
  }
  const std::uint8_t* in = pixels.data();
  std::uint8_t* out = image.pixels.data();
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned a = alpha ? in[colours] : 255u;
    for (int c = 0; c < colours; ++c) {
      if (a == 255) {
        out[c] = in[c];
      } else if (info.alpha_premultiplied) {
        const unsigned v = in[c] + 255u - a;
        out[c] = std::uint8_t(v > 255 ? 255 : v);
      } else {
        out[c] = detail::OverWhite(in[c], a);
      }
    }
    in += format.num_channels;
    out += colours;
  }
  if (!srgb && !icc.empty()) detail::ConvertToSrgb(image, icc);
  const int bits = int(info.bits_per_sample);
  image.storedBitsPerPixel = gray ? (alpha ? 2 * bits : bits) : (alpha ? 4 * bits : 3 * bits);
  if (bits <= 8) image.storedBitsPerPixel = gray ? (alpha ? 16 : 8) : (alpha ? 32 : 24);
  detail::SetSourceSizeToSize(image);
  return image;
}

}  // namespace mirelo::imaging
