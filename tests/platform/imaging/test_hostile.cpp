// Hostile input to our own readers and to the library-backed readers of today's formats:
// truncations at every byte, lying headers, overruns. Each must give 20009 (or, where stated,
// decode to exactly the intact picture) and never crash.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>

#include "platform/imaging/codecs.h"
#include "support/magick.h"
#include "support/temp_dir.h"
#include "test_bmp_pict_util.h"
#include "test_still_tools.h"

namespace mirelo::imaging {
namespace {

using test::BmpSpec;
using test::ByteBuilder;
using test::ErrorNumber;
using test::MakeBmp;
using Reader = Image (*)(Bytes, const LoadOptions&);

constexpr int kCorrupt = 20009;

int ReadError(Reader read, const std::vector<std::uint8_t>& bytes) {
  return ErrorNumber([&] { read(bytes, {}); });
}

void Patch32le(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

TEST(Hostile, EmptyInputIsCorruptForEveryOwnReader) {
  EXPECT_EQ(ReadError(ReadBmp, {}), kCorrupt);
  EXPECT_EQ(ReadError(ReadPict, {}), kCorrupt);
  EXPECT_FALSE(IsBmp({}));
  EXPECT_FALSE(IsPict({}));
}

// Every prefix of a file is either refused or, when only bytes that do not matter are missing,
// decodes to exactly the picture of the whole file: never a partial picture.
void ExpectEveryPrefixRefusedOrWhole(Reader read, const std::vector<std::uint8_t>& whole,
                                     std::size_t* accepted) {
  const Image full = read(whole, {});
  *accepted = 0;
  for (std::size_t n = 0; n < whole.size(); ++n) {
    const std::vector<std::uint8_t> prefix(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
    try {
      const Image part = read(prefix, {});
      EXPECT_EQ(part.pixels, full.pixels) << "a prefix of " << n << " bytes decoded to another picture";
      ++*accepted;
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), kCorrupt) << "prefix of " << n << " bytes";
    }
  }
}

TEST(Hostile, TruncatedBmpAtEveryByte) {
  test::TempDir dir;
  struct Source {
    const char* name;
    std::vector<std::string> args;
    std::size_t tolerated;  // prefixes that only lack the last row's padding
  };
  // 7 pixels of 24 bits: 21 bytes a row plus 3 of padding.
  const std::vector<Source> sources{
      {"v3_24.bmp", {"-type", "TrueColor", "BMP3:"}, 3},
      {"os2.bmp", {"-type", "TrueColor", "BMP2:"}, 3},
      // RLE: a stream that lacks only its end-of-bitmap marker after the last row is whole.
      {"rle8.bmp", {"-type", "Palette", "-compress", "RLE", "BMP3:"}, 1},
      {"v5_alpha.bmp", {"-alpha", "set", "-type", "TrueColorAlpha", "BMP:"}, 0},
      {"4bit.bmp", {"-colors", "9", "-type", "Palette", "-compress", "None", "BMP3:"}, 0},
  };
  for (const Source& s : sources) {
    SCOPED_TRACE(s.name);
    std::vector<std::string> args{"rose:", "-resize", "7x5!"};
    args.insert(args.end(), s.args.begin(), s.args.end() - 1);
    args.push_back(s.args.back() + (dir / s.name).string());
    ASSERT_TRUE(test::MagickConvert(args));
    std::size_t accepted = 0;
    ExpectEveryPrefixRefusedOrWhole(ReadBmp, test::ReadFileBytes(dir / s.name), &accepted);
    EXPECT_LE(accepted, s.tolerated);
  }
}

TEST(Hostile, TruncatedPictAtEveryByteIsRefused) {
  test::TempDir dir;
  ASSERT_TRUE(test::MagickConvert({"rose:", "-resize", "9x4!", "PICT:" + (dir / "direct.pct").string()}));
  ASSERT_TRUE(test::MagickConvert(
      {"rose:", "-resize", "9x4!", "-type", "Palette", "PICT:" + (dir / "indexed.pct").string()}));
  Image image = Image::blank(70, 3);
  for (std::size_t i = 0; i < image.pixels.size(); ++i) image.pixels[i] = static_cast<std::uint8_t>(i / 7);
  for (const auto& bytes : {test::ReadFileBytes(dir / "direct.pct"), test::ReadFileBytes(dir / "indexed.pct"),
                            WritePict(image, {})}) {
    std::size_t accepted = 0;
    ExpectEveryPrefixRefusedOrWhole(ReadPict, bytes, &accepted);
    EXPECT_EQ(accepted, 0u);  // the end-of-picture opcode is required
  }
}

// ---------------------------------------------------------------------------------------------
// BMP headers and pixel data that lie.

struct BmpMutation {
  const char* name;
  std::function<std::vector<std::uint8_t>()> make;
};
void PrintTo(const BmpMutation& m, std::ostream* os) { *os << m.name; }

BmpSpec Plain24(int width, int height) {
  BmpSpec s;
  s.width = width;
  s.height = height;
  s.pixels.assign(static_cast<std::size_t>((width * 3 + 3) / 4 * 4 * std::abs(height)), 0x80);
  return s;
}

BmpSpec Rle8(std::vector<std::uint8_t> data) {
  BmpSpec s;
  s.width = 4;
  s.height = 2;
  s.bpp = 8;
  s.compression = 1;
  s.palette = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
  s.pixels = std::move(data);
  return s;
}

BmpSpec Fields16(std::array<std::uint32_t, 4> masks) {
  BmpSpec s;
  s.width = 2;
  s.bpp = 16;
  s.compression = 3;
  s.masks = masks;
  s.pixels = {1, 2, 3, 4};
  return s;
}

std::vector<BmpMutation> BmpMutations() {
  auto patched = [](BmpSpec s, std::size_t at, std::uint32_t v) {
    return [s, at, v] {
      auto b = MakeBmp(s);
      Patch32le(b, at, v);
      return b;
    };
  };
  auto spec = [](BmpSpec s) { return [s] { return MakeBmp(s); }; };
  BmpSpec indexed;
  indexed.width = 4;
  indexed.bpp = 8;
  indexed.palette = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
  indexed.pixels = {0, 1, 2, 3};  // index 3 is beyond the palette
  BmpSpec rleTopDown = Rle8({0, 1});
  rleTopDown.height = -2;
  BmpSpec rle24 = Plain24(2, 2);
  rle24.compression = 1;
  BmpSpec fields24 = Plain24(2, 2);
  fields24.compression = 3;
  fields24.masks = {0xFF0000, 0xFF00, 0xFF, 0};
  BmpSpec noPalette = indexed;
  noPalette.palette.clear();
  noPalette.pixels = {0, 0, 0, 0};
  return {
      {"not_bm",
       [] {
         auto b = MakeBmp(Plain24(1, 1));
         b[1] = 'A';
         return b;
       }},
      {"only_file_header",
       [] {
         auto b = MakeBmp(Plain24(1, 1));
         b.resize(14);
         return b;
       }},
      {"width_zero", patched(Plain24(1, 1), 18, 0)},
      {"width_negative", patched(Plain24(1, 1), 18, static_cast<std::uint32_t>(-5))},
      {"height_zero", patched(Plain24(1, 1), 22, 0)},
      {"height_int_min", patched(Plain24(1, 1), 22, 0x80000000u)},
      {"width_beyond_limit", patched(Plain24(1, 1), 18, 40000)},
      {"pixels_beyond_limit",
       [] {
         auto b = MakeBmp(Plain24(1, 1));
         Patch32le(b, 18, 30000);
         Patch32le(b, 22, 30000);
         return b;
       }},
      {"huge_picture_tiny_file",
       [] {
         auto b = MakeBmp(Plain24(1, 1));
         Patch32le(b, 18, 20000);
         Patch32le(b, 22, 9000);
         return b;
       }},
      {"planes_zero",
       [] {
         auto b = MakeBmp(Plain24(1, 1));
         b[26] = 0;
         return b;
       }},
      {"bit_count_3",
       [] {
         auto b = MakeBmp(Plain24(1, 1));
         b[28] = 3;
         return b;
       }},
      {"bit_count_64",
       [] {
         auto b = MakeBmp(Plain24(1, 1));
         b[28] = 64;
         return b;
       }},
      {"unknown_compression", patched(Plain24(1, 1), 30, 9)},
      {"rle8_on_24_bits", spec(rle24)},
      {"bit_fields_on_24_bits", spec(fields24)},
      {"rle_top_down", spec(rleTopDown)},
      {"header_size_41", patched(Plain24(1, 1), 14, 41)},
      {"header_size_huge", patched(Plain24(1, 1), 14, 0x7FFFFFFF)},
      {"pixel_offset_beyond_file", patched(Plain24(1, 1), 10, 100000)},
      {"pixel_offset_inside_header", patched(Plain24(1, 1), 10, 20)},
      {"palette_count_huge",
       [indexed] {
         BmpSpec s = indexed;
         s.clrUsed = 0x40000000;
         return MakeBmp(s);
       }},
      {"index_beyond_palette", spec(indexed)},
      {"indexed_without_palette", spec(noPalette)},
      {"mask_zero", spec(Fields16({0xF800, 0, 0x1F, 0}))},
      {"mask_not_contiguous", spec(Fields16({0xF0F0, 0x0F00, 0x000F, 0}))},
      {"masks_overlap", spec(Fields16({0xFF00, 0x0FF0, 0x000F, 0}))},
      {"mask_beyond_16_bits", spec(Fields16({0x1F0000, 0x07E0, 0x001F, 0}))},
      {"density_negative",
       [] {
         BmpSpec s = Plain24(1, 1);
         s.ppm = -1;
         return MakeBmp(s);
       }},
      {"density_absurd",
       [] {
         BmpSpec s = Plain24(1, 1);
         s.ppm = 0x7FFFFFFF;
         return MakeBmp(s);
       }},
      {"pixels_short_by_more_than_padding",
       [] {
         auto b = MakeBmp(Plain24(3, 2));
         b.resize(b.size() - 4);
         return b;
       }},
      {"rle_run_past_row", spec(Rle8({200, 1, 0, 1}))},
      {"rle_absolute_past_row", spec(Rle8({0, 5, 1, 1, 1, 1, 1, 0, 0, 1}))},
      {"rle_rows_past_bottom", spec(Rle8({4, 1, 0, 0, 4, 1, 0, 0, 4, 1, 0, 1}))},
      {"rle_delta_past_right", spec(Rle8({0, 2, 9, 0, 0, 1}))},
      {"rle_delta_past_bottom", spec(Rle8({0, 2, 0, 5, 0, 1}))},
      {"rle_absolute_truncated", spec(Rle8({0, 4, 1, 2}))},
      {"rle_ends_without_marker", spec(Rle8({4, 1, 0, 0}))},
      {"rle_index_beyond_palette", spec(Rle8({2, 7, 0, 1}))},
      {"os2_huffman",
       [] {
         BmpSpec s = Plain24(1, 1);
         s.headerSize = 64;
         s.bpp = 1;
         s.compression = 3;
         return MakeBmp(s);
       }},
  };
}

class HostileBmp : public testing::TestWithParam<BmpMutation> {};

TEST_P(HostileBmp, IsRefusedAsCorrupt) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ReadError(ReadBmp, GetParam().make()), kCorrupt);
  // Nothing of the claimed size may be allocated or walked before the data is checked.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

INSTANTIATE_TEST_SUITE_P(Mutations, HostileBmp, testing::ValuesIn(BmpMutations()),
                         [](const testing::TestParamInfo<BmpMutation>& info) {
                           return std::string(info.param.name);
                         });

// ---------------------------------------------------------------------------------------------
// PICT opcodes that lie.

// A version 2 picture of w x h whose body is `body` (opcodes after the header), ended properly.
std::vector<std::uint8_t> Pict2(int w, int h, const std::vector<std::uint8_t>& body, bool end = true) {
  ByteBuilder b;
  b.zeros(512).u16be(0).rect(0, 0, h, w).u16be(0x0011).u16be(0x02FF).u16be(0x0C00);
  b.u16be(0xFFFE).u16be(0).u32be(72u << 16).u32be(72u << 16).rect(0, 0, h, w).u32be(0);
  b.bytes(body);
  if ((b.size() - 512) & 1) b.u8(0);
  if (end) b.u16be(0x00FF);
  return b.data();
}

// DirectBitsRect with the given fields; rows follow as given.
std::vector<std::uint8_t> Direct(unsigned rowBytes, int top, int left, int bottom, int right, int packType,
                                 int pixelSize, int cmpCount, const std::vector<std::uint8_t>& rows) {
  ByteBuilder b;
  b.u16be(0x009A).u32be(0xFF).u16be(0x8000 | rowBytes).rect(top, left, bottom, right);
  b.u16be(0).u16be(static_cast<unsigned>(packType)).u32be(0).u32be(72u << 16).u32be(72u << 16);
  b.u16be(16).u16be(static_cast<unsigned>(pixelSize)).u16be(static_cast<unsigned>(cmpCount)).u16be(8);
  b.u32be(0).u32be(0).u32be(0).rect(top, left, bottom, right).rect(top, left, bottom, right).u16be(0);
  b.bytes(rows);
  return b.data();
}

std::vector<std::uint8_t> Indexed(unsigned rowBytes, int width, unsigned tableLast,
                                  const std::vector<std::uint8_t>& rows) {
  ByteBuilder b;
  b.u16be(0x0098).u16be(0x8000 | rowBytes).rect(0, 0, 1, width);
  b.u16be(0).u16be(0).u32be(0).u32be(72u << 16).u32be(72u << 16).u16be(0).u16be(8).u16be(1).u16be(8);
  b.u32be(0).u32be(0).u32be(0);
  b.u32be(0).u16be(0).u16be(tableLast);
  for (unsigned i = 0; i <= std::min(tableLast, 3u); ++i) b.u16be(i).u16be(0).u16be(0).u16be(0);
  b.rect(0, 0, 1, width).rect(0, 0, 1, width).u16be(0).bytes(rows);
  return b.data();
}

struct PictMutation {
  const char* name;
  std::vector<std::uint8_t> bytes;
};
void PrintTo(const PictMutation& m, std::ostream* os) { *os << m.name; }

std::vector<PictMutation> PictMutations() {
  const std::vector<std::uint8_t> goodRow{0, 0, 0, 0, 0, 0, 0, 0};  // 2 pixels, pack type 1
  auto frame = [](int top, int left, int bottom, int right) {
    ByteBuilder b;
    b.zeros(512).u16be(0).rect(top, left, bottom, right).u16be(0x0011).u16be(0x02FF);
    b.bytes(Direct(8, 0, 0, 1, 2, 1, 32, 3, {0, 0, 0, 0, 0, 0, 0, 0})).u16be(0x00FF);
    return b.data();
  };
  return {
      {"no_header", std::vector<std::uint8_t>(600, 0)},
      {"frame_empty", frame(0, 0, 0, 5)},
      {"frame_beyond_limit", frame(0, 0, 32767, 32767)},
      {"no_end_opcode", Pict2(2, 1, Direct(8, 0, 0, 1, 2, 1, 32, 3, goodRow), false)},
      {"vector_only", Pict2(2, 1, {0x00, 0x31, 0, 0, 0, 0, 0, 1, 0, 2})},
      {"long_comment_past_end", Pict2(2, 1, {0x00, 0xA1, 0, 1, 0xFF, 0xF0})},
      {"long_length_opcode_huge", Pict2(2, 1, {0x82, 0x01, 0xFF, 0xFF, 0xFF, 0xFF})},
      {"region_size_below_two", Pict2(2, 1, {0x00, 0x01, 0x00, 0x01})},
      {"quicktime_truncated", Pict2(2, 1, {0x82, 0x00, 0x00, 0x00, 0x00, 0x10, 0, 0})},
      {"bounds_empty", Pict2(2, 1, Direct(8, 0, 0, 0, 2, 1, 32, 3, goodRow))},
      {"bounds_inverted", Pict2(2, 1, Direct(8, 5, 0, 1, 2, 1, 32, 3, goodRow))},
      {"bounds_beyond_limit", Pict2(2, 1, Direct(8, -32768, -32768, 32767, 32767, 1, 32, 3, goodRow))},
      {"row_bytes_too_small", Pict2(4, 1, Direct(8, 0, 0, 1, 4, 1, 32, 3, goodRow))},
      {"pixel_size_24", Pict2(2, 1, Direct(8, 0, 0, 1, 2, 1, 24, 3, goodRow))},
      {"pixel_size_3", Pict2(2, 1, Direct(8, 0, 0, 1, 2, 1, 3, 3, goodRow))},
      {"component_count_5", Pict2(2, 1, Direct(8, 0, 0, 1, 2, 1, 32, 5, goodRow))},
      {"pack_type_3_on_32_bits", Pict2(2, 1, Direct(8, 0, 0, 1, 2, 3, 32, 3, goodRow))},
      {"pack_type_9", Pict2(2, 1, Direct(8, 0, 0, 1, 2, 9, 32, 3, goodRow))},
      {"rows_missing", Pict2(2, 4, Direct(8, 0, 0, 4, 2, 1, 32, 3, goodRow))},
      {"many_rows_tiny_data", Pict2(2, 1, Direct(8000, 0, 0, 30000, 2000, 4, 32, 3, {1, 0}))},
      {"packed_count_past_end", Pict2(2, 1, Direct(8, 0, 0, 1, 2, 4, 32, 3, {200, 0, 0}))},
      {"packbits_run_past_row", Pict2(2, 1, Direct(8, 0, 0, 1, 2, 4, 32, 3, {2, 0x81, 7}))},
      {"packbits_literal_past_row",
       Pict2(2, 1, Direct(8, 0, 0, 1, 2, 4, 32, 3, {11, 9, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}))},
      {"packbits_literal_truncated", Pict2(2, 1, Direct(8, 0, 0, 1, 2, 4, 32, 3, {2, 1, 5}))},
      {"packbits_row_short", Pict2(2, 1, Direct(8, 0, 0, 1, 2, 4, 32, 3, {2, 0, 5}))},
      {"colour_table_too_large", Pict2(9, 1, Indexed(10, 9, 300, {2, 0xF8, 0}))},
      {"indexed_row_count_past_end", Pict2(9, 1, Indexed(10, 9, 1, {60, 0xF8, 0}))},
  };
}

class HostilePict : public testing::TestWithParam<PictMutation> {};

TEST_P(HostilePict, IsRefusedAsCorrupt) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ReadError(ReadPict, GetParam().bytes), kCorrupt);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

