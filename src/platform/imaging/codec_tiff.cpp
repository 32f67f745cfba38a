// TIFF through libtiff, read from memory. The first page is decoded with libtiff's RGBA interface,
// which knows every photometric interpretation and compression libtiff was built with.

#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/imaging/codec_common.h"
#include "platform/imaging/codecs.h"
#include "platform/imaging/tiff_fields.h"
#include "platform/imaging/color_management.h"
#include "platform/imaging/exif_orientation.h"

namespace mirelo::imaging {
namespace {

// Strips and tiles beyond this come from hostile files, not from pictures we can hold.
constexpr tmsize_t kMaxSingleAllocation = tmsize_t(1) << 30;

struct MemoryFile {
  const std::uint8_t* data = nullptr;
  std::uint64_t size = 0;
  std::uint64_t pos = 0;
  // What libtiff complained about; any complaint while the pixels are read fails the load.
  std::string message;
  int errors = 0;
};

tmsize_t ReadProc(thandle_t handle, void* out, tmsize_t length) {
  auto* file = static_cast<MemoryFile*>(handle);
  if (length <= 0 || file->pos >= file->size) return 0;
  const std::uint64_t n = std::min<std::uint64_t>(std::uint64_t(length), file->size - file->pos);
  std::memcpy(out, file->data + file->pos, std::size_t(n));
  file->pos += n;
  return tmsize_t(n);
}

tmsize_t WriteProc(thandle_t, void*, tmsize_t) { return 0; }

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
  auto* file = static_cast<MemoryFile*>(handle);
  std::uint64_t base = 0;
  if (whence == SEEK_CUR) {
    base = file->pos;
  } else if (whence == SEEK_END) {
    base = file->size;
  }
  if (offset > UINT64_MAX - base) return toff_t(-1);
  file->pos = base + offset;  // past the end is allowed; reads there return nothing
  return file->pos;
}

int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t handle) { return static_cast<MemoryFile*>(handle)->size; }
int MapProc(thandle_t, void**, toff_t*) { return 0; }
void UnmapProc(thandle_t, void*, toff_t) {}

void Record(MemoryFile* file, const char* module, const char* text) {
  ++file->errors;
  if (file->message.empty()) file->message = std::string(module ? module : "tiff") + ": " + text;
}

int OnError(TIFF*, void* user, const char* module, const char* format, va_list args) {
  char text[512];
  std::vsnprintf(text, sizeof text, format, args);
  Record(static_cast<MemoryFile*>(user), module, text);
  return 1;  // handled: nothing reaches standard error
}

// libtiff passes the JPEG codec's complaints on as warnings; lost data is an error for us.
int OnWarning(TIFF*, void* user, const char* module, const char* format, va_list args) {
  char text[512];
  std::vsnprintf(text, sizeof text, format, args);
  if (std::strstr(text, "Premature end") || std::strstr(text, "Corrupt JPEG data")) {
    Record(static_cast<MemoryFile*>(user), module, text);
  }
  return 1;
}

