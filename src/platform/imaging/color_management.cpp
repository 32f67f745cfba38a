#include "platform/imaging/color_management.h"

#include <lcms2.h>

#include <cstring>
#include <string>

namespace mirelo::imaging::detail {
namespace {

void SilentLog(cmsContext, cmsUInt32Number, const char*) {}

// One Little CMS context per conversion: transforms are short-lived and decoders run on several
// threads at once; a private context keeps the error log handler per call.
struct Context {
  cmsContext ctx = cmsCreateContext(nullptr, nullptr);
  Context() {
    if (ctx) cmsSetLogErrorHandlerTHR(ctx, SilentLog);
  }
  ~Context() {
    if (ctx) cmsDeleteContext(ctx);
  }
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;
};

struct Profile {
  cmsHPROFILE h = nullptr;
  explicit Profile(cmsHPROFILE p) : h(p) {}
  ~Profile() {
    if (h) cmsCloseProfile(h);
  }
  Profile(const Profile&) = delete;
  Profile& operator=(const Profile&) = delete;
};

bool DescribesSrgb(cmsHPROFILE profile) {
  char text[256] = {};
  cmsGetProfileInfoASCII(profile, cmsInfoDescription, "en", "US", text, sizeof text);
  return std::strstr(text, "sRGB") != nullptr;
}

// Grey with the sRGB tone curve: the grey counterpart of the sRGB profile.
cmsHPROFILE CreateSrgbGray(cmsContext ctx) {
  const cmsFloat64Number params[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
  cmsToneCurve* curve = cmsBuildParametricToneCurve(ctx, 4, params);
  if (!curve) return nullptr;
  cmsHPROFILE p = cmsCreateGrayProfileTHR(ctx, cmsD50_xyY(), curve);
  cmsFreeToneCurve(curve);
  return p;
}

}  // namespace

bool ConvertToSrgb(Image& image, std::span<const std::uint8_t> icc) {
  if (icc.size() < 132 || image.empty()) return false;
  if (image.format != PixelFormat::Rgb24 && image.format != PixelFormat::Gray8) return false;
  Context c;
  if (!c.ctx) return false;
  Profile source(cmsOpenProfileFromMemTHR(c.ctx, icc.data(), static_cast<cmsUInt32Number>(icc.size())));
  if (!source.h) return false;
  const bool rgb = image.format == PixelFormat::Rgb24;
  if (cmsGetColorSpace(source.h) != (rgb ? cmsSigRgbData : cmsSigGrayData)) return false;
  if (rgb && DescribesSrgb(source.h)) return false;
  Profile target(rgb ? cmsCreate_sRGBProfileTHR(c.ctx) : CreateSrgbGray(c.ctx));
  if (!target.h) return false;
  const cmsUInt32Number type = rgb ? TYPE_RGB_8 : TYPE_GRAY_8;
  cmsHTRANSFORM t = cmsCreateTransformTHR(c.ctx, source.h, type, target.h, type, INTENT_PERCEPTUAL, 0);
  if (!t) return false;
  for (int y = 0; y < image.height; ++y) {
    cmsDoTransform(t, image.row(y), image.row(y), static_cast<cmsUInt32Number>(image.width));
  }
  cmsDeleteTransform(t);
  return true;
}

std::unique_ptr<CmykTransform> CmykTransform::Create(std::span<const std::uint8_t> icc, bool inverted) {
  if (icc.size() < 132) return nullptr;
  std::unique_ptr<CmykTransform> result(new CmykTransform);
  cmsContext ctx = cmsCreateContext(nullptr, nullptr);
  if (!ctx) return nullptr;
  result->context_ = ctx;  // freed by the destructor from here on
  cmsSetLogErrorHandlerTHR(ctx, SilentLog);
  Profile source(cmsOpenProfileFromMemTHR(ctx, icc.data(), static_cast<cmsUInt32Number>(icc.size())));
  if (!source.h || cmsGetColorSpace(source.h) != cmsSigCmykData) return nullptr;
  Profile target(cmsCreate_sRGBProfileTHR(ctx));
  if (!target.h) return nullptr;
  const cmsUInt32Number in = inverted ? TYPE_CMYK_8_REV : TYPE_CMYK_8;
  result->transform_ = cmsCreateTransformTHR(ctx, source.h, in, target.h, TYPE_RGB_8, INTENT_PERCEPTUAL, 0);
  if (!result->transform_) return nullptr;
  return result;
}

CmykTransform::~CmykTransform() {
  if (transform_) cmsDeleteTransform(static_cast<cmsHTRANSFORM>(transform_));
  if (context_) cmsDeleteContext(static_cast<cmsContext>(context_));
}

void CmykTransform::Apply(const std::uint8_t* cmyk, std::uint8_t* rgb, std::size_t pixels) const {
  cmsDoTransform(static_cast<cmsHTRANSFORM>(transform_), cmyk, rgb, static_cast<cmsUInt32Number>(pixels));
}

void NaiveCmykToRgb(const std::uint8_t* cmyk, std::uint8_t* rgb, std::size_t pixels, bool inverted) {
  for (std::size_t i = 0; i < pixels; ++i, cmyk += 4, rgb += 3) {
    // With inverted samples each byte already is 255 − ink.
    unsigned k = inverted ? cmyk[3] : 255u - cmyk[3];
    for (int ch = 0; ch < 3; ++ch) {
      unsigned v = inverted ? cmyk[ch] : 255u - cmyk[ch];
      rgb[ch] = static_cast<std::uint8_t>((v * k + 127u) / 255u);
    }
  }
}

}  // namespace mirelo::imaging::detail