INSTANTIATE_TEST_SUITE_P(Mutations, HostilePict, testing::ValuesIn(PictMutations()),
                         [](const testing::TestParamInfo<PictMutation>& info) {
                           return std::string(info.param.name);
                         });

// ---------------------------------------------------------------------------------------------
// HEIC, AVIF, WebP, JPEG XL and DNG: small files made by the formats' own encoders (the DNG
// written here), cut at every byte, emptied, and with sizes beyond the limits.

struct NewKind {
  const char* name;
  Reader read;
  std::vector<std::string> encode;  // "{src}" a 17x11 PNG with alpha, "{out}" the file; empty: a DNG
  const char* output;
};
void PrintTo(const NewKind& k, std::ostream* os) { *os << k.name; }

const NewKind kNewKinds[] = {
    {"heic", ReadHeif, {"heif-enc", "-q", "50", "{src}", "-o", "{out}"}, "a.heic"},
    {"avif", ReadHeif, {"avifenc", "-s", "9", "{src}", "{out}"}, "a.avif"},
    {"webp_lossy", ReadWebp, {"cwebp", "-q", "50", "{src}", "-o", "{out}"}, "a.webp"},
    {"webp_lossless", ReadWebp, {"cwebp", "-lossless", "{src}", "-o", "{out}"}, "b.webp"},
    {"webp_animated", ReadWebp, {"img2webp", "-lossy", "{src}", "{src}", "-o", "{out}"}, "c.webp"},
    {"jxl", ReadJxl, {"cjxl", "-d", "1", "{src}", "{out}"}, "a.jxl"},
    {"jxl_lossless", ReadJxl, {"cjxl", "-d", "0", "{src}", "{out}"}, "b.jxl"},
    {"dng", ReadRaw, {}, ""},
};

