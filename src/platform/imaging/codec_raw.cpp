// Camera RAW through LibRaw, from memory. A thumbnail step is served by the camera's embedded
// preview when it is large enough; otherwise the sensor data is demosaiced (at half size when
// that still suffices) with the camera's white balance into 8-bit sRGB. Whatever the path, the
// source size is the RAW's own upright size, so the output never depends on the path taken.

#include <libraw/libraw.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"
#include "platform/imaging/codec_common.h"
#include "platform/imaging/codecs.h"
#include "platform/imaging/exif_orientation.h"
#include "platform/imaging/tiff_fields.h"

namespace mirelo::imaging {
namespace {

// LibRaw's ceiling for the sensor data it allocates (a 200-megapixel sensor at 16 bits takes
// 400 MB; its demosaic buffers are counted by the pixel limits instead).
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr unsigned kMaxRawMemoryMb = 64;
#else
constexpr unsigned kMaxRawMemoryMb = 1024;
#endif

// ---------------------------------------------------------------------------------------------
// Recognising a camera RAW among TIFF-structured files: the DNG version tag, Canon's CR2 mark, or
// colour-filter-array / linear-raw data in any IFD of the main chain or their sub-IFDs. An
// ordinary TIFF has none of these and stays with the TIFF reader.

struct TiffWalker : detail::TiffFields {
  // True when the IFD at `offset` (or, one level down, a sub-IFD of it) holds raw sensor data.
  // `next` receives the offset of the following IFD of the chain (0 at its end).
  bool IfdIsRaw(std::uint32_t offset, int depth, std::uint32_t* next) const {
    *next = 0;
    unsigned count = 0;
    if (!U16(offset, &count) || count > 1000) return false;
    bool raw = false;
    for (unsigned i = 0; i < count && !raw; ++i) {
      const std::size_t entry = std::size_t(offset) + 2 + std::size_t(i) * 12;
      unsigned tag = 0, type = 0;
      std::uint32_t n = 0;
      if (!U16(entry, &tag) || !U16(entry + 2, &type) || !U32(entry + 4, &n)) return false;
      if (tag == 0xC612) raw = true;  // DNGVersion
      unsigned photometric = 0;
      if (tag == 0x0106 && type == 3 && U16(entry + 8, &photometric)) {
        raw = photometric == 32803 || photometric == 34892;  // CFA, LinearRaw
      }
      if (tag == 0x014A && depth == 0 && (type == 4 || type == 13) && n >= 1 && n <= 16) {  // SubIFDs
        std::uint32_t at = entry + 8;
        if (n > 1 && !U32(entry + 8, &at)) return false;
        for (std::uint32_t k = 0; k < n && !raw; ++k) {
          std::uint32_t sub = 0, ignored = 0;
          if (!U32(std::size_t(at) + 4 * k, &sub)) break;
          raw = IfdIsRaw(sub, depth + 1, &ignored);
        }
      }
    }
    std::uint32_t link = 0;
    if (U32(std::size_t(offset) + 2 + std::size_t(count) * 12, &link)) *next = link;
    return raw;
  }

  // Values of a SHORT or LONG array entry.
  bool Array(std::size_t entry, std::vector<std::uint32_t>* out) const {
    unsigned type = 0;
    std::uint32_t n = 0;
    if (!U16(entry + 2, &type) || !U32(entry + 4, &n) || (type != 3 && type != 4 && type != 13) ||
        n > (1u << 20)) {
      return false;
    }
    const std::size_t size = type == 3 ? 2 : 4;
    std::uint32_t at = std::uint32_t(entry + 8);
    if (n * size > 4 && !U32(entry + 8, &at)) return false;
    out->resize(n);
    for (std::uint32_t i = 0; i < n; ++i) {
      unsigned v16 = 0;
      if (type == 3 ? !U16(at + std::size_t(i) * 2, &v16) : !U32(at + std::size_t(i) * 4, &(*out)[i]))
        return false;
      if (type == 3) (*out)[i] = v16;
    }
    return true;
  }

