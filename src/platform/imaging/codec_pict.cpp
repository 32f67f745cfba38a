// Macintosh PICT: our own reader (version 1 and 2, raster opcodes, QuickTime JPEG) and writer
// (version 2, 24-bit direct pixels).
//
// Reader decisions:
// - The picture is drawn onto a white canvas of the picture frame (of the extended version 2
//   header's source rectangle when there is one). Vector drawing is not rendered; a picture
//   without any raster opcode is refused (20009) rather than passed off as a blank page.
// - A bitmap whose destination differs in size from its source rectangle is scaled by nearest
//   neighbour, as QuickDraw itself does. Clip and mask regions are skipped, not applied.
// - A QuickTime picture compressed as JPEG (opcode 0x8200) is returned as the embedded JPEG,
//   at its own size, when it is the first raster content of the picture.
// - Unknown opcodes are skipped by the sizes the opcode table reserves for their range. A
//   picture must end with the end-of-picture opcode; data cut anywhere is corrupt.
// - 32-bit pixels with a fourth (alpha) component are flattened onto white, unless every
//   alpha value is 0 (QuickDraw never wrote alpha, so zero means unused).
// - Packed rows whose byte counts do not parse at the width rowBytes implies (one byte up to
//   250) are read with the other width: ImageMagick writes two bytes from 201 on.
// - Indexed rows under 8 bytes are unpacked, unless only the packed reading (ImageMagick
//   packs them) is followed by the end of the picture.

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

#include "platform/error.h"
#include "platform/imaging/byte_reader.h"
#include "platform/imaging/codec_common.h"
#include "platform/imaging/codecs.h"
#include "platform/imaging/packbits.h"

namespace mirelo::imaging {
namespace {

constexpr std::size_t kPreamble = 512;
constexpr std::size_t kFrameEnd = 10;  // picture size word and frame rectangle

struct Rect {
  int top = 0, left = 0, bottom = 0, right = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool valid() const { return right > left && bottom > top; }
};

Rect ReadRect(ByteReader& r) {
  Rect rc;
  rc.top = r.i16be();
  rc.left = r.i16be();
  rc.bottom = r.i16be();
  rc.right = r.i16be();
  return rc;
}

// 16-bit colour table components to 8 bits. Tables normally hold c * 257; dividing by 257 keeps
// those exact and agrees with other decoders on the rest.
std::uint8_t To8(unsigned v) { return static_cast<std::uint8_t>(v / 257); }

void CheckSize(const Rect& rc) {
  if (!rc.valid()) ThrowCorrupt("pict: empty rectangle");
  detail::CheckDimensions(rc.width(), rc.height(), "pict");
}

// Which PICT version starts at `offset`: 1, 2, or 0 for none.
int VersionAt(Bytes data, std::size_t offset) {
  if (data.size() < offset + kFrameEnd + 4) return 0;
  const std::uint8_t* p = data.data() + offset;
  auto s16 = [](const std::uint8_t* q) { return static_cast<std::int16_t>(q[0] << 8 | q[1]); };
  if (s16(p + 6) <= s16(p + 2) || s16(p + 8) <= s16(p + 4)) return 0;
  const std::uint8_t* v = p + kFrameEnd;
  if (v[0] == 0x11 && v[1] == 0x01) return 1;
  if (v[0] == 0x00 && v[1] == 0x11 && v[2] == 0x02 && v[3] == 0xFF) return 2;
  return 0;
}

// The pixel layout of one bitmap or pixmap opcode.
struct PixMap {
  std::size_t rowBytes = 0;
  bool isPixMap = false;
  Rect bounds;
  int packType = 0;
  int pixelSize = 1;
  int cmpCount = 1;
  bool packed = false;
  std::vector<Rgb> palette;
};

class PictReader {
 public:
  PictReader(Bytes data, const LoadOptions& options) : data_(data), r_(data), options_(options) {}

