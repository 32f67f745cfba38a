// Windows and OS/2 bitmaps: our own reader and writer.
//
// Reader decisions:
// - Indexed files (1, 2, 4, 8 bits, RLE4, RLE8) load as Palette8 with the file's own palette;
//   direct-colour files load as Rgb24. A pixel index beyond the palette is a corrupt file.
// - Pixels that an RLE delta or an early end-of-bitmap skips get palette index 0, as other
//   decoders do.
// - Bit-field channels of any width are scaled to 8 bits by bit replication (a 5- or 6-bit
//   maximum becomes 255). Alpha is used only with BI_BITFIELDS/BI_ALPHABITFIELDS and a non-zero
//   alpha mask, and is ignored when every pixel has alpha 0 (writers that leave the byte unset);
//   otherwise it is flattened onto white.
// - A pixel array that is short only by the padding of its last row is accepted (many writers
//   drop it); anything shorter is a truncated file. An RLE stream must not run past a padded
//   row or the picture and must reach its last row or an end-of-bitmap marker.
// - OS/2 2.x Huffman and RLE24 compressions and RLE pictures stored top-down are refused.
// - Densities: 0 means unset (96 dpi); negative or absurd densities mark a corrupt file.

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "platform/error.h"
#include "platform/imaging/byte_reader.h"
#include "platform/imaging/codec_common.h"
#include "platform/imaging/codecs.h"