struct TiffCloser {
  void operator()(TIFF* tif) const { TIFFClose(tif); }
};
struct OptionsDeleter {
  void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

// Replaces libtiff's CMYK-to-RGB step when an embedded profile is to be used: the four ink bytes
// are kept as they are and converted with the profile afterwards.
void PutRawCmyk(TIFFRGBAImage* img, std::uint32_t* cp, std::uint32_t, std::uint32_t, std::uint32_t w,
                std::uint32_t h, std::int32_t fromskew, std::int32_t toskew, unsigned char* pp) {
  const int samples = img->samplesperpixel;
  fromskew *= samples;
  for (; h > 0; --h) {
    for (std::uint32_t x = 0; x < w; ++x) {
      std::memcpy(cp++, pp, 4);
      pp += samples;
    }
    cp += toskew;
    pp += fromskew;
  }
}

// libtiff drops the alpha of 16-bit grey; this flattens grey and alpha onto white itself and
// hands over opaque pixels.
void PutGrayAlpha16(TIFFRGBAImage* img, std::uint32_t* cp, std::uint32_t, std::uint32_t, std::uint32_t w,
                    std::uint32_t h, std::int32_t fromskew, std::int32_t toskew, unsigned char* pp) {
  const int samples = img->samplesperpixel;
  const bool associated = img->alpha == EXTRASAMPLE_ASSOCALPHA;
  const auto* wp = reinterpret_cast<const std::uint16_t*>(pp);
  fromskew *= samples;
  for (; h > 0; --h) {
    for (std::uint32_t x = 0; x < w; ++x) {
      const std::uint32_t g = wp[0], a = wp[1];
      std::uint32_t v = associated ? std::min<std::uint32_t>(65535, g + 65535 - a)
                                   : std::uint32_t((std::uint64_t(g) * a + 65535ull * (65535 - a) + 32767) / 65535);
      v = (v * 255 + 32895) >> 16;
      *cp++ = v | (v << 8) | (v << 16) | 0xFF000000u;
      wp += samples;
    }
    cp += toskew;
    wp += fromskew;
  }
}

[[noreturn]] void Fail(const MemoryFile& file, const char* fallback) {
  detail::ThrowInvalidFormat("tiff: " + (file.message.empty() ? std::string(fallback) : file.message));
}

// 16-bit CMYK, which libtiff's RGBA interface refuses: strips read row by row, samples rounded to
// 8 bits, then converted with the embedded profile or the naive formula.
Image ReadCmyk16(TIFF* tif, const MemoryFile& file, std::uint32_t width, std::uint32_t height, int samples,
                 std::span<const std::uint8_t> icc) {
  const tmsize_t lineSize = TIFFScanlineSize(tif);
  if (lineSize < tmsize_t(std::size_t(width) * samples * 2)) Fail(file, "bad scanline size");
  std::vector<std::uint16_t> line(std::size_t(lineSize) / 2 + 1);
  std::vector<std::uint8_t> cmyk(std::size_t(width) * 4);
  const auto transform = detail::CmykTransform::Create(icc, false);
  Image image = Image::blank(int(width), int(height));
  for (std::uint32_t y = 0; y < height; ++y) {
    if (TIFFReadScanline(tif, line.data(), y, 0) < 0) Fail(file, "cannot read the picture data");
    for (std::uint32_t x = 0; x < width; ++x) {
      for (int c = 0; c < 4; ++c) {
        cmyk[4 * x + c] = std::uint8_t((unsigned(line[std::size_t(x) * samples + c]) * 255u + 32895u) >> 16);
      }
    }
    if (transform) {
      transform->Apply(cmyk.data(), image.row(int(y)), width);
    } else {
      detail::NaiveCmykToRgb(cmyk.data(), image.row(int(y)), width, false);
    }
  }
  if (file.errors) Fail(file, "cannot read the picture data");
  return image;
}

// Every other layout, through libtiff's RGBA interface.
Image ReadThroughRgba(TIFF* tif, MemoryFile& file, std::uint32_t width, std::uint32_t height,
                      std::span<const std::uint8_t> icc) {
  std::uint16_t bits = 1, samples = 1, photometric = 0, planar = PLANARCONFIG_CONTIG, inkset = INKSET_CMYK;
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inkset);
  char message[1024] = {};
  if (!TIFFRGBAImageOK(tif, message)) detail::ThrowInvalidFormat(std::string("tiff: ") + message);
  TIFFRGBAImage img{};
  if (!TIFFRGBAImageBegin(&img, tif, 1, message)) detail::ThrowInvalidFormat(std::string("tiff: ") + message);
  struct ImageEnd {
    TIFFRGBAImage* img;
    ~ImageEnd() { TIFFRGBAImageEnd(img); }
  } end{&img};
  // Rows as stored; the orientation is applied afterwards, like EXIF in JPEG (libtiff's own
  // handling only flips and cannot turn by 90 degrees).
  img.req_orientation = img.orientation;

  std::unique_ptr<detail::CmykTransform> cmyk;
  if (photometric == PHOTOMETRIC_SEPARATED && inkset == INKSET_CMYK && bits == 8 && samples >= 4 &&
      planar == PLANARCONFIG_CONTIG && img.isContig && !icc.empty()) {
    cmyk = detail::CmykTransform::Create(icc, false);
    if (cmyk) img.put.contig = PutRawCmyk;
  }

  if (photometric == PHOTOMETRIC_MINISBLACK && bits == 16 && samples == 2 && img.alpha && img.isContig) {
    img.put.contig = PutGrayAlpha16;
  }

  std::vector<std::uint32_t> raster(std::size_t(width) * height);
  const int errorsBefore = file.errors;
  if (!TIFFRGBAImageGet(&img, raster.data(), width, height) || file.errors != errorsBefore) {
    Fail(file, "cannot read the picture data");
  }