  Image Read() {
    start_ = VersionAt(data_, kPreamble) ? kPreamble : 0;
    version_ = VersionAt(data_, start_);
    if (version_ == 0) ThrowCorrupt("pict: no picture header");
    r_.seek(start_ + 2);
    canvas_ = ReadRect(r_);
    r_.skip(version_ == 1 ? 2 : 4);
    while (true) {
      if (version_ == 2 && ((r_.pos() - start_) & 1)) r_.skip(1);
      const unsigned op = version_ == 2 ? r_.u16be() : r_.u8();
      if (op == 0x00FF) break;
      if (Opcode(op)) return std::move(*quicktime_);
    }
    if (image_.empty()) ThrowCorrupt("pict: no raster image in the picture");
    // Image::blank set the source size; a QuickTime JPEG keeps the one its decoder reported.
    image_.dpiX = dpiX_;
    image_.dpiY = dpiY_;
    image_.storedBitsPerPixel = depth_;
    return std::move(image_);
  }

 private:
  // Handles one opcode; true when a QuickTime JPEG ends the picture.
  bool Opcode(unsigned op) {
    switch (op) {
      case 0x0000:
      case 0x0017:
      case 0x0018:
      case 0x0019:
      case 0x001C:
      case 0x001E:
        return false;
      case 0x0001:
        SkipSized();
        return false;  // clip region
      case 0x0002:
      case 0x0009:
      case 0x000A:
      case 0x0010:
        r_.skip(8);
        return false;
      case 0x0003:
      case 0x0005:
      case 0x0008:
      case 0x000D:
      case 0x0015:
      case 0x0016:
      case 0x00A0:
        r_.skip(2);
        return false;
      case 0x0004:
        r_.skip(1);
        return false;
      case 0x0006:
      case 0x0007:
      case 0x000B:
      case 0x000C:
      case 0x000E:
      case 0x000F:
        r_.skip(4);
        return false;
      case 0x0011:
        r_.skip(version_ == 2 ? 2 : 1);
        return false;
      case 0x0012:
      case 0x0013:
      case 0x0014:
        SkipPixPat();
        return false;
      case 0x001A:
      case 0x001B:
      case 0x001D:
      case 0x001F:
        r_.skip(6);
        return false;
      case 0x0020:
        r_.skip(8);
        return false;
      case 0x0021:
        r_.skip(4);
        return false;
      case 0x0022:
        r_.skip(6);
        return false;
      case 0x0023:
        r_.skip(2);
        return false;
      case 0x0028:
        r_.skip(4);
        r_.skip(r_.u8());
        return false;
      case 0x0029:
      case 0x002A:
        r_.skip(1);
        r_.skip(r_.u8());
        return false;
      case 0x002B:
        r_.skip(2);
        r_.skip(r_.u8());
        return false;
      case 0x0090:
      case 0x0091:
      case 0x0098:
      case 0x0099:
        Bits(op, false);
        return false;
      case 0x009A:
      case 0x009B:
        Bits(op, true);
        return false;
      case 0x00A1:
        r_.skip(2);
        r_.skip(r_.u16be());
        return false;
      case 0x0C00:
        Header();
        return false;
      case 0x8200:
        return QuickTime();
      default:
        break;
    }
    if (op >= 0x0024 && op <= 0x002F)
      r_.skip(r_.u16be());
    else if (op >= 0x0030 && op <= 0x0037)
      r_.skip(8);  // rectangles
    else if (op >= 0x0038 && op <= 0x003F) {
    }  // same rectangle
    else if (op >= 0x0040 && op <= 0x0047)
      r_.skip(8);  // rounded rectangles
    else if (op >= 0x0048 && op <= 0x004F) {
    } else if (op >= 0x0050 && op <= 0x0057)
      r_.skip(8);  // ovals
    else if (op >= 0x0058 && op <= 0x005F) {
    } else if (op >= 0x0060 && op <= 0x0067)
      r_.skip(12);  // arcs
    else if (op >= 0x0068 && op <= 0x006F)
      r_.skip(4);
    else if (op >= 0x0070 && op <= 0x007F) {
      if (op <= 0x0077) SkipSized();
    }  // polygons
    else if (op >= 0x0080 && op <= 0x008F) {
      if (op <= 0x0087) SkipSized();
    }  // regions
    else if ((op >= 0x0092 && op <= 0x0097) || (op >= 0x009C && op <= 0x009F) ||
             (op >= 0x00A2 && op <= 0x00AF)) {
      r_.skip(r_.u16be());
    } else if (op >= 0x00B0 && op <= 0x00CF) {
    } else if (op >= 0x00D0 && op <= 0x00FE) {
      r_.skip(r_.u32be());
    } else if (version_ == 1) {
      ThrowCorrupt("pict: bad opcode");  // one-byte opcodes never exceed 0xFF
    } else if (op >= 0x0100 && op <= 0x7FFF) {
      r_.skip((op >> 8) * 2);
    } else if (op >= 0x8000 && op <= 0x80FF) {
    } else {
      r_.skip(r_.u32be());  // 0x8100..0xFFFF
    }
    return false;
  }