namespace mirelo::imaging {
namespace {

constexpr std::uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiJpeg = 4, kBiPng = 5,
                        kBiAlphaBitfields = 6;
constexpr std::size_t kFileHeaderSize = 14;
constexpr double kMetresPerInch = 0.0254;
// 1,000,000 pixels per metre is 25,400 dpi; nothing real is denser.
constexpr std::int32_t kMaxPixelsPerMetre = 1'000'000;

struct BmpHeader {
  std::uint32_t offBits = 0;
  std::uint32_t headerSize = 0;
  bool os2 = false;  // OS/2 core (12 bytes) or OS/2 2.x (16 or 64 bytes)
  std::int64_t width = 0;
  std::int64_t height = 0;  // absolute value
  bool topDown = false;
  int planes = 1;
  int bpp = 0;
  std::uint32_t compression = kBiRgb;
  std::int32_t xppm = 0, yppm = 0;
  std::uint32_t clrUsed = 0;
  std::uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
  std::size_t paletteStart = 0;
};

struct Channel {
  std::uint32_t mask = 0;
  int shift = 0;
  int bits = 0;
};

Channel MakeChannel(std::uint32_t mask, bool required) {
  Channel c;
  c.mask = mask;
  if (mask == 0) {
    if (required) ThrowCorrupt("bmp: empty colour mask");
    return c;
  }
  c.shift = std::countr_zero(mask);
  c.bits = std::popcount(mask);
  if (std::popcount((mask >> c.shift) + 1ULL) != 1) ThrowCorrupt("bmp: colour mask is not contiguous");
  return c;
}

// Scales a channel value of `bits` bits to 8 bits: replication for narrow fields (so the
// maximum stays the maximum), rounding division for wide ones.
std::uint8_t ScaleChannel(std::uint32_t v, int bits) {
  if (bits == 8) return static_cast<std::uint8_t>(v);
  if (bits > 8) {
    const std::uint64_t max = (std::uint64_t{1} << bits) - 1;
    return static_cast<std::uint8_t>((std::uint64_t{v} * 255 + max / 2) / max);
  }
  std::uint32_t out = 0;
  int pos = 8;
  while (pos > 0) {
    pos -= bits;
    out |= pos >= 0 ? v << pos : v >> -pos;
  }
  return static_cast<std::uint8_t>(out);
}

std::uint8_t Extract(std::uint32_t pixel, const Channel& c) {
  if (c.mask == 0) return 0;
  return ScaleChannel((pixel & c.mask) >> c.shift, c.bits);
}

double DpiFromPpm(std::int32_t ppm) {
  if (ppm == 0) return 96.0;
  double dpi = ppm * kMetresPerInch;
  // 2835 pixels per metre is what 72 dpi becomes after rounding; give the user 72 back.
  const double whole = std::round(dpi);
  return std::abs(dpi - whole) < 0.05 ? whole : dpi;
}

BmpHeader ReadHeader(ByteReader& r) {
  BmpHeader h;
  if (r.u8() != 'B' || r.u8() != 'M') ThrowCorrupt("bmp: no signature");
  r.skip(8);  // file size and reserved words: writers get them wrong too often to trust
  h.offBits = r.u32le();
  h.headerSize = r.u32le();
  const std::size_t headerStart = kFileHeaderSize;
  switch (h.headerSize) {
    case 12: {
      h.os2 = true;
      h.width = r.u16le();
      h.height = r.u16le();
      h.planes = r.u16le();
      h.bpp = r.u16le();
      break;
    }
    case 16:
    case 64:
    case 40:
    case 52:
    case 56:
    case 108:
    case 124: {
      h.os2 = h.headerSize == 16 || h.headerSize == 64;
      // Read the whole header first so a short file fails before we interpret anything.
      ByteReader hr(r.take(h.headerSize - 4));
      const std::int32_t w = hr.i32le();
      const std::int32_t ht = hr.i32le();
      h.planes = hr.u16le();
      h.bpp = hr.u16le();
      if (h.headerSize >= 40) {
        h.compression = hr.u32le();
        hr.skip(4);  // image size: unreliable, the real size follows from the other fields
        h.xppm = hr.i32le();
        h.yppm = hr.i32le();
        h.clrUsed = hr.u32le();
        hr.skip(4);  // important colours
      }
      if (ht == INT32_MIN) ThrowCorrupt("bmp: bad height");
      h.width = w;
      h.height = ht < 0 ? -std::int64_t{ht} : ht;
      h.topDown = ht < 0;
      if (h.os2) {
        // OS/2 2.x reuses these numbers for its own compressions, which we do not support.
        if (h.compression == 3 || h.compression == 4) ThrowCorrupt("bmp: OS/2 Huffman or RLE24 compression");
        h.xppm = h.yppm = 0;  // OS/2 2.x stores a units field we do not trust
      } else if (h.headerSize >= 52) {
        h.masks[0] = hr.u32le();
        h.masks[1] = hr.u32le();
        h.masks[2] = hr.u32le();
        if (h.headerSize >= 56) h.masks[3] = hr.u32le();
      }
      break;
    }
    default:
      ThrowCorrupt("bmp: unknown header size");
  }
  std::size_t afterHeader = headerStart + h.headerSize;
  if (h.headerSize == 40 && (h.compression == kBiBitfields || h.compression == kBiAlphaBitfields)) {
    h.masks[0] = r.u32le();
    h.masks[1] = r.u32le();
    h.masks[2] = r.u32le();
    afterHeader += 12;
    if (h.compression == kBiAlphaBitfields) {
      h.masks[3] = r.u32le();
      afterHeader += 4;
    }
  }
  h.paletteStart = afterHeader;
  return h;
}

void Validate(const BmpHeader& h, std::size_t fileSize) {
  detail::CheckDimensions(h.width, h.height, "bmp");
  if (h.planes != 1) ThrowCorrupt("bmp: planes must be 1");
  // A JPEG or PNG stream carries its own depth; the header says 0.
  const bool embedded = h.compression == kBiJpeg || h.compression == kBiPng;
  switch (embedded ? 24 : h.bpp) {
    case 1:
    case 2:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
      break;
    default:
      ThrowCorrupt("bmp: bad bit count");
  }
  switch (h.compression) {
    case kBiRgb:
      break;
    case kBiRle8:
      if (h.bpp != 8) ThrowCorrupt("bmp: RLE8 needs 8 bits");
      break;
    case kBiRle4:
      if (h.bpp != 4) ThrowCorrupt("bmp: RLE4 needs 4 bits");
      break;
    case kBiBitfields:
    case kBiAlphaBitfields:
      if (h.bpp != 16 && h.bpp != 32) ThrowCorrupt("bmp: bit fields need 16 or 32 bits");
      break;
    case kBiJpeg:
    case kBiPng:
      if (h.os2) ThrowCorrupt("bmp: bad compression");
      break;
    default:
      ThrowCorrupt("bmp: unknown compression");
  }
  if ((h.compression == kBiRle8 || h.compression == kBiRle4) && h.topDown) {
    ThrowCorrupt("bmp: compressed pictures cannot be top-down");
  }
  if (h.xppm < 0 || h.yppm < 0 || h.xppm > kMaxPixelsPerMetre || h.yppm > kMaxPixelsPerMetre) {
    ThrowCorrupt("bmp: bad density");
  }
  if (h.offBits < h.paletteStart || h.offBits > fileSize) ThrowCorrupt("bmp: bad pixel data offset");
}

std::vector<Rgb> ReadPalette(const BmpHeader& h, Bytes data) {
  const std::size_t entry = h.headerSize == 12 ? 3 : 4;
  const std::size_t maxColors = std::size_t{1} << h.bpp;
  std::size_t stored = h.clrUsed;
  if (stored == 0) {
    // Short palettes exist (mostly OS/2): trust the gap before the pixels over 2^bpp.
    stored = std::min(maxColors, (h.offBits - h.paletteStart) / entry);
  }
  if (stored == 0) ThrowCorrupt("bmp: indexed picture without palette");
  if (stored > (data.size() - h.paletteStart) / entry) ThrowCorrupt("bmp: palette is truncated");
  const std::size_t used = std::min(stored, maxColors);
  std::vector<Rgb> palette(used);
  const std::uint8_t* p = data.data() + h.paletteStart;
  for (std::size_t i = 0; i < used; ++i, p += entry) palette[i] = Rgb{p[2], p[1], p[0]};
  return palette;
}

void CheckIndex(unsigned index, std::size_t paletteSize) {
  if (index >= paletteSize) ThrowCorrupt("bmp: pixel index beyond the palette");
}

// RLE4 and RLE8. Rows are decoded bottom-up into `image` (Palette8, zero-filled).
void DecodeRle(const BmpHeader& h, Bytes data, Image& image) {
  ByteReader r(data.subspan(h.offBits));
  const bool rle4 = h.compression == kBiRle4;
  const std::int64_t width = h.width, height = h.height;
  const std::size_t paletteSize = image.palette.size();
  std::int64_t x = 0, y = 0;  // y counts from the bottom row
  // Some writers (ImageMagick among them) encode the row padding too; runs may therefore
  // reach the padded row width, and what lies beyond the picture is dropped.
  const std::int64_t paddedWidth = (width * h.bpp + 31) / 32 * 32 / h.bpp;
  auto put = [&](unsigned index) {
    CheckIndex(index, paletteSize);
    if (x < width) image.row(static_cast<int>(height - 1 - y))[x] = static_cast<std::uint8_t>(index);
    ++x;
  };
  auto needRoom = [&](std::int64_t count) {
    if (y >= height || x + count > paddedWidth) ThrowCorrupt("bmp: RLE run past the picture");
  };
  while (true) {
    if (r.atEnd()) {
      // No end-of-bitmap marker: fine when every row was finished.
      if (y >= height) return;
      ThrowCorrupt("bmp: RLE data is truncated");
    }
    const unsigned count = r.u8();
    const unsigned value = r.u8();
    if (count > 0) {
      needRoom(count);
      for (unsigned i = 0; i < count; ++i) {
        put(rle4 ? ((i & 1) ? (value & 0x0F) : (value >> 4)) : value);
      }
      continue;
    }
    switch (value) {
      case 0:  // end of line
        x = 0;
        ++y;
        break;
      case 1:  // end of bitmap
        return;
      case 2: {  // delta
        const unsigned dx = r.u8();
        const unsigned dy = r.u8();
        x += dx;
        y += dy;
        if (x > paddedWidth || y > height || (y == height && x > 0))
          ThrowCorrupt("bmp: RLE delta past the picture");
        break;
      }
      default: {  // absolute run, padded to a 16-bit boundary
        const unsigned n = value;
        needRoom(n);
        const std::size_t bytes = rle4 ? (n + 1) / 2 : n;
        auto run = r.take(bytes + (bytes & 1));
        for (unsigned i = 0; i < n; ++i) {
          put(rle4 ? ((i & 1) ? (run[i / 2] & 0x0F) : (run[i / 2] >> 4)) : run[i]);
        }
        break;
      }
    }
  }
}

void DecodeIndexed(const BmpHeader& h, Bytes rows, std::size_t stride, Image& image) {
  const std::size_t paletteSize = image.palette.size();
  const int bpp = h.bpp;
  const unsigned mask = (1u << bpp) - 1;
  for (std::int64_t y = 0; y < h.height; ++y) {
    const std::uint8_t* src = rows.data() + static_cast<std::size_t>(y) * stride;
    std::uint8_t* dst = image.row(static_cast<int>(h.topDown ? y : h.height - 1 - y));
    for (std::int64_t x = 0; x < h.width; ++x) {
      const std::size_t bit = static_cast<std::size_t>(x) * bpp;
      const unsigned index = (src[bit / 8] >> (8 - bpp - bit % 8)) & mask;
      CheckIndex(index, paletteSize);
      dst[x] = static_cast<std::uint8_t>(index);
    }
  }
}

void DecodeDirect(const BmpHeader& h, Bytes rows, std::size_t stride, Image& image) {
  const bool fields = h.compression == kBiBitfields || h.compression == kBiAlphaBitfields;
  Channel red, green, blue, alpha;
  if (h.bpp == 16 || h.bpp == 32) {
    if (fields) {
      red = MakeChannel(h.masks[0], true);
      green = MakeChannel(h.masks[1], true);
      blue = MakeChannel(h.masks[2], true);
      alpha = MakeChannel(h.masks[3], false);
    } else if (h.bpp == 16) {  // the default 16-bit layout is 5-5-5
      red = MakeChannel(0x7C00, true);
      green = MakeChannel(0x03E0, true);
      blue = MakeChannel(0x001F, true);
    } else {
      red = MakeChannel(0x00FF0000, true);
      green = MakeChannel(0x0000FF00, true);
      blue = MakeChannel(0x000000FF, true);
    }
  }
  if (h.bpp != 24) {
    const std::uint64_t limit = h.bpp == 16 ? 0xFFFF : 0xFFFFFFFF;
    const std::uint64_t all = std::uint64_t{red.mask} | green.mask | blue.mask | alpha.mask;
    const bool overlap = (red.mask & green.mask) || (red.mask & blue.mask) || (green.mask & blue.mask) ||
                         (alpha.mask & (red.mask | green.mask | blue.mask));
    if (all > limit || overlap) ThrowCorrupt("bmp: bad colour masks");
  }
  std::vector<std::uint8_t> alphaValues;
  if (alpha.mask) alphaValues.resize(static_cast<std::size_t>(h.width * h.height));
  for (std::int64_t y = 0; y < h.height; ++y) {
    const std::uint8_t* src = rows.data() + static_cast<std::size_t>(y) * stride;
    const std::int64_t outY = h.topDown ? y : h.height - 1 - y;
    std::uint8_t* dst = image.row(static_cast<int>(outY));
    for (std::int64_t x = 0; x < h.width; ++x, dst += 3) {
      if (h.bpp == 24) {
        dst[0] = src[2];
        dst[1] = src[1];
        dst[2] = src[0];
        src += 3;
        continue;
      }
      std::uint32_t pixel;
      if (h.bpp == 16) {
        pixel = std::uint32_t(src[0]) | std::uint32_t(src[1]) << 8;
        src += 2;
      } else {
        pixel = std::uint32_t(src[0]) | std::uint32_t(src[1]) << 8 | std::uint32_t(src[2]) << 16 |
                std::uint32_t(src[3]) << 24;
        src += 4;
      }
      dst[0] = Extract(pixel, red);
      dst[1] = Extract(pixel, green);
      dst[2] = Extract(pixel, blue);
      if (alpha.mask) alphaValues[static_cast<std::size_t>(outY * h.width + x)] = Extract(pixel, alpha);
    }
  }
  if (alphaValues.empty() ||
      std::all_of(alphaValues.begin(), alphaValues.end(), [](std::uint8_t a) { return a == 0; })) {
    return;
  }
  for (std::size_t i = 0; i < alphaValues.size(); ++i) {
    const unsigned a = alphaValues[i];
    for (int c = 0; c < 3; ++c) {
      std::uint8_t& v = image.pixels[3 * i + static_cast<std::size_t>(c)];
      v = static_cast<std::uint8_t>((v * a + 255 * (255 - a) + 127) / 255);
    }
  }
}

}  // namespace

bool IsBmp(Bytes data) { return data.size() >= 2 && data[0] == 'B' && data[1] == 'M'; }

Image ReadBmp(Bytes data, const LoadOptions& options) {
  ByteReader r(data);
  const BmpHeader h = ReadHeader(r);
  Validate(h, data.size());

  if (h.compression == kBiJpeg || h.compression == kBiPng) {
    // A bitmap header around a whole JPEG or PNG stream.
    Bytes inner = data.subspan(h.offBits);
    Image image = h.compression == kBiJpeg ? ReadJpeg(inner, options) : ReadPng(inner, options);
    if (h.xppm > 0 && h.yppm > 0) {
      image.dpiX = DpiFromPpm(h.xppm);
      image.dpiY = DpiFromPpm(h.yppm);
    }
    return image;
  }

  const bool indexed = h.bpp <= 8;
  Image image;
  image.width = static_cast<int>(h.width);
  image.height = static_cast<int>(h.height);
  image.sourceWidth = image.width;
  image.sourceHeight = image.height;
  image.format = indexed ? PixelFormat::Palette8 : PixelFormat::Rgb24;
  image.storedBitsPerPixel = h.bpp;
  image.dpiX = DpiFromPpm(h.xppm);
  image.dpiY = DpiFromPpm(h.yppm);
  if (indexed) image.palette = ReadPalette(h, data);

  if (h.compression == kBiRle8 || h.compression == kBiRle4) {
    image.pixels.assign(image.stride() * static_cast<std::size_t>(image.height), 0);
    DecodeRle(h, data, image);
    return image;
  }

  // Widths are at most 32767 and depths 32 bits, so 64-bit arithmetic cannot overflow here.
  const std::uint64_t rowBits = static_cast<std::uint64_t>(h.width) * static_cast<std::uint64_t>(h.bpp);
  const std::uint64_t stride = (rowBits + 31) / 32 * 4;
  const std::uint64_t lastRow = (rowBits + 7) / 8;
  const std::uint64_t needed = stride * static_cast<std::uint64_t>(h.height - 1) + lastRow;
  const std::uint64_t available = data.size() - h.offBits;
  if (available < needed) ThrowCorrupt("bmp: pixel data is truncated");
  // The last row may lack its padding; give the decoder a full-stride view all the same.
  std::vector<std::uint8_t> padded;
  Bytes rows = data.subspan(h.offBits);
  if (available < stride * static_cast<std::uint64_t>(h.height)) {
    padded.assign(rows.begin(), rows.end());
    padded.resize(static_cast<std::size_t>(stride * static_cast<std::uint64_t>(h.height)), 0);
    rows = padded;
  }
  image.pixels.assign(image.stride() * static_cast<std::size_t>(image.height), 0);
  if (indexed) {
    DecodeIndexed(h, rows, static_cast<std::size_t>(stride), image);
  } else {
    DecodeDirect(h, rows, static_cast<std::size_t>(stride), image);
  }
  return image;
}

std::vector<std::uint8_t> WriteBmp(const Image& image, const SaveParams&) {
  if (image.empty() || image.width > kMaxSide || image.height > kMaxSide ||
      image.pixels.size() < image.stride() * static_cast<std::size_t>(image.height)) {
    throw Error(err::kInvalidPropertyValue, "bmp: no picture to write");
  }
  const bool palette = image.format == PixelFormat::Palette8;
  const int bpp = palette ? 8 : 24;
  const std::size_t stride = (static_cast<std::size_t>(image.width) * bpp + 31) / 32 * 4;
  const std::size_t colours = palette ? std::clamp<std::size_t>(image.palette.size(), 1, 256) : 0;
  const std::size_t offBits = kFileHeaderSize + 40 + colours * 4;
  const std::size_t imageSize = stride * static_cast<std::size_t>(image.height);
  const std::size_t fileSize = offBits + imageSize;
  if (fileSize > 0xFFFFFFFFu) throw Error(err::kInvalidPropertyValue, "bmp: picture too large to write");
  auto ppm = [](double dpi) -> std::uint32_t {
    const double v = std::nearbyint(dpi / kMetresPerInch);
    return v > 0 && v < 2147483647.0 ? static_cast<std::uint32_t>(v) : 0;
  };

  std::vector<std::uint8_t> out;
  out.reserve(fileSize);
  PutU8(out, 'B');
  PutU8(out, 'M');
  PutU32le(out, static_cast<std::uint32_t>(fileSize));
  PutU32le(out, 0);
  PutU32le(out, static_cast<std::uint32_t>(offBits));
  PutU32le(out, 40);
  PutU32le(out, static_cast<std::uint32_t>(image.width));
  PutU32le(out, static_cast<std::uint32_t>(image.height));  // positive: bottom-up
  PutU16le(out, 1);
  PutU16le(out, static_cast<unsigned>(bpp));
  PutU32le(out, kBiRgb);
  PutU32le(out, static_cast<std::uint32_t>(imageSize));
  PutU32le(out, ppm(image.dpiX));
  PutU32le(out, ppm(image.dpiY));
  PutU32le(out, static_cast<std::uint32_t>(colours));
  PutU32le(out, 0);
  for (std::size_t i = 0; i < colours; ++i) {
    const Rgb c = i < image.palette.size() ? image.palette[i] : Rgb{};
    PutU8(out, c.b);
    PutU8(out, c.g);
    PutU8(out, c.r);
    PutU8(out, 0);
  }
  std::vector<std::uint8_t> row(stride, 0);
  for (int y = image.height - 1; y >= 0; --y) {
    const std::uint8_t* src = image.row(y);
    if (palette) {
      for (int x = 0; x < image.width; ++x) row[static_cast<std::size_t>(x)] = src[x] < colours ? src[x] : 0;
    } else {
      for (int x = 0; x < image.width; ++x) {
        std::uint8_t* d = &row[static_cast<std::size_t>(x) * 3];
        if (image.format == PixelFormat::Gray8) {
          d[0] = d[1] = d[2] = src[x];
        } else {
          d[0] = src[3 * x + 2];
          d[1] = src[3 * x + 1];
          d[2] = src[3 * x];
        }
      }
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

}  // namespace mirelo::imaging