  const int extra = img.alpha ? 1 : 0;
  const bool gray = (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE) &&
                    samples - extra <= 1 && !cmyk;
  Image image = Image::blank(int(width), int(height), gray ? PixelFormat::Gray8 : PixelFormat::Rgb24);
  const std::size_t count = raster.size();
  if (cmyk) {
    std::vector<std::uint8_t> rowCmyk(std::size_t(width) * 4);
    for (std::uint32_t y = 0; y < height; ++y) {
      std::memcpy(rowCmyk.data(), raster.data() + std::size_t(y) * width, rowCmyk.size());
      cmyk->Apply(rowCmyk.data(), image.row(int(y)), width);
    }
  } else {
    // libtiff hands over premultiplied colour, except for grey with unassociated alpha.
    const bool premultiplied = !(gray && img.alpha == EXTRASAMPLE_UNASSALPHA);
    const int channels = gray ? 1 : 3;
    std::uint8_t* out = image.pixels.data();
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint32_t p = raster[i];
      const unsigned a = img.alpha ? TIFFGetA(p) : 255u;
      const unsigned c[3] = {TIFFGetR(p), TIFFGetG(p), TIFFGetB(p)};
      for (int ch = 0; ch < channels; ++ch) {
        if (a == 255) {
          *out++ = std::uint8_t(c[ch]);
        } else if (premultiplied) {
          const unsigned v = c[ch] + 255u - a;
          *out++ = std::uint8_t(v > 255 ? 255 : v);
        } else {
          *out++ = detail::OverWhite(c[ch], a);
        }
      }
    }
    if (!icc.empty()) detail::ConvertToSrgb(image, icc);
  }
  return image;
}

}  // namespace

bool IsTiff(Bytes data) { return detail::TiffHeader(data); }

Image ReadTiff(Bytes data, const LoadOptions&) {
  MemoryFile file;
  file.data = data.data();
  file.size = data.size();
  std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
  if (!options) throw std::bad_alloc();
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxSingleAllocation);
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), OnError, &file);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), OnWarning, &file);
  std::unique_ptr<TIFF, TiffCloser> tif(TIFFClientOpenExt("memory", "rm", &file, ReadProc, WriteProc, SeekProc,
                                                          CloseProc, SizeProc, MapProc, UnmapProc, options.get()));
  if (!tif) Fail(file, "cannot open");

  std::uint32_t width = 0, height = 0;
  if (!TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height)) {
    Fail(file, "no size");
  }
  detail::CheckDimensions(width, height, "tiff");
  std::uint16_t bits = 1, samples = 1, photometric = 0, orientation = ORIENTATION_TOPLEFT, unit = RESUNIT_INCH;
  std::uint16_t planar = PLANARCONFIG_CONTIG, inkset = INKSET_CMYK;
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_ORIENTATION, &orientation);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_RESOLUTIONUNIT, &unit);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_INKSET, &inkset);
  float resX = 0, resY = 0;
  const bool hasResolution =
      TIFFGetField(tif.get(), TIFFTAG_XRESOLUTION, &resX) && TIFFGetField(tif.get(), TIFFTAG_YRESOLUTION, &resY);
  std::uint32_t iccLength = 0;
  void* iccData = nullptr;
  std::span<const std::uint8_t> icc;
  if (TIFFGetField(tif.get(), TIFFTAG_ICCPROFILE, &iccLength, &iccData) && iccData) {
    icc = {static_cast<const std::uint8_t*>(iccData), iccLength};
  }

  Image image;
  if (photometric == PHOTOMETRIC_SEPARATED && inkset == INKSET_CMYK && bits == 16 && samples >= 4 &&
      planar == PLANARCONFIG_CONTIG && !TIFFIsTiled(tif.get())) {
    image = ReadCmyk16(tif.get(), file, width, height, samples, icc);
  } else {
    image = ReadThroughRgba(tif.get(), file, width, height, icc);
  }
  image.storedBitsPerPixel = int(bits) * int(samples);
  if (hasResolution && resX > 0 && resY > 0 && unit != RESUNIT_NONE) {
    const double scale = unit == RESUNIT_CENTIMETER ? 2.54 : 1.0;
    image.dpiX = resX * scale;
    image.dpiY = resY * scale;
  }
  detail::ApplyOrientation(image, orientation);
  detail::SetSourceSizeToSize(image);
  return image;
}

}  // namespace mirelo::imaging