  // A region or polygon: a size word that counts itself.
  void SkipSized() {
    const unsigned size = r_.u16be();
    if (size < 2) ThrowCorrupt("pict: bad region size");
    r_.skip(size - 2);
  }

  void Header() {
    ByteReader h(r_.take(24));
    const std::int16_t kind = h.i16be();
    if (kind != -2) return;  // version 2 header at 72 dpi
    h.skip(2);
    const double hRes = h.u32be() / 65536.0;
    const double vRes = h.u32be() / 65536.0;
    const Rect src = ReadRect(h);
    if (hRes >= 1 && hRes <= 65535 && vRes >= 1 && vRes <= 65535) {
      dpiX_ = hRes;
      dpiY_ = vRes;
    }
    if (src.valid() && image_.empty()) canvas_ = src;
  }

  PixMap ReadPixMapFields(bool direct) {
    PixMap pm;
    const unsigned rb = r_.u16be();
    pm.isPixMap = (rb & 0x8000) != 0;
    pm.rowBytes = rb & 0x3FFF;
    pm.bounds = ReadRect(r_);
    if (pm.isPixMap) {
      r_.skip(2);  // version
      pm.packType = r_.u16be();
      r_.skip(4 + 8 + 2);  // pack size, resolution, pixel type
      pm.pixelSize = r_.u16be();
      pm.cmpCount = r_.u16be();
      r_.skip(2 + 4 + 4 + 4);  // component size, plane bytes, table handle, reserved
    } else if (direct) {
      ThrowCorrupt("pict: direct pixels without a pixel map");
    }
    CheckSize(pm.bounds);
    const bool ok =
        direct ? (pm.pixelSize == 16 || (pm.pixelSize == 32 && (pm.cmpCount == 3 || pm.cmpCount == 4)))
               : (pm.pixelSize == 1 || pm.pixelSize == 2 || pm.pixelSize == 4 || pm.pixelSize == 8);
    if (!ok) ThrowCorrupt("pict: unsupported pixel size");
    if (direct && pm.packType == 0) pm.packType = pm.pixelSize == 16 ? 3 : 4;
    if (direct && !((pm.pixelSize == 16 && pm.packType <= 3 && pm.packType != 2) ||
                    (pm.pixelSize == 32 && pm.packType != 3 && pm.packType <= 4))) {
      ThrowCorrupt("pict: bad pack type");
    }
    return pm;
  }