class HostileNewKind : public testing::TestWithParam<NewKind> {
 protected:
  // The intact file; empty when its encoder is missing.
  std::vector<std::uint8_t> Make() {
    const NewKind& k = GetParam();
    if (k.encode.empty()) {
      test::DngSpec spec;
      spec.width = spec.height = 24;  // LibRaw takes nothing under 22 pixels a side
      spec.cfa = true;
      return test::MakeDng(spec);
    }
    if (!test::HasTool(k.encode.front())) return {};
    const auto src = dir_ / "src.png", out = dir_ / k.output;
    if (!test::MagickConvert({"-size", "17x11", "gradient:red-blue", "(", "-size", "17x11",
                              "gradient:white-black", ")", "-alpha", "off", "-compose", "CopyOpacity",
                              "-composite", "PNG32:" + src.string()})) {
      return {};
    }
    std::vector<std::string> args;
    for (const std::string& a : k.encode)
      args.push_back(a == "{src}" ? src.string() : a == "{out}" ? out.string() : a);
    if (!test::RunTool(args)) return {};
    return test::ReadFileBytes(out);
  }
  test::TempDir dir_;
};

TEST_P(HostileNewKind, EveryCutIsRefusedOrWhole) {
  const std::vector<std::uint8_t> whole = Make();
  if (whole.empty()) GTEST_SKIP() << "encoder missing";
  EXPECT_EQ(ReadError(GetParam().read, {}), kCorrupt);
  EXPECT_EQ(ErrorNumber([] { DecodeImage({}); }), kCorrupt);
  std::size_t accepted = 0;
  ExpectEveryPrefixRefusedOrWhole(GetParam().read, whole, &accepted);
  // The loader sniffs the kind from the first bytes and gives the same answers.
  EXPECT_EQ(DecodeImage(whole).pixels, GetParam().read(whole, {}).pixels);
}

