#include "test_codec_helpers.h"

#include <lcms2.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace mirelo::test {

imaging::Image SyntheticPicture(int width, int height) {
  imaging::Image image = imaging::Image::blank(width, height);
  std::uint32_t noise = 12345;
  for (int y = 0; y < height; ++y) {
    std::uint8_t* p = image.row(y);
    for (int x = 0; x < width; ++x, p += 3) {
      noise = noise * 1103515245u + 12345u;
      const int n = int((noise >> 16) & 15) - 8;
      const bool block = ((x / 16) + (y / 16)) % 2 == 0;
      auto clamp = [](int v) { return std::uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); };
      p[0] = clamp(x * 255 / std::max(1, width - 1) + n);
      p[1] = clamp(y * 255 / std::max(1, height - 1) + n);
      p[2] = clamp((block ? 200 : 40) + n);
    }
  }
  return image;
}

void WriteBytes(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

std::vector<std::uint8_t> WithExifOrientation(const std::vector<std::uint8_t>& jpeg, int orientation,
                                              bool bigEndian) {
  auto u16 = [&](std::vector<std::uint8_t>& v, unsigned x) {
    if (bigEndian) {
      v.push_back(std::uint8_t(x >> 8));
      v.push_back(std::uint8_t(x));
    } else {
      v.push_back(std::uint8_t(x));
      v.push_back(std::uint8_t(x >> 8));
    }
  };
  auto u32 = [&](std::vector<std::uint8_t>& v, std::uint32_t x) {
    if (bigEndian) {
      u16(v, x >> 16);
      u16(v, x & 0xFFFF);
    } else {
      u16(v, x & 0xFFFF);
      u16(v, x >> 16);
    }
  };
  std::vector<std::uint8_t> exif = {'E', 'x', 'i', 'f', 0, 0};
  if (bigEndian) {
    exif.insert(exif.end(), {'M', 'M'});
  } else {
    exif.insert(exif.end(), {'I', 'I'});
  }
  u16(exif, 42);
  u32(exif, 8);
  u16(exif, 2);  // two entries: a software tag first, then the orientation
  u16(exif, 0x0131);
  u16(exif, 2);
  u32(exif, 4);
  exif.insert(exif.end(), {'t', 'e', 's', 't'});
  u16(exif, 0x0112);
  u16(exif, 3);
  u32(exif, 1);
  u16(exif, unsigned(orientation));
  u16(exif, 0);
  u32(exif, 0);
  std::vector<std::uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
  const std::size_t length = exif.size() + 2;
  out.insert(out.end(), {0xFF, 0xE1, std::uint8_t(length >> 8), std::uint8_t(length)});
  out.insert(out.end(), exif.begin(), exif.end());
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

namespace {

// A CMYK output profile whose colours differ visibly from the naive formula: naive RGB, then
// brightened with a 0.7 power, expressed in Lab.
cmsInt32Number SampleCmykToLab(const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo) {
  cmsUInt16Number rgb[3];
  const double k = 1.0 - in[3] / 65535.0;
  for (int c = 0; c < 3; ++c) {
    const double v = (1.0 - in[c] / 65535.0) * k;
    rgb[c] = cmsUInt16Number(std::lround(std::pow(v, 0.7) * 65535.0));
  }
  cmsDoTransform(static_cast<cmsHTRANSFORM>(cargo), rgb, out, 1);
  return TRUE;
}

cmsHPROFILE CreateCmykProfile() {
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
  cmsHTRANSFORM toLab = cmsCreateTransform(srgb, TYPE_RGB_16, lab, TYPE_Lab_16, INTENT_RELATIVE_COLORIMETRIC, 0);
  cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
  cmsSetProfileVersion(profile, 4.3);
  cmsSetDeviceClass(profile, cmsSigOutputClass);
  cmsSetColorSpace(profile, cmsSigCmykData);
  cmsSetPCS(profile, cmsSigLabData);
  cmsPipeline* a2b = cmsPipelineAlloc(nullptr, 4, 3);
  cmsStage* clut = cmsStageAllocCLut16bit(nullptr, 9, 4, 3, nullptr);
  cmsStageSampleCLut16bit(clut, SampleCmykToLab, toLab, 0);
  // The A-CLUT-B shape that the lutAtoBType tag can store.
  cmsPipelineInsertStage(a2b, cmsAT_END, cmsStageAllocToneCurves(nullptr, 4, nullptr));
  cmsPipelineInsertStage(a2b, cmsAT_END, clut);
  cmsPipelineInsertStage(a2b, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
  cmsWriteTag(profile, cmsSigAToB0Tag, a2b);
  cmsWriteTag(profile, cmsSigMediaWhitePointTag, cmsD50_XYZ());
  cmsMLU* text = cmsMLUalloc(nullptr, 1);
  cmsMLUsetASCII(text, "en", "US", "Test CMYK");
  cmsWriteTag(profile, cmsSigProfileDescriptionTag, text);
  cmsMLUfree(text);
  cmsPipelineFree(a2b);
  cmsDeleteTransform(toLab);
  cmsCloseProfile(lab);
  cmsCloseProfile(srgb);
  return profile;
}

}  // namespace

std::vector<std::uint8_t> MakeProfile(const std::string& which) {
  cmsHPROFILE profile = nullptr;
  if (which == "cmyk") {
    profile = CreateCmykProfile();
  } else if (which == "gray-linear") {
    // Grey stored with a linear tone curve: mid-greys come out much lighter in sRGB.
    cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
    profile = cmsCreateGrayProfile(cmsD50_xyY(), linear);
    cmsFreeToneCurve(linear);
  } else if (which == "srgb") {
    profile = cmsCreate_sRGBProfile();
  } else {
    // Adobe RGB (1998): its primaries, D65 white and a 2.2 gamma (563/256).
    const cmsCIExyY white = {0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};
    cmsToneCurve* gamma = cmsBuildGamma(nullptr, 563.0 / 256.0);
    cmsToneCurve* curves[3] = {gamma, gamma, gamma};
    profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(gamma);
    cmsMLU* text = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(text, "en", "US", "Test Adobe RGB (1998)");
    cmsWriteTag(profile, cmsSigProfileDescriptionTag, text);
    cmsMLUfree(text);
  }
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(profile, nullptr, &size);
  std::vector<std::uint8_t> bytes(size);
  cmsSaveProfileToMem(profile, bytes.data(), &size);
  cmsCloseProfile(profile);
  return bytes;
}

std::pair<double, double> MagickDpi(const std::filesystem::path& file) {
  const std::string command = "identify -units PixelsPerInch -format '%x %y' '" + file.string() + "[0]'";
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return {-1, -1};
  double x = -1, y = -1;
  if (std::fscanf(pipe, "%lf %lf", &x, &y) != 2) x = y = -1;
  ::pclose(pipe);
  return {x, y};
}

}  // namespace mirelo::test