  // A device table (flag 0x8000) lists colours by position, any other by their value fields.
  // Values the table leaves out are drawn as ImageMagick draws them: below the entry count as
  // a grey ramp, above it in the colour of value 0.
  std::vector<Rgb> ReadColourTable() {
    r_.skip(4);  // seed
    const bool device = (r_.u16be() & 0x8000) != 0;
    const unsigned last = r_.u16be();
    if (last > 255) ThrowCorrupt("pict: colour table too large");
    std::vector<Rgb> palette(256);
    std::vector<bool> set(256);
    for (unsigned i = 0; i <= last; ++i) {
      const auto v = static_cast<std::uint8_t>(last ? (i * 255 + last / 2) / last : 0);
      palette[i] = Rgb{v, v, v};
      set[i] = true;
    }
    for (unsigned i = 0; i <= last; ++i) {
      const unsigned value = r_.u16be();
      const std::uint8_t red = To8(r_.u16be());
      const std::uint8_t green = To8(r_.u16be());
      const std::uint8_t blue = To8(r_.u16be());
      const unsigned index = device ? i : value;
      if (index < 256) {
        palette[index] = Rgb{red, green, blue};
        set[index] = true;
      }
    }
    for (unsigned i = 0; i < 256; ++i) {
      if (!set[i]) palette[i] = palette[0];
    }
    return palette;
  }

  // Decides how the rows are stored. Rows under 8 bytes and BitsRect rows are never packed;
  // unpacked 32-bit rows hold x R G B pixels whatever the pack type says.
  static void SetPacking(PixMap& pm, bool bitsRect) {
    const std::size_t minRowBytes =
        (static_cast<std::size_t>(pm.bounds.width()) * static_cast<std::size_t>(pm.pixelSize) + 7) / 8;
    if (pm.rowBytes < minRowBytes) ThrowCorrupt("pict: row bytes too small for the width");
    const bool direct = pm.pixelSize >= 16;
    pm.packed = !bitsRect && pm.rowBytes >= 8 && (!direct || pm.packType == 3 || pm.packType == 4);
    if (direct && !pm.packed && pm.packType != 2) pm.packType = 1;
    if (direct && pm.rowBytes < 8 && pm.packType == 2) pm.packType = 1;
  }

  // Bytes one row holds after unpacking.
  static std::size_t UnpackedRowBytes(const PixMap& pm) {
    const std::size_t w = static_cast<std::size_t>(pm.bounds.width());
    if (pm.pixelSize == 32 && pm.packType == 4) return w * static_cast<std::size_t>(pm.cmpCount);
    if (pm.pixelSize == 32 && pm.packType == 2) return w * 3;
    return (w * static_cast<std::size_t>(pm.pixelSize) + 7) / 8;
  }

  // Reads the pixel rows of a bitmap or pixmap into one buffer of UnpackedRowBytes() per row.
  // Row byte counts take two bytes when rowBytes exceeds 250, but writers disagree: ImageMagick
  // switches above 200, and some decide by the unpacked width of 32-bit planes. So when the
  // rows do not parse with one width they are read again with the other.
  std::vector<std::uint8_t> ReadRows(const PixMap& pm) {
    const std::size_t first = pm.rowBytes > 250 ? 2 : 1;
    if (!pm.packed) return ReadRows(pm, first);
    const std::size_t start = r_.pos();
    try {
      return ReadRows(pm, first);
    } catch (const Error&) {
      r_.seek(start);
      return ReadRows(pm, 3 - first);
    }
  }

  // ImageMagick packs indexed rows under 8 bytes too, which the format stores unpacked. Such
  // rows are taken as packed only when the unpacked reading does not end the picture and the
  // packed one does.
  std::vector<std::uint8_t> ReadIndexedRows(PixMap& pm) {
    if (pm.packed || !pm.isPixMap || version_ != 2) return ReadRows(pm);
    const std::size_t start = r_.pos();
    try {
      std::vector<std::uint8_t> rows = ReadRows(pm);
      if (EndFollows()) return rows;
    } catch (const Error&) {
    }
    r_.seek(start);
    pm.packed = true;
    try {
      std::vector<std::uint8_t> rows = ReadRows(pm, 1);
      if (EndFollows()) return rows;
    } catch (const Error&) {
    }
    pm.packed = false;
    r_.seek(start);
    return ReadRows(pm);
  }

