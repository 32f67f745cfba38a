#include "test_codec_helpers.h"

#include <lcms2.h>
#include <spawn.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <stdexcept>

extern char** environ;

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

bool RunTool(const std::vector<std::string>& argv) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool HasTool(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    const std::size_t end = std::min(dirs.find(':', start), dirs.size());
    if (::access((dirs.substr(start, end - start) + "/" + name).c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

namespace {

// One IFD of a little-endian TIFF: entries in tag order, values longer than four bytes placed
// after the IFD itself.
class Ifd {
 public:
  void Add(unsigned tag, unsigned type, std::uint32_t count, std::vector<std::uint8_t> value) {
    entries_.push_back({tag, type, count, std::move(value)});
  }
  void Short(unsigned tag, std::initializer_list<unsigned> v) {
    std::vector<std::uint8_t> b;
    for (unsigned x : v) b.insert(b.end(), {std::uint8_t(x), std::uint8_t(x >> 8)});
    Add(tag, 3, std::uint32_t(v.size()), b);
  }
  void Long(unsigned tag, std::uint32_t x) { Add(tag, 4, 1, Le32(x)); }
  void Ascii(unsigned tag, const std::string& text) {
    std::vector<std::uint8_t> b(text.begin(), text.end());
    b.push_back(0);
    Add(tag, 2, std::uint32_t(b.size()), b);
  }
  void Rationals(unsigned tag, unsigned type, std::initializer_list<std::pair<std::int32_t, std::int32_t>> v) {
    std::vector<std::uint8_t> b;
    for (auto [n, d] : v) {
      const auto ln = Le32(std::uint32_t(n)), ld = Le32(std::uint32_t(d));
      b.insert(b.end(), ln.begin(), ln.end());
      b.insert(b.end(), ld.begin(), ld.end());
    }
    Add(tag, type, std::uint32_t(v.size()), b);
  }
  std::size_t Size() const {
    std::size_t n = 2 + 12 * entries_.size() + 4;
    for (const auto& e : entries_) n += e.value.size() > 4 ? (e.value.size() + 1) / 2 * 2 : 0;
    return n;
  }
  // Appends the IFD, which starts at out.size().
  void Write(std::vector<std::uint8_t>& out) const {
    std::vector<Entry> sorted = entries_;
    std::sort(sorted.begin(), sorted.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
    const std::size_t start = out.size();
    std::size_t extra = start + 2 + 12 * sorted.size() + 4;
    std::vector<std::uint8_t> tail;
    out.insert(out.end(), {std::uint8_t(sorted.size()), std::uint8_t(sorted.size() >> 8)});
    for (const Entry& e : sorted) {
      out.insert(out.end(), {std::uint8_t(e.tag), std::uint8_t(e.tag >> 8), std::uint8_t(e.type), 0});
      const auto count = Le32(e.count);
      out.insert(out.end(), count.begin(), count.end());
      if (e.value.size() <= 4) {
        std::vector<std::uint8_t> v = e.value;
        v.resize(4, 0);
        out.insert(out.end(), v.begin(), v.end());
      } else {
        const auto at = Le32(std::uint32_t(extra + tail.size()));
        out.insert(out.end(), at.begin(), at.end());
        tail.insert(tail.end(), e.value.begin(), e.value.end());
        if (tail.size() % 2) tail.push_back(0);
      }
    }
    out.insert(out.end(), {0, 0, 0, 0});
    out.insert(out.end(), tail.begin(), tail.end());
  }
  static std::vector<std::uint8_t> Le32(std::uint32_t x) {
    return {std::uint8_t(x), std::uint8_t(x >> 8), std::uint8_t(x >> 16), std::uint8_t(x >> 24)};
  }

 private:
  struct Entry {
    unsigned tag, type;
    std::uint32_t count;
    std::vector<std::uint8_t> value;
  };
  std::vector<Entry> entries_;
};

}  // namespace

std::vector<std::uint8_t> MakeDng(const DngSpec& spec) {
  // Sensor data first, right after the header; the IFDs follow.
  std::vector<std::uint8_t> out = {'I', 'I', 42, 0, 0, 0, 0, 0};
  const std::uint32_t previewAt = std::uint32_t(out.size());
  out.insert(out.end(), spec.previewJpeg.begin(), spec.previewJpeg.end());
  if (out.size() % 2) out.push_back(0);
  const std::uint32_t rawAt = std::uint32_t(out.size());
  for (int y = 0; y < spec.height; ++y) {
    for (int x = 0; x < spec.width; ++x) {
      const unsigned rgb[3] = {unsigned(x * 60000 / std::max(1, spec.width - 1)),
                               unsigned(y * 60000 / std::max(1, spec.height - 1)), 12000u};
      if (spec.cfa) {
        const unsigned v = rgb[(y % 2) + (x % 2)];  // R G / G B
        out.insert(out.end(), {std::uint8_t(v), std::uint8_t(v >> 8)});
      } else {
        for (unsigned v : rgb) out.insert(out.end(), {std::uint8_t(v), std::uint8_t(v >> 8)});
      }
    }
  }
  const std::uint32_t rawBytes = std::uint32_t(out.size()) - rawAt;

  Ifd raw;
  raw.Long(254, 0);
  raw.Long(256, std::uint32_t(spec.width));
  raw.Long(257, std::uint32_t(spec.height));
  if (spec.cfa) {
    raw.Short(258, {16});
    raw.Short(262, {32803});         // CFA
    raw.Short(277, {1});
    raw.Short(33421, {2, 2});        // CFARepeatPatternDim
    raw.Add(33422, 1, 4, {0, 1, 1, 2});  // CFAPattern: RGGB
  } else {
    raw.Short(258, {16, 16, 16});
    raw.Short(262, {34892});  // LinearRaw
    raw.Short(277, {3});
  }
  raw.Short(259, {1});
  raw.Long(273, rawAt);
  raw.Long(278, std::uint32_t(spec.height));
  raw.Long(279, rawBytes);
  raw.Short(284, {1});
  raw.Short(50717, {65535});  // WhiteLevel

  auto cameraTags = [&](Ifd& ifd) {
    ifd.Ascii(271, "Mirelo");
    ifd.Ascii(272, "Test Camera");
    ifd.Short(274, {unsigned(spec.orientation)});
    ifd.Add(50706, 1, 4, {1, 4, 0, 0});  // DNGVersion
    ifd.Ascii(50708, "Mirelo Test Camera");
    // XYZ (D65) to camera: the camera sees linear sRGB.
    ifd.Rationals(50721, 10,
                  {{32406, 10000}, {-15372, 10000}, {-4986, 10000}, {-9689, 10000}, {18758, 10000}, {415, 10000},
                   {557, 10000}, {-2040, 10000}, {10570, 10000}});
    ifd.Rationals(50728, 5, {{1, 1}, {1, 1}, {1, 1}});  // AsShotNeutral
    ifd.Short(50778, {21});                             // CalibrationIlluminant1: D65
  };
  const std::uint32_t ifd0At = std::uint32_t(out.size());
  for (int i = 0; i < 4; ++i) out[4 + std::size_t(i)] = std::uint8_t(ifd0At >> (8 * i));
  if (spec.previewJpeg.empty()) {
    cameraTags(raw);
    raw.Write(out);
    return out;
  }
  Ifd main;
  cameraTags(main);
  main.Long(254, 1);  // a reduced-resolution picture
  main.Long(256, std::uint32_t(spec.previewWidth));
  main.Long(257, std::uint32_t(spec.previewHeight));
  main.Short(258, {8, 8, 8});
  main.Short(259, {7});  // JPEG
  main.Short(262, {6});  // YCbCr
  main.Long(273, previewAt);
  main.Short(277, {3});
  main.Long(278, std::uint32_t(spec.previewHeight));
  main.Long(279, std::uint32_t(spec.previewJpeg.size()));
  main.Short(284, {1});
  const std::size_t mainSize = main.Size() + 12;  // with the SubIFDs entry added below
  main.Long(330, std::uint32_t(out.size() + mainSize));
  main.Write(out);
  raw.Write(out);
  return out;
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