  // True when everything the IFD at `offset` (and its sub-IFDs) points to lies inside the file:
  // LibRaw reads zeros past the end, so a cut file would otherwise pass for a picture with wrong
  // colours or grey where the data was.
  bool IfdWhole(std::uint32_t offset, int depth, std::uint32_t* next) const {
    *next = 0;
    unsigned count = 0;
    if (!U16(offset, &count) || count > 1000) return false;
    std::vector<std::uint32_t> offsets, counts;
    for (unsigned i = 0; i < count; ++i) {
      const std::size_t entry = std::size_t(offset) + 2 + std::size_t(i) * 12;
      unsigned tag = 0, type = 0;
      std::uint32_t n = 0, at = 0;
      if (!U16(entry, &tag) || !U16(entry + 2, &type) || !U32(entry + 4, &n) || !U32(entry + 8, &at))
        return false;
      static constexpr std::uint8_t kTypeSize[14] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
      const std::uint64_t size = type < 14 ? std::uint64_t(kTypeSize[type]) * n : 0;
      if (size > 4 && std::uint64_t(at) + size > data.size()) return false;
      if ((tag == 273 || tag == 324) && !Array(entry, &offsets)) return false;  // strip or tile offsets
      if ((tag == 279 || tag == 325) && !Array(entry, &counts)) return false;
      if (tag == 0x014A && depth == 0 && (type == 4 || type == 13) && n >= 1 && n <= 16) {
        std::vector<std::uint32_t> subs;
        if (!Array(entry, &subs)) return false;
        for (std::uint32_t sub : subs) {
          std::uint32_t ignored = 0;
          if (!IfdWhole(sub, depth + 1, &ignored)) return false;
        }
      }
    }
    if (offsets.size() != counts.size()) return false;
    for (std::size_t i = 0; i < offsets.size(); ++i) {
      if (std::uint64_t(offsets[i]) + counts[i] > data.size()) return false;
    }
    return U32(std::size_t(offset) + 2 + std::size_t(count) * 12, next);
  }
};

// Every IFD of the main chain and everything they point to are inside the file.
bool TiffWhole(Bytes data) {
  TiffWalker tiff{{data, data[0] == 'M'}};
  std::uint32_t ifd = 0;
  if (!tiff.U32(4, &ifd)) return false;
  for (int i = 0; i < 8 && ifd != 0; ++i) {
    std::uint32_t next = 0;
    if (!tiff.IfdWhole(ifd, 0, &next)) return false;
    if (next <= ifd) break;
    ifd = next;
  }
  return true;
}

bool IsTiffRaw(Bytes data) {
  if (data.size() < 16) return false;
  TiffWalker tiff{{data, data[0] == 'M'}};
  if ((data[0] != 'I' || data[1] != 'I') && (data[0] != 'M' || data[1] != 'M')) return false;
  unsigned magic = 0;
  std::uint32_t ifd = 0;
  if (!tiff.U16(2, &magic) || magic != 42 || !tiff.U32(4, &ifd)) return false;
  if (data[8] == 'C' && data[9] == 'R' && data[10] == 2) return true;  // Canon CR2
  for (int i = 0; i < 8 && ifd != 0; ++i) {
    std::uint32_t next = 0;
    if (tiff.IfdIsRaw(ifd, 0, &next)) return true;
    if (next <= ifd) break;  // the chain only moves forward; anything else is a loop
    ifd = next;
  }
  return false;
}

bool StartsWith(Bytes data, std::size_t at, const char* text, std::size_t length) {
  return data.size() >= at + length && std::memcmp(data.data() + at, text, length) == 0;
}

// ---------------------------------------------------------------------------------------------
// Decoding

struct RawFailure {
  int errors = 0;
};

void OnDataError(void* user, const char*, const int) { ++static_cast<RawFailure*>(user)->errors; }

struct MemImageFree {
  void operator()(libraw_processed_image_t* p) const { LibRaw::dcraw_clear_mem(p); }
};

[[noreturn]] void Fail(int code, const char* step) {
  detail::ThrowInvalidFormat(std::string("raw: ") + step + ": " + libraw_strerror(code));
}

// LibRaw's flip (dcraw's bits: 1 mirror, 2 upside down, 4 transpose) as an EXIF orientation.
int OrientationOfFlip(int flip) {
  static constexpr int kOrientation[8] = {1, 2, 4, 3, 5, 8, 6, 7};
  return kOrientation[flip & 7];
}

// The EXIF orientation a JPEG preview carries itself (the JPEG reader applies it), 1 when none.
int JpegOwnOrientation(Bytes jpeg) {
  std::size_t at = 2;
  while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
    const unsigned marker = jpeg[at + 1];
    const std::size_t length = (std::size_t(jpeg[at + 2]) << 8) | jpeg[at + 3];
    if (marker == 0xDA || length < 2 || at + 2 + length > jpeg.size()) break;
    if (marker == 0xE1) {
      const int o = detail::ExifOrientation(jpeg.subspan(at + 4, length - 2));
      if (o != 1) return o;
    }
    at += 2 + length;
  }
  return 1;
}

// LibRaw with access to where it found the embedded preview. LibRaw 0.20's own unpack_thumb()
// trusts the sizes a file declares (a crafted bitmap preview overruns the buffer it allocates),
// so the preview's bytes are taken from the file here, after checking that they lie inside it.
class RawProcessor : public LibRaw {
 public:
  RawProcessor() : LibRaw(LIBRAW_OPTIONS_NONE) {}