  // Whether the end-of-picture opcode comes next.
  bool EndFollows() const {
    std::size_t p = r_.pos();
    if (version_ == 2 && ((p - start_) & 1)) ++p;
    return p + 2 <= data_.size() && data_[p] == 0x00 && data_[p + 1] == 0xFF;
  }

  std::vector<std::uint8_t> ReadRows(const PixMap& pm, std::size_t countBytes) {
    const std::size_t height = static_cast<std::size_t>(pm.bounds.height());
    const std::size_t rowLen = UnpackedRowBytes(pm);
    // Unpacked rows are stored at rowBytes each, except pack type 2: 3 bytes a pixel.
    const std::size_t stored = pm.packType == 2 ? rowLen : pm.rowBytes;
    const std::size_t unit = pm.pixelSize == 16 ? 2 : 1;
    // Refuse before allocating when the data cannot possibly hold the rows: one PackBits
    // packet of 1 + unit bytes yields at most 128 units.
    const std::size_t minimum =
        pm.packed ? height * (countBytes + (1 + unit) * ((rowLen + 128 * unit - 1) / (128 * unit)))
                  : height * stored;
    if (minimum > r_.remaining()) ThrowCorrupt("pict: pixel data is truncated");
    std::vector<std::uint8_t> rows(rowLen * height);
    std::vector<std::uint8_t> scratch(std::max(pm.rowBytes, rowLen));
    for (std::size_t y = 0; y < height; ++y) {
      std::uint8_t* dst = rows.data() + y * rowLen;
      if (!pm.packed) {
        auto raw = r_.take(stored);
        std::copy_n(raw.begin(), rowLen, dst);
        continue;
      }
      const std::size_t count = countBytes == 2 ? r_.u16be() : r_.u8();
      const std::size_t got = UnpackBits(r_.take(count), scratch, static_cast<int>(unit));
      if (got < rowLen) ThrowCorrupt("pict: packed row is short");
      std::copy_n(scratch.begin(), rowLen, dst);
    }
    return rows;
  }

  void SkipPixPat() {
    const unsigned type = r_.u16be();
    r_.skip(8);  // old-style pattern
    if (type == 2) {
      r_.skip(6);  // dithered RGB
    } else if (type == 1) {
      PixMap pm = ReadPixMapFields(false);
      ReadColourTable();
      SetPacking(pm, false);
      ReadRows(pm);
    } else if (type != 0) {
      ThrowCorrupt("pict: bad pattern type");
    }
  }

  // BitsRect, BitsRgn, PackBitsRect, PackBitsRgn, DirectBitsRect, DirectBitsRgn.
  void Bits(unsigned op, bool direct) {
    if (direct) r_.skip(4);  // base address
    PixMap pm = ReadPixMapFields(direct);
    if (!pm.isPixMap) {
      pm.palette = {Rgb{255, 255, 255}, Rgb{0, 0, 0}};  // a bitmap: 0 white, 1 black
    } else if (!direct) {
      pm.palette = ReadColourTable();
    }
    const Rect src = ReadRect(r_);
    const Rect dst = ReadRect(r_);
    r_.skip(2);  // transfer mode: everything is drawn as a copy
    if (op == 0x0091 || op == 0x0099 || op == 0x009B) SkipSized();  // mask region
    SetPacking(pm, op == 0x0090 || op == 0x0091);
    const std::vector<std::uint8_t> rows =
        (op == 0x0098 || op == 0x0099) ? ReadIndexedRows(pm) : ReadRows(pm);
    depth_ = std::max(depth_, pm.pixelSize);
    Draw(pm, rows, src, dst);
  }