INSTANTIATE_TEST_SUITE_P(Kinds, HostileNewKind, testing::ValuesIn(kNewKinds),
                         [](const testing::TestParamInfo<NewKind>& info) {
                           return std::string(info.param.name);
                         });

std::size_t Find(const std::vector<std::uint8_t>& b, const std::string& what) {
  const auto at = std::search(b.begin(), b.end(), what.begin(), what.end());
  return at == b.end() ? std::string::npos : static_cast<std::size_t>(at - b.begin());
}

void Patch32be(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i)
    b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

// The value of a LONG entry of a little-endian TIFF's first IFD.
void PatchIfd0Long(std::vector<std::uint8_t>& b, unsigned tag, std::uint32_t value) {
  const std::size_t ifd = b[4] | (b[5] << 8) | (b[6] << 16) | (std::size_t(b[7]) << 24);
  const unsigned count = b[ifd] | (b[ifd + 1] << 8);
  for (unsigned i = 0; i < count; ++i) {
    const std::size_t entry = ifd + 2 + 12 * i;
    if (unsigned(b[entry] | (b[entry + 1] << 8)) == tag) Patch32le(b, entry + 8, value);
  }
}

// Sizes beyond 32767 pixels a side or 200 megapixels in the header of a tiny file: refused before
// anything of that size is allocated.
TEST(HostileNewKinds, SizesBeyondTheLimitsAreRefused) {
  test::TempDir dir;
  const auto src = (dir / "src.png").string();
  ASSERT_TRUE(test::MagickConvert({"-size", "16x16", "xc:gray", src}));
  auto encode = [&](std::vector<std::string> argv, const std::string& name) -> std::vector<std::uint8_t> {
    if (!test::HasTool(argv.front())) return {};
    for (auto& a : argv) a = a == "{src}" ? src : a == "{out}" ? (dir / name).string() : a;
    return test::RunTool(argv) ? test::ReadFileBytes(dir / name) : std::vector<std::uint8_t>{};
  };
  struct Row {
    const char* name;
    std::vector<std::uint8_t> bytes;
  };
  std::vector<Row> rows;
  // HEIF and AVIF: the image's spatial extent property (ispe) says 40000 x 40000.
  for (auto [name, bytes] :
       {std::pair{"heic_ispe", encode({"heif-enc", "{src}", "-o", "{out}"}, "a.heic")},
        std::pair{"avif_ispe", encode({"avifenc", "-s", "9", "{src}", "{out}"}, "a.avif")}}) {
    const std::size_t ispe = Find(bytes, "ispe");
    if (ispe == std::string::npos) continue;
    Patch32be(bytes, ispe + 8, 40000);
    Patch32be(bytes, ispe + 12, 40000);
    rows.push_back({name, bytes});
  }
  // WebP lossless: 16384 x 16384 in the VP8L header (268 megapixels).
  if (auto bytes = encode({"cwebp", "-lossless", "{src}", "-o", "{out}"}, "a.webp"); bytes.size() > 25) {
    bytes[21] = bytes[22] = bytes[23] = 0xFF;
    bytes[24] |= 0x0F;
    rows.push_back({"webp_vp8l_16384", bytes});
  }
  // WebP extended: a VP8X canvas of 16384 x 16384 around a small picture.
  if (auto bytes = encode({"cwebp", "-metadata", "exif", "-q", "50", "{src}", "-o", "{out}"}, "b.webp");
      Find(bytes, "VP8X") == 12) {
    for (std::size_t at : {24u, 27u}) bytes[at] = bytes[at + 1] = 0xFF, bytes[at + 2] = 0x3F;
    rows.push_back({"webp_vp8x_canvas", bytes});
  }
  // JPEG XL: a real 40000 x 1 picture (its size header cannot simply be patched).
  const auto wide = (dir / "wide.png").string();
  test::WriteBytes(wide, WritePng(Image::blank(40000, 1), {}));
  rows.push_back({"jxl_40000_wide", encode({"cjxl", "-d", "0", wide, "{out}"}, "w.jxl")});
  // DNG: 30000 x 30000 sensor data claimed in a file of a few hundred bytes, and 40000 x 1.
  test::DngSpec small;
  small.width = small.height = 24;
  auto huge = test::MakeDng(small);
  PatchIfd0Long(huge, 256, 30000);
  PatchIfd0Long(huge, 257, 30000);
  rows.push_back({"dng_30000_square", huge});
  test::DngSpec wideDng;
  wideDng.width = 40000;
  wideDng.height = 1;
  rows.push_back({"dng_40000_wide", test::MakeDng(wideDng)});
  EXPECT_GE(rows.size(), 3u);
  for (const Row& row : rows) {
    if (row.bytes.empty()) continue;
    SCOPED_TRACE(row.name);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ErrorNumber([&] { DecodeImage(row.bytes); }), kCorrupt);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  }
}