  // The JPEG preview's bytes, or empty when the preview is of another kind or not in the file.
  Bytes EmbeddedJpeg(Bytes file) const {
    if (write_thumb != &RawProcessor::jpeg_thumb || thumb_load_raw) return {};
    return Slice(file, imgdata.thumbnail.tlength);
  }

  // An 8-bit RGB preview stored uncompressed (row by row, no padding), or empty.
  Bytes EmbeddedRgb(Bytes file) const {
    const libraw_thumbnail_t& t = imgdata.thumbnail;
    if (write_thumb != &RawProcessor::ppm_thumb || thumb_load_raw || !detail::DimensionsOk(t.twidth, t.theight))
      return {};
    return Slice(file, std::uint64_t(t.twidth) * t.theight * 3);
  }

 private:
  Bytes Slice(Bytes file, std::uint64_t length) const {
    const std::int64_t offset = libraw_internal_data.internal_data.toffset;
    if (offset <= 0 || length == 0 || std::uint64_t(offset) > file.size() ||
        length > file.size() - std::uint64_t(offset)) {
      return {};
    }
    return file.subspan(std::size_t(offset), std::size_t(length));
  }
};

// The embedded preview, upright, when it has the RAW's proportions and is at least `need`;
// empty otherwise (the caller then demosaics).
Image UsablePreview(const RawProcessor& raw, Bytes file, Size full, Size need, int orientation) {
  const libraw_thumbnail_t& t = raw.imgdata.thumbnail;
  if (t.twidth > 0 && t.theight > 0) {
    const bool swap = detail::OrientationSwapsAxes(orientation);
    if ((swap ? t.theight : t.twidth) < need.width || (swap ? t.twidth : t.theight) < need.height) return {};
  }
  Image preview;
  try {
    if (const Bytes jpeg = raw.EmbeddedJpeg(file); !jpeg.empty()) {
      if (!IsJpeg(jpeg)) return {};
      // Reduced while decoding, as a JPEG file is; the need is the upright picture's, so it is
      // turned with the RAW's orientation when the preview does not carry one of its own.
      const bool turnAfter = JpegOwnOrientation(jpeg) == 1;
      const Size own = turnAfter && detail::OrientationSwapsAxes(orientation) ? Size{need.height, need.width} : need;
      LoadOptions reduce;
      reduce.minimumSize = [own](Size) { return own; };
      preview = ReadJpeg(jpeg, reduce);
      if (turnAfter) detail::ApplyOrientation(preview, orientation);
    } else if (const Bytes rgb = raw.EmbeddedRgb(file); !rgb.empty()) {
      preview = Image::blank(t.twidth, t.theight, PixelFormat::Rgb24);
      std::memcpy(preview.pixels.data(), rgb.data(), preview.pixels.size());
      detail::ApplyOrientation(preview, orientation);
    } else {
      return {};
    }
  } catch (const Error&) {
    return {};  // a damaged preview: the sensor data may still be whole
  }
  const std::int64_t pw = preview.width, ph = preview.height;
  if (pw < need.width || ph < need.height) return {};
  // Some cameras store a preview of another shape (a 16:9 screen image of a 3:2 sensor).
  if (std::llabs(pw * full.height - ph * full.width) * 50 > pw * full.height) return {};
  return preview;
}

// LibRaw 0.20 walks a CR3's boxes without checking their sizes: a box of size 0, or of size 1
// with a 64-bit size below 16, makes it read the same box for ever. The boxes LibRaw descends
// into are checked here first; each must lie within its parent.
bool Cr3BoxesSound(Bytes data, std::size_t begin, std::size_t end, int depth, int& boxes) {
  static constexpr std::uint8_t kCanonUuid[16] = {0x85, 0xc0, 0xb6, 0x87, 0x82, 0x0f, 0x11, 0xe0,
                                                  0x81, 0x11, 0xf4, 0xce, 0x46, 0x2b, 0x6a, 0x48};
  if (depth > 12) return false;
  for (std::size_t at = begin; at < end;) {
    if (++boxes > 100000 || end - at < 8) return false;
    std::uint64_t size = (std::uint64_t(data[at]) << 24) | (std::uint64_t(data[at + 1]) << 16) |
                         (std::uint64_t(data[at + 2]) << 8) | data[at + 3];
    std::size_t header = 8;
    if (size == 1) {
      if (end - at < 16) return false;
      size = 0;
      for (int i = 0; i < 8; ++i) size = (size << 8) | data[at + 8 + std::size_t(i)];
      header = 16;
    }
    if (size < header || size > end - at) return false;
    const std::string_view type(reinterpret_cast<const char*>(data.data() + at + 4), 4);
    const std::size_t inner = at + header, next = at + std::size_t(size);
    if (type == "moov" || type == "trak" || type == "mdia" || type == "minf" || type == "stbl" || type == "dinf") {
      if (!Cr3BoxesSound(data, inner, next, depth + 1, boxes)) return false;
    } else if (type == "uuid" && next - inner >= 16 && std::memcmp(data.data() + inner, kCanonUuid, 16) == 0) {
      if (!Cr3BoxesSound(data, inner + 16, next, depth + 1, boxes)) return false;
    }
    at = next;
  }
  return true;
}

}  // namespace