  // The colour of one pixel of a decoded pixmap, with its alpha (255 when there is none).
  static Rgb PixelAt(const PixMap& pm, const std::uint8_t* row, std::size_t x, std::uint8_t* alpha) {
    *alpha = 255;
    if (pm.pixelSize <= 8) {
      const std::size_t bit = x * static_cast<std::size_t>(pm.pixelSize);
      const unsigned mask = (1u << pm.pixelSize) - 1;
      const unsigned index = (row[bit / 8] >> (8 - pm.pixelSize - bit % 8)) & mask;
      return index < pm.palette.size() ? pm.palette[index] : pm.palette.front();
    }
    if (pm.pixelSize == 16) {
      const unsigned v = static_cast<unsigned>(row[2 * x] << 8 | row[2 * x + 1]);
      auto five = [](unsigned c) { return static_cast<std::uint8_t>(c << 3 | c >> 2); };
      return Rgb{five((v >> 10) & 31), five((v >> 5) & 31), five(v & 31)};
    }
    const std::size_t w = static_cast<std::size_t>(pm.bounds.width());
    if (pm.packType == 4) {  // component planes, alpha first when there are four
      std::size_t plane = 0;
      if (pm.cmpCount == 4) {
        *alpha = row[x];
        plane = w;
      }
      return Rgb{row[plane + x], row[plane + w + x], row[plane + 2 * w + x]};
    }
    if (pm.packType == 2) return Rgb{row[3 * x], row[3 * x + 1], row[3 * x + 2]};
    if (pm.cmpCount == 4) *alpha = row[4 * x];
    return Rgb{row[4 * x + 1], row[4 * x + 2], row[4 * x + 3]};
  }

  void EnsureCanvas() {
    if (!image_.empty()) return;
    CheckSize(canvas_);
    image_ = Image::blank(canvas_.width(), canvas_.height());
    std::fill(image_.pixels.begin(), image_.pixels.end(), std::uint8_t{255});
  }

  void Draw(const PixMap& pm, const std::vector<std::uint8_t>& rows, const Rect& src, const Rect& dst) {
    EnsureCanvas();
    if (!src.valid() || !dst.valid()) return;
    const std::size_t rowLen = UnpackedRowBytes(pm);
    // Alpha is used only when some pixel has it (see the note at the top of the file).
    bool useAlpha = false;
    if (pm.pixelSize == 32 && pm.cmpCount == 4) {
      for (int y = 0; y < pm.bounds.height() && !useAlpha; ++y) {
        const std::uint8_t* row = rows.data() + static_cast<std::size_t>(y) * rowLen;
        for (int x = 0; x < pm.bounds.width(); ++x) {
          std::uint8_t a;
          PixelAt(pm, row, static_cast<std::size_t>(x), &a);
          if (a != 0) {
            useAlpha = true;
            break;
          }
        }
      }
    }
    const int y0 = std::max(dst.top, canvas_.top), y1 = std::min(dst.bottom, canvas_.bottom);
    const int x0 = std::max(dst.left, canvas_.left), x1 = std::min(dst.right, canvas_.right);
    for (int dy = y0; dy < y1; ++dy) {
      const int sy = src.top + static_cast<int>(std::int64_t{dy - dst.top} * src.height() / dst.height());
      if (sy < pm.bounds.top || sy >= pm.bounds.bottom) continue;
      const std::uint8_t* row = rows.data() + static_cast<std::size_t>(sy - pm.bounds.top) * rowLen;
      std::uint8_t* out = image_.row(dy - canvas_.top);
      for (int dx = x0; dx < x1; ++dx) {
        const int sx = src.left + static_cast<int>(std::int64_t{dx - dst.left} * src.width() / dst.width());
        if (sx < pm.bounds.left || sx >= pm.bounds.right) continue;
        std::uint8_t a;
        const Rgb c = PixelAt(pm, row, static_cast<std::size_t>(sx - pm.bounds.left), &a);
        std::uint8_t* p = out + static_cast<std::size_t>(dx - canvas_.left) * 3;
        if (!useAlpha) a = 255;
        p[0] = static_cast<std::uint8_t>((c.r * a + p[0] * (255 - a) + 127) / 255);
        p[1] = static_cast<std::uint8_t>((c.g * a + p[1] * (255 - a) + 127) / 255);
        p[2] = static_cast<std::uint8_t>((c.b * a + p[2] * (255 - a) + 127) / 255);
      }
    }
  }