// Sniffing: a clip is not a picture, an ordinary TIFF is not a camera RAW, and the RAW kinds that
// are not TIFF-structured are recognised by their own signatures.
TEST(HostileNewKinds, SniffingTellsKindsApart) {
  const std::filesystem::path corpus = std::filesystem::path(MIRELO_SOURCE_DIR) / "fuzz" / "corpus";
  const auto mp4 = test::ReadFileBytes(corpus / "fuzz_video" / "short.mp4");
  ASSERT_FALSE(mp4.empty());
  EXPECT_FALSE(IsHeif(mp4));
  EXPECT_FALSE(IsCameraRaw(mp4));
  EXPECT_EQ(ErrorNumber([&] { DecodeImage(mp4); }), kCorrupt);
  const auto tiff = test::ReadFileBytes(corpus / "fuzz_decode" / "lzw.tif");
  EXPECT_TRUE(IsTiff(tiff));
  EXPECT_FALSE(IsCameraRaw(tiff));
  EXPECT_TRUE(IsCameraRaw(test::MakeDng({})));
  auto padded = [](std::string head) {
    std::vector<std::uint8_t> b(head.begin(), head.end());
    b.resize(64, 0);
    return b;
  };
  for (const std::string& head :
       {std::string("\0\0\0\x18"
                    "ftypcrx \0\0\0\1crx isom",
                    24),
        std::string("FUJIFILMCCD-RAW "), std::string("IIRO\x08\0\0\0", 8), std::string("IIU\0\x08\0\0\0", 8),
        std::string("II\x1a\0\0\0HEAPCCDR", 14), std::string("\0MRM\0\0\0\0", 8)}) {
    const auto bytes = padded(head);
    EXPECT_TRUE(IsCameraRaw(bytes)) << head.substr(0, 8);
    EXPECT_FALSE(IsHeif(bytes));
    EXPECT_EQ(ErrorNumber([&] { DecodeImage(bytes); }), kCorrupt);
  }
  EXPECT_TRUE(IsWebp(padded(std::string("RIFF\0\0\0\0WEBPVP8 ", 16))));
  EXPECT_TRUE(IsJxl(padded("\xff\x0a")));
  EXPECT_TRUE(
      IsHeif(padded(std::string("\0\0\0\x14"
                                "ftypmif1\0\0\0\0avif",
                                20))));
}