bool IsCameraRaw(Bytes data) {
  if (data.size() < 16) return false;
  if (StartsWith(data, 4, "ftypcrx ", 8)) return true;  // CR3
  if (StartsWith(data, 0, "FUJIFILM", 8) || StartsWith(data, 0, "IIRO", 4) ||
      StartsWith(data, 0, "IIRS", 4) || StartsWith(data, 0, "MMOR", 4) || StartsWith(data, 0, "IIU\0", 4) ||
      StartsWith(data, 6, "HEAPCCDR", 8) || StartsWith(data, 0, "\0MRM", 4) ||
      StartsWith(data, 0, "FOVb", 4) || StartsWith(data, 0, "IIII", 4) || StartsWith(data, 0, "MMMM", 4)) {
    return true;
  }
  return IsTiffRaw(data);
}

Image ReadRawInProcess(Bytes data, const LoadOptions& options) {
  if (detail::TiffHeader(data) && !TiffWhole(data))
    detail::ThrowInvalidFormat("raw: truncated or damaged file structure");
  int boxes = 0;
  if (StartsWith(data, 4, "ftypcrx ", 8) && !Cr3BoxesSound(data, 0, data.size(), 0, boxes))
    detail::ThrowInvalidFormat("raw: damaged CR3 box structure");
  auto raw = std::make_unique<RawProcessor>();
  RawFailure failure;
  raw->set_dataerror_handler(OnDataError, &failure);
  raw->imgdata.params.max_raw_memory_mb = kMaxRawMemoryMb;
  // LibRaw's buffer stream never writes to the buffer.
  int rc = raw->open_buffer(const_cast<std::uint8_t*>(data.data()), data.size());
  if (rc != LIBRAW_SUCCESS) Fail(rc, "open");
  const libraw_image_sizes_t& s = raw->imgdata.sizes;
  detail::CheckDimensions(s.raw_width, s.raw_height, "raw");
  detail::CheckDimensions(s.width, s.height, "raw");
  const int orientation = OrientationOfFlip(s.flip);
  const bool swap = detail::OrientationSwapsAxes(orientation);
  const Size full = swap ? Size{s.height, s.width} : Size{s.width, s.height};

  Image image;
  bool half = false;
  if (options.minimumSize) {
    const Size need = options.minimumSize(full);
    image = UsablePreview(*raw, data, full, need, orientation);
    half = full.width / 2 >= need.width && full.height / 2 >= need.height;
  }
  if (image.empty()) {
    libraw_output_params_t& p = raw->imgdata.params;
    p.use_camera_wb = 1;
    p.output_color = 1;  // sRGB
    p.output_bps = 8;
    p.half_size = half ? 1 : 0;
    if ((rc = raw->unpack()) != LIBRAW_SUCCESS) Fail(rc, "unpack");
    if (failure.errors) detail::ThrowInvalidFormat("raw: damaged or truncated sensor data");
    if ((rc = raw->dcraw_process()) != LIBRAW_SUCCESS) Fail(rc, "process");
    int err = LIBRAW_SUCCESS;
    std::unique_ptr<libraw_processed_image_t, MemImageFree> mem(raw->dcraw_make_mem_image(&err));
    if (!mem || err != LIBRAW_SUCCESS) Fail(err, "output");
    if (mem->type != LIBRAW_IMAGE_BITMAP || mem->bits != 8 || (mem->colors != 3 && mem->colors != 1)) {
      detail::ThrowInvalidFormat("raw: unexpected output layout");
    }
    detail::CheckDimensions(mem->width, mem->height, "raw");
    image = Image::blank(mem->width, mem->height, mem->colors == 3 ? PixelFormat::Rgb24 : PixelFormat::Gray8);
    if (mem->data_size < image.pixels.size()) detail::ThrowInvalidFormat("raw: short output");
    std::memcpy(image.pixels.data(), mem->data, image.pixels.size());
  }
  image.storedBitsPerPixel = image.format == PixelFormat::Gray8 ? 8 : 24;
  image.sourceWidth = full.width;
  image.sourceHeight = full.height;
  return image;
}

}  // namespace mirelo::imaging