  // CompressedQuickTime: true when it held a JPEG that becomes the picture.
  bool QuickTime() {
    ByteReader q(r_.take(r_.u32be()));
    q.skip(2 + 36);  // version, matrix
    const std::uint32_t matteSize = q.u32be();
    q.skip(8 + 2 + 8 + 4);  // matte rectangle, mode, source rectangle, accuracy
    const std::uint32_t maskSize = q.u32be();
    if (matteSize > 0) q.skip(matteSize);
    q.skip(maskSize);
    const std::size_t descStart = q.pos();
    const std::uint32_t descSize = q.u32be();
    auto type = q.take(4);
    if (descSize < 86 || !std::equal(type.begin(), type.end(), "jpeg")) return false;  // other codecs
    q.seek(descStart + 44);
    const std::uint32_t dataSize = q.u32be();
    q.seek(descStart + descSize);
    const std::size_t length = dataSize > 0 && dataSize <= q.remaining() ? dataSize : q.remaining();
    if (!image_.empty()) return false;  // drawn over other raster content: keep what we have
    Image jpeg = ReadJpeg(q.take(length), options_);
    if (version_ == 2 && dpiX_ != 72.0) {
      jpeg.dpiX = dpiX_;
      jpeg.dpiY = dpiY_;
    }
    quicktime_ = std::move(jpeg);
    return true;
  }