// ---------------------------------------------------------------------------------------------
// Seeds and regression files: the seeds must decode (or the fuzzers start from nothing useful);
// the files of faults the fuzzers found must be handled without a crash, each with 20009 or a
// whole picture.

void ForEachFile(const std::filesystem::path& dir,
                 const std::function<void(const std::filesystem::path&)>& f) {
  if (!std::filesystem::is_directory(dir)) return;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.is_regular_file()) f(entry.path());
  }
}

bool JpegReaderAvailable() {
  return ErrorNumber([] {
           ReadJpeg(test::ReadFileBytes(std::filesystem::path(MIRELO_SOURCE_DIR) /
                                        "fuzz/corpus/fuzz_decode/rgb.jpg"),
                    {});
         }) == 0;
}

TEST(FuzzSeeds, EverySeedDecodes) {
  const std::filesystem::path corpus = std::filesystem::path(MIRELO_SOURCE_DIR) / "fuzz" / "corpus";
  int count = 0;
  ForEachFile(corpus / "fuzz_bmp", [&](const std::filesystem::path& p) {
    EXPECT_EQ(ErrorNumber([&] { ReadBmp(test::ReadFileBytes(p), {}); }), 0) << p;
    ++count;
  });
  const bool jpeg = JpegReaderAvailable();
  ForEachFile(corpus / "fuzz_pict", [&](const std::filesystem::path& p) {
    if (!jpeg && p.filename().string().find("quicktime") != std::string::npos) return;
    EXPECT_EQ(ErrorNumber([&] { ReadPict(test::ReadFileBytes(p), {}); }), 0) << p;
    ++count;
  });
  for (const auto& [folder, read] : {std::pair<const char*, Reader>{"fuzz_heif", ReadHeif}, {"fuzz_webp", ReadWebp},
                                     {"fuzz_jxl", ReadJxl}, {"fuzz_raw", ReadRaw}, {"fuzz_decode", nullptr}}) {
    ForEachFile(corpus / folder, [&](const std::filesystem::path& p) {
      const auto bytes = test::ReadFileBytes(p);
      EXPECT_EQ(ErrorNumber([&] { read ? read(bytes, {}) : DecodeImage(bytes); }), 0) << p;
      ++count;
    });
  }
  EXPECT_GT(count, 40);
}

