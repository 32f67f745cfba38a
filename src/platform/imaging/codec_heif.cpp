// HEIC/HEIF and AVIF through libheif, read from memory. libheif applies the file's own
// transformations (irot, imir, clap) while decoding, so the EXIF orientation some writers also
// store is NOT applied again: a picture turned twice is the classic fault here.

#include <lcms2.h>
#include <libheif/heif.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/imaging/codec_common.h"
#include "platform/imaging/codecs.h"
#include "platform/imaging/color_management.h"
#include "platform/imaging/row_shrink.h"

namespace mirelo::imaging {
namespace {

struct ContextFree {
  void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleRelease {
  void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageRelease {
  void operator()(heif_image* i) const { heif_image_release(i); }
};
struct OptionsFree {
  void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};
struct NclxFree {
  void operator()(heif_color_profile_nclx* n) const { heif_nclx_color_profile_free(n); }
};
using HandlePtr = std::unique_ptr<heif_image_handle, HandleRelease>;

void Check(const heif_error& e, const char* step) {
  if (e.code != heif_error_Ok) {
    detail::ThrowInvalidFormat(std::string("heif: ") + step + ": " + (e.message ? e.message : "failed"));
  }
}

std::uint32_t FourCc(const std::uint8_t* p) {
  return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

constexpr std::uint32_t Tag(const char (&s)[5]) {
  return (std::uint32_t(std::uint8_t(s[0])) << 24) | (std::uint32_t(std::uint8_t(s[1])) << 16) |
         (std::uint32_t(std::uint8_t(s[2])) << 8) | std::uint8_t(s[3]);
}

bool IsHeifBrand(std::uint32_t brand) {
  for (std::uint32_t b :
       {Tag("heic"), Tag("heix"), Tag("hevc"), Tag("hevx"), Tag("heim"), Tag("heis"), Tag("hevm"),
        Tag("hevs"), Tag("mif1"), Tag("msf1"), Tag("avif"), Tag("avis"), Tag("mif2"), Tag("avio")}) {
    if (brand == b) return true;
  }
  return false;
}

}  // namespace

// An RGB profile for the nclx primaries that are not sRGB's own (Display P3, BT.2020), with the
// tone curve the description names. Empty when nothing needs converting or the curve is one we do
// not reproduce (PQ and HLG are HDR signals; tone mapping them is out of a thumbnail's reach).
// Also used by the layered AVIF reader.
std::vector<std::uint8_t> NclxToIcc(const heif_color_profile_nclx& nclx) {
  cmsCIExyYTRIPLE primaries;
  if (nclx.color_primaries == heif_color_primaries_SMPTE_EG_432_1) {
    primaries = {{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
  } else if (nclx.color_primaries == heif_color_primaries_ITU_R_BT_2020_2_and_2100_0) {
    primaries = {{0.708, 0.292, 1.0}, {0.170, 0.797, 1.0}, {0.131, 0.046, 1.0}};
  } else {
    return {};
  }
  cmsFloat64Number params[5];
  switch (nclx.transfer_characteristics) {
    case heif_transfer_characteristic_IEC_61966_2_1:
    case heif_transfer_characteristic_unspecified: {
      const cmsFloat64Number srgb[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
      std::memcpy(params, srgb, sizeof params);
      break;
    }
    case heif_transfer_characteristic_ITU_R_BT_709_5:
    case heif_transfer_characteristic_ITU_R_BT_601_6:
    case heif_transfer_characteristic_ITU_R_BT_2020_2_10bit:
    case heif_transfer_characteristic_ITU_R_BT_2020_2_12bit: {
      const cmsFloat64Number bt709[5] = {1.0 / 0.45, 1.0 / 1.099, 0.099 / 1.099, 1.0 / 4.5, 0.081};
      std::memcpy(params, bt709, sizeof params);
      break;
    }
    default:
      return {};
  }
  cmsContext ctx = cmsCreateContext(nullptr, nullptr);
  if (!ctx) return {};
  std::vector<std::uint8_t> bytes;
  const cmsCIExyY white = {0.3127, 0.3290, 1.0};
  if (cmsToneCurve* curve = cmsBuildParametricToneCurve(ctx, 4, params)) {
    cmsToneCurve* curves[3] = {curve, curve, curve};
    if (cmsHPROFILE profile = cmsCreateRGBProfileTHR(ctx, &white, &primaries, curves)) {
      cmsUInt32Number size = 0;
      if (cmsSaveProfileToMem(profile, nullptr, &size) && size > 0) {
        bytes.resize(size);
        if (!cmsSaveProfileToMem(profile, bytes.data(), &size)) bytes.clear();
      }
      cmsCloseProfile(profile);
    }
    cmsFreeToneCurve(curve);
  }
  cmsDeleteContext(ctx);
  return bytes;
}

namespace {

bool HasAvifBrand(Bytes data) {
  if (data.size() < 16) return false;
  const std::size_t end = std::min<std::size_t>(FourCc(data.data()), data.size());
  for (std::size_t at = 8; at + 4 <= end; at += 4) {
    if (at != 12 && (FourCc(data.data() + at) == Tag("avif") || FourCc(data.data() + at) == Tag("avis"))) {
      return true;
    }
  }
  return false;
}

// The smallest embedded thumbnail that still gives the caller what it needs, with the picture's
// own proportions (to a pixel of the thumbnail); null when none qualifies.
HandlePtr UsableThumbnail(heif_image_handle* primary, Size full, Size need) {
  const int count = heif_image_handle_get_number_of_thumbnails(primary);
  if (count <= 0) return nullptr;
  std::vector<heif_item_id> ids(static_cast<std::size_t>(count));
  const int listed = heif_image_handle_get_list_of_thumbnail_IDs(primary, ids.data(), count);
  HandlePtr best;
  for (int i = 0; i < listed; ++i) {
    heif_image_handle* raw = nullptr;
    if (heif_image_handle_get_thumbnail(primary, ids[std::size_t(i)], &raw).code != heif_error_Ok) continue;
    HandlePtr thumb(raw);
    const std::int64_t w = heif_image_handle_get_width(raw), h = heif_image_handle_get_height(raw);
    if (!detail::DimensionsOk(w, h) || w < need.width || h < need.height) continue;
    if (std::llabs(w * full.height - h * full.width) > std::max(full.width, full.height)) continue;
    if (best && w >= heif_image_handle_get_width(best.get())) continue;
    best = std::move(thumb);
  }
  return best;
}

// Decodes a handle to 8-bit interleaved RGB, alpha flattened onto white. A coded picture of
// another size than the handle states is damaged and refused. With a shrink factor above 1 the
// rows go through area means as they are copied out, so no second full-size copy is made.
Image DecodeHandle(heif_image_handle* handle, bool alpha, bool premultiplied, Size minimum) {
  std::unique_ptr<heif_decoding_options, OptionsFree> options(heif_decoding_options_alloc());
  if (!options) throw std::bad_alloc();
  options->convert_hdr_to_8bit = 1;
  // A damaged stream is an error, not a picture with grey where the data was missing.
  options->strict_decoding = 1;
  heif_image* raw = nullptr;
  Check(heif_decode_image(handle, &raw, heif_colorspace_RGB,
                          alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get()),
        "decode");
  std::unique_ptr<heif_image, ImageRelease> decoded(raw);
  const int w = heif_image_get_width(raw, heif_channel_interleaved);
  const int h = heif_image_get_height(raw, heif_channel_interleaved);
  detail::CheckDimensions(w, h, "heif");
  if (heif_image_get_bits_per_pixel_range(raw, heif_channel_interleaved) != 8) {
    detail::ThrowInvalidFormat("heif: unexpected sample depth");
  }
  if (w != heif_image_handle_get_width(handle) || h != heif_image_handle_get_height(handle)) {
    detail::ThrowInvalidFormat("heif: decoded size differs from the stated size");
  }
  int stride = 0;
  const std::uint8_t* plane = heif_image_get_plane_readonly(raw, heif_channel_interleaved, &stride);
  if (!plane || stride < w * (alpha ? 4 : 3)) detail::ThrowInvalidFormat("heif: no picture data");
  const int factor = minimum.width > 0 ? detail::ShrinkFactor({w, h}, minimum) : 1;
  Image image = Image::blank(detail::ShrunkSide(w, factor), detail::ShrunkSide(h, factor));
  detail::RowShrinker shrinker;
  std::vector<std::uint8_t> flat;
  if (factor > 1) {
    shrinker.Start(w, h, 3, factor, image.pixels.data());
    flat.resize(std::size_t(w) * 3);
  }
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* in = plane + std::size_t(stride) * std::size_t(y);
    std::uint8_t* out = factor > 1 ? flat.data() : image.row(y);
    if (!alpha) {
      if (factor > 1) {
        shrinker.AddRow(in);
      } else {
        std::memcpy(out, in, std::size_t(w) * 3);
      }
      continue;
    }
    const std::uint8_t* row = out;
    for (int x = 0; x < w; ++x, in += 4, out += 3) {
      const unsigned a = in[3];
      for (int c = 0; c < 3; ++c) {
        if (premultiplied) {
          const unsigned v = in[c] + 255u - a;
          out[c] = std::uint8_t(v > 255 ? 255 : v);
        } else {
          out[c] = detail::OverWhite(in[c], a);
        }
      }
    }
    if (factor > 1) shrinker.AddRow(row);
  }
  return image;
}

}  // namespace

bool IsHeif(Bytes data) {
  if (data.size() < 16 || FourCc(data.data() + 4) != Tag("ftyp")) return false;
  const std::uint32_t boxSize = FourCc(data.data());
  if (boxSize < 16 || boxSize > 4096) return false;
  const std::size_t end = std::min<std::size_t>(boxSize, data.size());
  if (IsHeifBrand(FourCc(data.data() + 8))) return true;
  for (std::size_t at = 16; at + 4 <= end; at += 4) {
    if (IsHeifBrand(FourCc(data.data() + at))) return true;
  }
  return false;
}

Image ReadHeif(Bytes data, const LoadOptions& options) {
  if (HasAvifBrand(data) && AvifSelectsLayer(data)) return ReadLayeredAvif(data);
  std::unique_ptr<heif_context, ContextFree> ctx(heif_context_alloc());
  if (!ctx) throw std::bad_alloc();
  heif_context_set_maximum_image_size_limit(ctx.get(), kMaxSide);
  // The caller decodes several pictures at once; libheif's own tile threads would only compete.
  heif_context_set_max_decoding_threads(ctx.get(), 0);
  Check(heif_context_read_from_memory_without_copy(ctx.get(), data.data(), data.size(), nullptr), "read");
  heif_image_handle* rawHandle = nullptr;
  Check(heif_context_get_primary_image_handle(ctx.get(), &rawHandle), "primary image");
  HandlePtr primary(rawHandle);

  // Width and height of a handle include its transformations: the upright size.
  const Size full{heif_image_handle_get_width(primary.get()), heif_image_handle_get_height(primary.get())};
  detail::CheckDimensions(full.width, full.height, "heif");
  detail::CheckDimensions(heif_image_handle_get_ispe_width(primary.get()),
                          heif_image_handle_get_ispe_height(primary.get()), "heif");

  // A coded picture of another size than its header states is damaged: it is never passed off
  // as the picture (a damaged thumbnail leaves the primary image to be decoded).
  auto decode = [](heif_image_handle* handle, bool* alpha, Size minimum) {
    *alpha = heif_image_handle_has_alpha_channel(handle) != 0;
    return DecodeHandle(handle, *alpha, heif_image_handle_is_premultiplied_alpha(handle) != 0, minimum);
  };
  Image image;
  bool alpha = false;
  const Size minimum = options.minimumSize ? options.minimumSize(full) : Size{};
  if (options.minimumSize) {
    if (HandlePtr thumbnail = UsableThumbnail(primary.get(), full, minimum)) {
      try {
        image = decode(thumbnail.get(), &alpha, Size{});
      } catch (const Error&) {
        image = Image{};
      }
    }
  }
  if (image.empty()) image = decode(primary.get(), &alpha, minimum);

  // The colour description of the primary image; a thumbnail is coded in the same space.
  bool converted = false;
  const std::size_t iccSize = heif_image_handle_get_raw_color_profile_size(primary.get());
  if (iccSize > 0 && iccSize < (std::size_t(64) << 20)) {
    std::vector<std::uint8_t> icc(iccSize);
    if (heif_image_handle_get_raw_color_profile(primary.get(), icc.data()).code == heif_error_Ok) {
      detail::ConvertToSrgb(image, icc);
      converted = true;
    }
  }
  if (!converted) {
    heif_color_profile_nclx* rawNclx = nullptr;
    const heif_error e = heif_image_handle_get_nclx_color_profile(primary.get(), &rawNclx);
    // libheif hands over the structure even when it reports unknown primaries.
    std::unique_ptr<heif_color_profile_nclx, NclxFree> nclx(rawNclx);
    if (e.code == heif_error_Ok && nclx) {
      const std::vector<std::uint8_t> icc = NclxToIcc(*nclx);
      if (!icc.empty()) detail::ConvertToSrgb(image, icc);
    }
  }
  image.storedBitsPerPixel = alpha ? 32 : 24;
  image.sourceWidth = full.width;
  image.sourceHeight = full.height;
  return image;
}

}  // namespace mirelo::imaging