  Bytes data_;
  ByteReader r_;
  const LoadOptions& options_;
  std::size_t start_ = 0;
  int version_ = 0;
  Rect canvas_;
  double dpiX_ = 72.0, dpiY_ = 72.0;
  int depth_ = 0;
  Image image_;
  std::optional<Image> quicktime_;
};

void PutRect(std::vector<std::uint8_t>& out, int top, int left, int bottom, int right) {
  PutU16be(out, static_cast<unsigned>(top));
  PutU16be(out, static_cast<unsigned>(left));
  PutU16be(out, static_cast<unsigned>(bottom));
  PutU16be(out, static_cast<unsigned>(right));
}

std::uint32_t Fixed(double dpi) {
  const double v = std::clamp(dpi, 1.0, 32767.0);
  return static_cast<std::uint32_t>(std::nearbyint(v * 65536.0));
}

}  // namespace

bool IsPict(Bytes data) { return VersionAt(data, kPreamble) != 0 || VersionAt(data, 0) != 0; }

Image ReadPict(Bytes data, const LoadOptions& options) { return PictReader(data, options).Read(); }

std::vector<std::uint8_t> WritePict(const Image& image, const SaveParams&) {
  if (image.empty() || image.width > kMaxSide || image.height > kMaxSide ||
      image.pixels.size() < image.stride() * static_cast<std::size_t>(image.height)) {
    throw Error(err::kInvalidPropertyValue, "pict: no picture to write");
  }
  const int w = image.width, h = image.height;
  std::vector<std::uint8_t> out(kPreamble, 0);
  PutU16be(out, 0);  // picture size, patched below
  PutRect(out, 0, 0, h, w);
  PutU16be(out, 0x0011);
  PutU16be(out, 0x02FF);
  PutU16be(out, 0x0C00);  // extended version 2 header with the resolution
  PutU16be(out, 0xFFFE);
  PutU16be(out, 0);
  PutU32be(out, Fixed(image.dpiX));
  PutU32be(out, Fixed(image.dpiY));
  PutRect(out, 0, 0, h, w);
  PutU32be(out, 0);
  PutU16be(out, 0x0001);  // clip to the frame
  PutU16be(out, 10);
  PutRect(out, 0, 0, h, w);

  // The pixels go out as one or more bands side by side, each a DirectBitsRect:
  // - rowBytes is a 14-bit field, so wide pictures need several bands;
  // - rows under 8 bytes are stored unpacked, and a band of 1 or 2 pixels is read wrongly by
  //   common readers, so such a picture gets a 3-pixel pixel map of which only the picture's
  //   columns are drawn;
  // - for rowBytes 251..332 readers disagree on whether row counts take one byte or two
  //   (rowBytes or the unpacked planes' width decides), so such widths are split in two.
  std::vector<std::pair<int, int>> bands;  // left, right
  if (w >= 63 && w <= 83) {
    bands = {{0, w / 2}, {w / 2, w}};
  } else {
    const int count = (w + 3999) / 4000;
    for (int i = 0; i < count; ++i) bands.emplace_back(w * i / count, w * (i + 1) / count);
  }
  std::vector<std::uint8_t> planes, packed;
  for (const auto& [left, right] : bands) {
    const int mapRight = std::max(right, left + 3);  // pixel map at least 3 pixels wide
    const int bw = mapRight - left;
    const std::size_t rowBytes = static_cast<std::size_t>(bw) * 4;
    PutU16be(out, 0x009A);
    PutU32be(out, 0x000000FF);  // base address placeholder
    PutU16be(out, static_cast<unsigned>(rowBytes | 0x8000));
    PutRect(out, 0, left, h, mapRight);
    PutU16be(out, 0);  // pixmap version
    PutU16be(out, 4);  // pack type: component planes, PackBits
    PutU32be(out, 0);
    PutU32be(out, Fixed(image.dpiX));
    PutU32be(out, Fixed(image.dpiY));
    PutU16be(out, 16);  // RGBDirect
    PutU16be(out, 32);  // pixel size
    PutU16be(out, 3);   // components
    PutU16be(out, 8);   // component size
    PutU32be(out, 0);
    PutU32be(out, 0);
    PutU32be(out, 0);
    PutRect(out, 0, left, h, right);  // source
    PutRect(out, 0, left, h, right);  // destination
    PutU16be(out, 0);                 // srcCopy
    planes.resize(static_cast<std::size_t>(bw) * 3);
    for (int y = 0; y < h; ++y) {
      const std::uint8_t* src = image.row(y);
      for (int x = 0; x < bw; ++x) {
        Rgb c;
        const int sx = std::min(left + x, w - 1);
        if (image.format == PixelFormat::Rgb24) {
          c = Rgb{src[3 * sx], src[3 * sx + 1], src[3 * sx + 2]};
        } else if (image.format == PixelFormat::Gray8) {
          c = Rgb{src[sx], src[sx], src[sx]};
        } else if (src[sx] < image.palette.size()) {
          c = image.palette[src[sx]];
        }
        planes[static_cast<std::size_t>(x)] = c.r;
        planes[static_cast<std::size_t>(bw + x)] = c.g;
        planes[static_cast<std::size_t>(2 * bw + x)] = c.b;
      }
      packed.clear();
      PackBits(planes, packed);
      if (rowBytes > 250) {
        PutU16be(out, static_cast<unsigned>(packed.size()));
      } else {
        PutU8(out, static_cast<unsigned>(packed.size()));
      }
      out.insert(out.end(), packed.begin(), packed.end());
    }
    if ((out.size() - kPreamble) & 1) PutU8(out, 0);
  }
  PutU16be(out, 0x00FF);
  const std::size_t size = out.size() - kPreamble;
  out[kPreamble] = static_cast<std::uint8_t>(size >> 8);
  out[kPreamble + 1] = static_cast<std::uint8_t>(size);
  return out;
}

}  // namespace mirelo::imaging