TEST(FuzzRegressions, FoundInputsAreRefusedOrDecodeWhole) {
  const std::filesystem::path data = std::filesystem::path(MIRELO_SOURCE_DIR) / "tests/platform/imaging/data";
  for (const auto& [folder, read] :
       {std::pair<const char*, Reader>{"fuzz_bmp", ReadBmp}, {"fuzz_pict", ReadPict}, {"fuzz_heif", ReadHeif},
        {"fuzz_webp", ReadWebp}, {"fuzz_jxl", ReadJxl}, {"fuzz_raw", ReadRaw}}) {
    ForEachFile(data / folder, [&](const std::filesystem::path& p) {
      SCOPED_TRACE(p.string());
      // Whole, and for a thumbnail (where embedded previews are taken).
      LoadOptions shrink;
      shrink.minimumSize = [](Size full) { return Size{full.width / 4, full.height / 4}; };
      for (const LoadOptions& options : {LoadOptions{}, shrink}) {
        try {
          const Image image = read(test::ReadFileBytes(p), options);
          EXPECT_EQ(image.pixels.size(), image.stride() * static_cast<std::size_t>(image.height));
        } catch (const Error& e) {
          EXPECT_EQ(e.number(), kCorrupt);
        }
      }
    });
  }
}

}  // namespace
}  // namespace mirelo::imaging
