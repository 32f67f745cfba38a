// PICT reader and writer: files ImageMagick writes, hand-built opcode streams, round trips.

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "platform/imaging/codecs.h"
#include "platform/imaging/packbits.h"
#include "support/magick.h"
#include "support/temp_dir.h"
#include "test_bmp_pict_util.h"

namespace mirelo::imaging {
namespace {

using test::ByteBuilder;

const Rgb kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kWhite{255, 255, 255}, kBlack{0, 0, 0};

// Writes the opcode stream of a picture: header, opcodes, end.
class PictBuilder {
 public:
  PictBuilder(int version, int width, int height, bool preamble = true, double dpi = 0, int top = 0,
              int left = 0)
      : version_(version) {
    if (preamble) b_.zeros(512);
    start_ = b_.size();
    b_.u16be(0).rect(top, left, top + height, left + width);
    if (version == 1) {
      b_.u8(0x11).u8(0x01);
    } else {
      b_.u16be(0x0011).u16be(0x02FF).u16be(0x0C00);
      b_.u16be(0xFFFE)
          .u16be(0)
          .u32be(static_cast<std::uint32_t>(dpi * 65536))
          .u32be(static_cast<std::uint32_t>(dpi * 65536));
      b_.rect(top, left, top + height, left + width).u32be(0);
    }
  }
  PictBuilder& op(unsigned code) {
    if (version_ == 2) {
      if ((b_.size() - start_) & 1) b_.u8(0);
      b_.u16be(code);
    } else {
      b_.u8(code);
    }
    return *this;
  }
  ByteBuilder& raw() { return b_; }
  std::vector<std::uint8_t> end() {
    op(0x00FF);
    return b_.data();
  }

  // The fields of a pixel map after rowBytes and bounds (pixmap version .. reserved).
  PictBuilder& pixMapFields(int packType, int pixelSize, int cmpCount, int cmpSize) {
    b_.u16be(0).u16be(static_cast<unsigned>(packType)).u32be(0).u32be(72u << 16).u32be(72u << 16);
    b_.u16be(pixelSize >= 16 ? 16 : 0)
        .u16be(static_cast<unsigned>(pixelSize))
        .u16be(static_cast<unsigned>(cmpCount));
    b_.u16be(static_cast<unsigned>(cmpSize)).u32be(0).u32be(0).u32be(0);
    return *this;
  }
  PictBuilder& colourTable(const std::vector<Rgb>& colours, bool device = false) {
    b_.u32be(0).u16be(device ? 0x8000 : 0).u16be(static_cast<unsigned>(colours.size() - 1));
    for (std::size_t i = 0; i < colours.size(); ++i) {
      const Rgb& c = colours[i];
      b_.u16be(device ? 0 : static_cast<unsigned>(i)).u16be(c.r * 257u).u16be(c.g * 257u).u16be(c.b * 257u);
    }
    return *this;
  }
  // Rows preceded by their byte counts (one byte: rowBytes of at most 250).
  PictBuilder& packedRows(const std::vector<std::vector<std::uint8_t>>& rows) {
    for (const auto& r : rows) b_.u8(static_cast<unsigned>(r.size())).bytes(r);
    return *this;
  }

 private:
  int version_;
  std::size_t start_ = 0;
  ByteBuilder b_;
};

// A PackBits literal packet holding `bytes`.
std::vector<std::uint8_t> Literal(std::vector<std::uint8_t> bytes) {
  bytes.insert(bytes.begin(), static_cast<std::uint8_t>(bytes.size() - 1));
  return bytes;
}

std::vector<Rgb> PixelsOf(const Image& image) {
  std::vector<Rgb> out;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) out.push_back(test::PixelOf(image, x, y));
  }
  return out;
}

struct PictCase {
  const char* name;
  std::vector<std::uint8_t> bytes;
  int width, height;
  std::vector<Rgb> expected;
  int depth;
};

void PrintTo(const PictCase& c, std::ostream* os) { *os << c.name; }

std::vector<PictCase> HandCases() {
  std::vector<PictCase> cases;
  {  // Version 1, no preamble, a plain 1-bit bitmap.
    PictBuilder p(1, 10, 2, false);
    p.op(0x90).raw().u16be(2).rect(0, 0, 2, 10).rect(0, 0, 2, 10).rect(0, 0, 2, 10).u16be(0);
    p.raw().u8(0b10100000).u8(0b01000000).u8(0b00000000).u8(0b11000000);
    std::vector<Rgb> e(20, kWhite);
    e[0] = e[2] = e[9] = e[18] = e[19] = kBlack;
    cases.push_back({"v1_bitsrect_1bit_no_preamble", p.end(), 10, 2, e, 1});
  }
  {  // Version 2 PackBitsRect, 8-bit indexed, packed rows (rowBytes >= 8).
    PictBuilder p(2, 9, 2);
    p.op(0x98).raw().u16be(0x8000 | 10).rect(0, 0, 2, 9);
    p.pixMapFields(0, 8, 1, 8).colourTable({kBlack, kRed, kGreen, kBlue});
    p.raw().rect(0, 0, 2, 9).rect(0, 0, 2, 9).u16be(0);
    p.packedRows({{static_cast<std::uint8_t>(-8), 1, 0x00, 3},                      // 9 red, then pad
                  {0x02, 2, 3, 0, static_cast<std::uint8_t>(-5), 2, 0x00, 0x00}});  // literal + run + pad
    std::vector<Rgb> e(9, kRed);
    for (Rgb c : {kGreen, kBlue, kBlack, kGreen, kGreen, kGreen, kGreen, kGreen, kGreen}) e.push_back(c);
    cases.push_back({"v2_packbitsrect_8bit", p.end(), 9, 2, e, 8});
  }
  {  // 4-bit pixmap with rowBytes under 8: rows stored unpacked.
    PictBuilder p(2, 5, 1);
    p.op(0x98).raw().u16be(0x8000 | 3).rect(0, 0, 1, 5);
    p.pixMapFields(0, 4, 1, 4).colourTable({kWhite, kRed, kGreen});
    p.raw().rect(0, 0, 1, 5).rect(0, 0, 1, 5).u16be(0).u8(0x12).u8(0x01).u8(0x20);
    cases.push_back(
        {"v2_packbitsrect_4bit_unpacked", p.end(), 5, 1, {kRed, kGreen, kWhite, kRed, kGreen}, 4});
  }
  {  // Colour table values all 0 without the device flag: the last colour takes value 0, the
     // unset value under the entry count is grey, values beyond take value 0's colour.
    PictBuilder p(2, 4, 1);
    p.op(0x98).raw().u16be(0x8000 | 1).rect(0, 0, 1, 4);
    p.pixMapFields(0, 2, 1, 2).raw().u32be(0).u16be(0).u16be(1);
    for (Rgb c : {kRed, kGreen}) p.raw().u16be(0).u16be(c.r * 257u).u16be(c.g * 257u).u16be(c.b * 257u);
    p.raw().rect(0, 0, 1, 4).rect(0, 0, 1, 4).u16be(0).u8(0b00011011);
    cases.push_back(
        {"table_values_repeat_and_index_beyond_table", p.end(), 4, 1, {kGreen, kWhite, kGreen, kGreen}, 2});
  }
  {  // Values without the device flag are pixel values, also beyond the entry count.
    PictBuilder p(2, 4, 1);
    p.op(0x98).raw().u16be(0x8000 | 1).rect(0, 0, 1, 4);
    p.pixMapFields(0, 2, 1, 2).raw().u32be(0).u16be(0).u16be(2);
    const std::vector<std::pair<unsigned, Rgb>> entries{{3, kRed}, {1, kGreen}, {0, kBlue}};
    for (const auto& [v, c] : entries) p.raw().u16be(v).u16be(c.r * 257u).u16be(c.g * 257u).u16be(c.b * 257u);
    p.raw().rect(0, 0, 1, 4).rect(0, 0, 1, 4).u16be(0).u8(0b00011011);
    cases.push_back({"table_values_map_pixel_values", p.end(), 4, 1, {kBlue, kGreen, kWhite, kRed}, 2});
  }
  {  // PackBitsRgn, 2-bit, device colour table, mask region skipped.
    PictBuilder p(2, 4, 1);
    p.op(0x99).raw().u16be(0x8000 | 1).rect(0, 0, 1, 4);
    p.pixMapFields(0, 2, 1, 2).colourTable({kBlack, kRed, kGreen, kBlue}, true);
    p.raw().rect(0, 0, 1, 4).rect(0, 0, 1, 4).u16be(0).u16be(10).rect(0, 0, 1, 4);
    p.raw().u8(0b11100100);
    cases.push_back({"v2_packbitsrgn_2bit_device_table", p.end(), 4, 1, {kBlue, kGreen, kRed, kBlack}, 2});
  }
  {  // DirectBitsRect 16-bit, pack type 3 (PackBits on words).
    PictBuilder p(2, 5, 1);
    p.op(0x9A).raw().u32be(0xFF).u16be(0x8000 | 10).rect(0, 0, 1, 5);
    p.pixMapFields(3, 16, 3, 5).raw().rect(0, 0, 1, 5).rect(0, 0, 1, 5).u16be(0);
    // run of three red words, then a literal of green and blue
    p.packedRows({{static_cast<std::uint8_t>(-2), 0x7C, 0x00, 0x01, 0x03, 0xE0, 0x00, 0x1F}});
    cases.push_back({"v2_directbits_16bit_packtype3", p.end(), 5, 1, {kRed, kRed, kRed, kGreen, kBlue}, 16});
  }
  {  // DirectBitsRect 32-bit, pack type 1 (unpacked x R G B).
    PictBuilder p(2, 3, 1);
    p.op(0x9A).raw().u32be(0xFF).u16be(0x8000 | 12).rect(0, 0, 1, 3);
    p.pixMapFields(1, 32, 3, 8).raw().rect(0, 0, 1, 3).rect(0, 0, 1, 3).u16be(0);
    p.raw().bytes({0, 255, 0, 0, 0, 0, 255, 0, 0, 0, 0, 255});
    cases.push_back({"v2_directbits_32bit_packtype1", p.end(), 3, 1, {kRed, kGreen, kBlue}, 32});
  }
  {  // Pack type 2: the pad byte dropped, R G B unpacked.
    PictBuilder p(2, 3, 1);
    p.op(0x9A).raw().u32be(0xFF).u16be(0x8000 | 12).rect(0, 0, 1, 3);
    p.pixMapFields(2, 32, 3, 8).raw().rect(0, 0, 1, 3).rect(0, 0, 1, 3).u16be(0);
    p.raw().bytes({0, 0, 255, 255, 0, 0, 0, 255, 0});
    cases.push_back({"v2_directbits_32bit_packtype2", p.end(), 3, 1, {kBlue, kRed, kGreen}, 32});
  }
  {  // DirectBitsRgn, 32-bit planes with alpha first (pack type 4, four components).
    PictBuilder p(2, 3, 1);
    p.op(0x9B).raw().u32be(0xFF).u16be(0x8000 | 12).rect(0, 0, 1, 3);
    p.pixMapFields(4, 32, 4, 8).raw().rect(0, 0, 1, 3).rect(0, 0, 1, 3).u16be(0).u16be(10).rect(0, 0, 1, 3);
    p.packedRows({Literal({255, 0, 255, 255, 0, 0, 0, 0, 0, 0, 0, 255})});
    cases.push_back({"v2_directbitsrgn_32bit_alpha_planes", p.end(), 3, 1, {kRed, kWhite, kBlue}, 32});
  }
  {  // Opcodes we do not draw are skipped by their sizes.
    PictBuilder p(2, 2, 1);
    p.op(0x00A1).raw().u16be(100).u16be(3).bytes({1, 2, 3});          // long comment, odd length
    p.op(0x00A0).raw().u16be(7);                                      // short comment
    p.op(0x001A).raw().u16be(1).u16be(2).u16be(3);                    // foreground colour
    p.op(0x0028).raw().u16be(1).u16be(1).u8(2).u8('h').u8('i');       // long text
    p.op(0x0092).raw().u16be(2).u16be(0);                             // reserved, word length
    p.op(0x00D0).raw().u32be(3).bytes({9, 9, 9});                     // reserved, long length
    p.op(0x0200).raw().u32be(0);                                      // reserved, (op >> 8) * 2 bytes
    p.op(0x8201).raw().u32be(2).u16be(0);                             // uncompressed QuickTime
    p.op(0x0030).raw().rect(0, 0, 1, 1);                              // frame rectangle
    p.op(0x0070).raw().u16be(10).rect(0, 0, 1, 1);                    // polygon
    p.op(0x0012).raw().u16be(2).zeros(8).u16be(1).u16be(2).u16be(3);  // RGB background pattern
    p.op(0x9A).raw().u32be(0xFF).u16be(0x8000 | 8).rect(0, 0, 1, 2);
    p.pixMapFields(1, 32, 3, 8).raw().rect(0, 0, 1, 2).rect(0, 0, 1, 2).u16be(0);
    p.raw().bytes({0, 0, 255, 0, 0, 0, 0, 255});
    cases.push_back({"unknown_and_vector_opcodes_skipped", p.end(), 2, 1, {kGreen, kBlue}, 32});
  }
  {  // A 2x1 source stretched to 4x2, placed in a frame whose origin is not zero.
    PictBuilder p(2, 4, 3, true, 0, 10, 20);
    p.op(0x9A).raw().u32be(0xFF).u16be(0x8000 | 8).rect(0, 0, 1, 2);
    p.pixMapFields(1, 32, 3, 8).raw().rect(0, 0, 1, 2).rect(11, 20, 13, 24).u16be(0);
    p.raw().bytes({0, 255, 0, 0, 0, 0, 0, 255});
    std::vector<Rgb> e(4, kWhite);
    for (int i = 0; i < 2; ++i) {
      for (Rgb c : {kRed, kRed, kBlue, kBlue}) e.push_back(c);
    }
    cases.push_back({"scaled_into_offset_frame", p.end(), 4, 3, e, 32});
  }
  return cases;
}

class PictHandBuilt : public testing::TestWithParam<PictCase> {};

TEST_P(PictHandBuilt, DecodesToTheExpectedPixels) {
  const PictCase& c = GetParam();
  ASSERT_TRUE(IsPict(c.bytes));
  const Image image = ReadPict(c.bytes, {});
  ASSERT_EQ(image.width, c.width);
  ASSERT_EQ(image.height, c.height);
  EXPECT_EQ(image.storedBitsPerPixel, c.depth);
  const std::vector<Rgb> got = PixelsOf(image);
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i], c.expected[i]) << "pixel " << i << " is " << int(got[i].r) << "," << int(got[i].g)
                                     << "," << int(got[i].b);
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, PictHandBuilt, testing::ValuesIn(HandCases()),
                         [](const testing::TestParamInfo<PictCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(PictReader, ResolutionComesFromTheExtendedHeader) {
  PictBuilder p(2, 1, 1, true, 300);
  p.op(0x9A).raw().u32be(0xFF).u16be(0x8000 | 4).rect(0, 0, 1, 1);
  p.pixMapFields(1, 32, 3, 8).raw().rect(0, 0, 1, 1).rect(0, 0, 1, 1).u16be(0).u32be(0);
  const Image image = ReadPict(p.end(), {});
  EXPECT_DOUBLE_EQ(image.dpiX, 300.0);
  EXPECT_DOUBLE_EQ(image.dpiY, 300.0);
}

TEST(PictReader, APictureWithoutPixelsIsRefused) {
  PictBuilder p(2, 4, 4);
  p.op(0x0031).raw().rect(0, 0, 2, 2);  // paint a rectangle: vector drawing only
  const std::vector<std::uint8_t> bytes = p.end();
  EXPECT_EQ(test::ErrorNumber([&] { ReadPict(bytes, {}); }), 20009);
}

// ---------------------------------------------------------------------------------------------
// Files ImageMagick writes.

struct MagickCase {
  const char* name;
  std::vector<std::string> args;
};
void PrintTo(const MagickCase& c, std::ostream* os) { *os << c.name; }

class PictFromMagick : public testing::TestWithParam<MagickCase> {};

TEST_P(PictFromMagick, DecodesLikeImageMagick) {
  test::TempDir dir;
  const auto out = dir / "out.pct";
  std::vector<std::string> args{"rose:", "-resize", "37x23!"};
  args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
  args.push_back("PICT:" + out.string());
  ASSERT_TRUE(test::MagickConvert(args));
  const auto expected = test::MagickDecode(out);
  ASSERT_TRUE(expected.has_value());
  const Image ours = ReadPict(test::ReadFileBytes(out), {});
  EXPECT_EQ(test::MaxChannelDifference(ours, *expected), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Variants, PictFromMagick,
    testing::Values(MagickCase{"direct_32bit", {}}, MagickCase{"indexed_8bit", {"-type", "Palette"}},
                    MagickCase{"indexed_few_colours", {"-colors", "5", "-type", "Palette"}},
                    // row bytes 280: one-byte row counts from this writer
                    MagickCase{"direct_70_wide", {"-resize", "70x5!"}},
                    MagickCase{"direct_300_wide", {"-resize", "300x5!"}},
                    MagickCase{"monochrome", {"-monochrome"}},
                    MagickCase{"grey_16_levels", {"-type", "Grayscale", "-colors", "16"}},
                    MagickCase{
                        "grey_palette_wide",
                        {"-resize", "230x4!", "-colorspace", "Gray", "-colors", "9", "-type", "Palette"}}),
    [](const testing::TestParamInfo<MagickCase>& info) { return std::string(info.param.name); });

TEST(PictReader, QuickTimeJpegIsDecodedFromItsEmbeddedStream) {
  test::TempDir dir;
  const auto jpegPath = dir / "in.jpg";
  ASSERT_TRUE(test::MagickConvert({"rose:", "-quality", "95", jpegPath.string()}));
  const std::vector<std::uint8_t> jpeg = test::ReadFileBytes(jpegPath);
  try {
    ReadJpeg(jpeg, {});
  } catch (const Error&) {
    GTEST_SKIP() << "the JPEG reader is not available";
  }
  PictBuilder p(2, 70, 46);
  p.op(0x8200);
  ByteBuilder q;
  q.u16be(0).zeros(36).u32be(0).rect(0, 0, 0, 0).u16be(0).rect(0, 0, 46, 70).u32be(0).u32be(0);
  // Image description: 86 bytes, codec "jpeg", data size at offset 44.
  q.u32be(86)
      .u8('j')
      .u8('p')
      .u8('e')
      .u8('g')
      .zeros(36)
      .u32be(static_cast<std::uint32_t>(jpeg.size()))
      .zeros(38);
  q.bytes(jpeg);
  p.raw().u32be(static_cast<std::uint32_t>(q.size())).bytes(q.data());
  const Image image = ReadPict(p.end(), {});
  const Image direct = ReadJpeg(jpeg, {});
  EXPECT_EQ(image.width, 70);
  EXPECT_EQ(image.height, 46);
  EXPECT_EQ(test::MaxChannelDifference(image, direct), 0);
}

// ---------------------------------------------------------------------------------------------
// Indexed pixmaps whose row byte counts were refused: ImageMagick writes two-byte counts from
// rowBytes 201 on, QuickDraw from 251 on. Tables with fewer colours than the depth allows,
// grey and colour, sizes on both sides of the two boundaries and under 8 row bytes.

struct IndexedCase {
  int width, height, colours;
  bool grey;
};
void PrintTo(const IndexedCase& c, std::ostream* os) {
  *os << c.width << "x" << c.height << "_" << c.colours << (c.grey ? "_grey" : "_colour");
}

class PictRowCountsFromMagick : public testing::TestWithParam<IndexedCase> {};

TEST_P(PictRowCountsFromMagick, IndexedPictDecodesLikeImageMagick) {
  const IndexedCase& c = GetParam();
  test::TempDir dir;
  const auto out = dir / "in.pct";
  const std::string size = std::to_string(c.width) + "x" + std::to_string(c.height);
  ASSERT_TRUE(
      test::MagickConvert({"-size", size, c.grey ? "gradient:" : "radial-gradient:#ffffff-#6a4c93", "-colors",
                           std::to_string(c.colours), "-type", "Palette", "PICT:" + out.string()}));
  const auto expected = test::MagickDecode(out);
  ASSERT_TRUE(expected.has_value());
  const Image ours = ReadPict(test::ReadFileBytes(out), {});
  EXPECT_EQ(test::MaxChannelDifference(ours, *expected), 0);
}

std::vector<IndexedCase> MagickIndexedCases() {
  std::vector<IndexedCase> cases;
  // Under 8 pixels see PictPackedSmallRowsFromMagick.
  for (const Size& s : {Size{8, 3}, Size{9, 2}, Size{200, 3}, Size{201, 3}, Size{216, 144}, Size{250, 2},
                        Size{251, 2}, Size{300, 2}}) {
    for (int colours : {2, 16, 200}) {
      for (bool grey : {false, true}) cases.push_back({s.width, s.height, colours, grey});
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(SizesColours, PictRowCountsFromMagick, testing::ValuesIn(MagickIndexedCases()),
                         [](const testing::TestParamInfo<IndexedCase>& info) {
                           const IndexedCase& c = info.param;
                           return std::to_string(c.width) + "x" + std::to_string(c.height) + "_" +
                                  std::to_string(c.colours) + (c.grey ? "_grey" : "_colour");
                         });

// Under 8 row bytes ImageMagick still packs the rows, and reads them back as unpacked bytes;
// compared with the picture it was given instead.
class PictPackedSmallRowsFromMagick : public testing::TestWithParam<IndexedCase> {};

TEST_P(PictPackedSmallRowsFromMagick, DecodeToTheSourcePixels) {
  const IndexedCase& c = GetParam();
  test::TempDir dir;
  const std::string size = std::to_string(c.width) + "x" + std::to_string(c.height);
  const std::vector<std::string> source{"-size", size, c.grey ? "gradient:" : "gradient:red-blue", "-colors",
                                        std::to_string(c.colours)};
  std::vector<std::string> toPict = source, toPng = source;
  toPict.insert(toPict.end(), {"-type", "Palette", "PICT:" + (dir / "in.pct").string()});
  toPng.push_back("PNG24:" + (dir / "in.png").string());
  ASSERT_TRUE(test::MagickConvert(toPict));
  ASSERT_TRUE(test::MagickConvert(toPng));
  const auto expected = test::MagickDecode(dir / "in.png");
  ASSERT_TRUE(expected.has_value());
  const Image ours = ReadPict(test::ReadFileBytes(dir / "in.pct"), {});
  EXPECT_EQ(test::MaxChannelDifference(ours, *expected), 0);
}

std::vector<IndexedCase> SmallCases() {
  std::vector<IndexedCase> cases;
  for (int width : {1, 2, 3, 5, 7}) {
    for (int colours : {2, 4}) {
      for (bool grey : {false, true}) cases.push_back({width, 6, colours, grey});
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(SizesColours, PictPackedSmallRowsFromMagick, testing::ValuesIn(SmallCases()),
                         [](const testing::TestParamInfo<IndexedCase>& info) {
                           const IndexedCase& c = info.param;
                           return std::to_string(c.width) + "x" + std::to_string(c.height) + "_" +
                                  std::to_string(c.colours) + (c.grey ? "_grey" : "_colour");
                         });

// Hand-built PackBitsRect pictures in every indexed depth, with either row count rule and
// colour table header variants.
struct DepthCase {
  int pixelSize, width, colours;
  bool grey;
  int countRule;  // row counts take two bytes above this many row bytes (250 or 200)
  std::uint32_t seed;
  unsigned flags;
};

std::string DepthName(const DepthCase& c) {
  return "bits" + std::to_string(c.pixelSize) + "_w" + std::to_string(c.width) + "_c" +
         std::to_string(c.colours) + (c.grey ? "_grey" : "_colour") + "_rule" + std::to_string(c.countRule) +
         (c.flags == 0x8000 ? "_device"
          : c.flags         ? "_flags"
                            : "") +
         (c.seed ? "_seed" : "");
}
void PrintTo(const DepthCase& c, std::ostream* os) { *os << DepthName(c); }

struct BuiltPict {
  std::vector<std::uint8_t> bytes;
  std::vector<Rgb> expected;
  std::size_t rowBytes;
};

BuiltPict IndexedPict(const DepthCase& c, int height) {
  std::vector<Rgb> table;
  for (int i = 0; i < c.colours; ++i) {
    const auto v = static_cast<std::uint8_t>(255 * i / std::max(1, c.colours - 1));
    table.push_back(c.grey
                        ? Rgb{v, v, v}
                        : Rgb{static_cast<std::uint8_t>(i * 97), static_cast<std::uint8_t>(255 - i * 31), v});
  }
  std::size_t rowBytes = (static_cast<std::size_t>(c.width) * static_cast<std::size_t>(c.pixelSize) + 7) / 8;
  rowBytes += rowBytes & 1;
  PictBuilder p(2, c.width, height);
  p.op(0x98).raw().u16be(static_cast<unsigned>(0x8000 | rowBytes)).rect(0, 0, height, c.width);
  p.pixMapFields(0, c.pixelSize, 1, c.pixelSize);
  p.raw().u32be(c.seed).u16be(c.flags).u16be(static_cast<unsigned>(c.colours - 1));
  for (int i = 0; i < c.colours; ++i) {
    const Rgb& t = table[static_cast<std::size_t>(i)];
    p.raw()
        .u16be((c.flags & 0x8000) ? 0 : static_cast<unsigned>(i))
        .u16be(t.r * 257u)
        .u16be(t.g * 257u)
        .u16be(t.b * 257u);
  }
  p.raw().rect(0, 0, height, c.width).rect(0, 0, height, c.width).u16be(0);
  BuiltPict out;
  out.rowBytes = rowBytes;
  for (int y = 0; y < height; ++y) {
    std::vector<std::uint8_t> row(rowBytes, 0);
    for (int x = 0; x < c.width; ++x) {
      // runs on the left half, changing values on the right: both packet kinds
      const int index = (x < c.width / 2 ? y : x * 7 + y) % c.colours;
      const std::size_t bit = static_cast<std::size_t>(x * c.pixelSize);
      row[bit / 8] |= static_cast<std::uint8_t>(index << (8 - c.pixelSize - static_cast<int>(bit % 8)));
      out.expected.push_back(table[static_cast<std::size_t>(index)]);
    }
    if (rowBytes < 8) {
      p.raw().bytes(row);
      continue;
    }
    std::vector<std::uint8_t> packed;
    PackBits(row, packed);
    if (rowBytes > static_cast<std::size_t>(c.countRule)) {
      p.raw().u16be(static_cast<unsigned>(packed.size()));
    } else {
      p.raw().u8(static_cast<unsigned>(packed.size()));
    }
    p.raw().bytes(packed);
  }
  out.bytes = p.end();
  return out;
}

class PictRowCountsInEveryDepth : public testing::TestWithParam<DepthCase> {};

TEST_P(PictRowCountsInEveryDepth, DecodesTheWrittenPixels) {
  const DepthCase& c = GetParam();
  const BuiltPict built = IndexedPict(c, 3);
  const Image ours = ReadPict(built.bytes, {});
  ASSERT_EQ(ours.width, c.width);
  EXPECT_EQ(ours.storedBitsPerPixel, c.pixelSize);
  EXPECT_EQ(PixelsOf(ours), built.expected);
  // ImageMagick follows its own writer's rule, so it cannot read one-byte counts at 201..250.
  if (c.countRule == 250 && built.rowBytes > 200 && built.rowBytes <= 250) return;
  test::TempDir dir;
  test::WriteBytes(dir / "in.pct", built.bytes);
  const auto expected = test::MagickDecode(dir / "in.pct");
  ASSERT_TRUE(expected.has_value());
  EXPECT_EQ(test::MaxChannelDifference(ours, *expected), 0);
}

std::vector<DepthCase> DepthCases() {
  std::vector<DepthCase> cases;
  for (int bits : {1, 2, 4, 8}) {
    const int perByte = 8 / bits;
    // row bytes 2 (unpacked), 8, 200, 201, 230, 250, 252
    for (int rowBytes : {2, 8, 200, 201, 230, 250, 252}) {
      const int width = rowBytes * perByte - (bits == 8 ? 0 : 1);
      for (int colours : {2, (1 << bits) - 1}) {
        if (bits == 1 && colours != 2) continue;
        for (bool grey : {false, true}) {
          for (int rule : {250, 200}) {
            if (rowBytes < 8 && rule == 200) continue;
            cases.push_back({bits, width, colours, grey, rule, 0, 0});
          }
        }
      }
    }
    cases.push_back({bits, 20 * perByte, 2, false, 250, 0xFFFFFFFF, 0x8000});
    cases.push_back({bits, 20 * perByte, 2, true, 250, 1, 0x4000});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Variants, PictRowCountsInEveryDepth, testing::ValuesIn(DepthCases()),
                         [](const testing::TestParamInfo<DepthCase>& info) { return DepthName(info.param); });

// Whatever the row count rule, a picture cut short or with damaged bytes is refused with 20009
// or decoded, never read out of bounds.
TEST(PictRowCounts, DamagedPicturesAreRefusedOrDecoded) {
  for (int rule : {200, 250}) {
    const BuiltPict built = IndexedPict({8, 230, 5, false, rule, 0, 0}, 2);
    for (std::size_t cut = 512; cut < built.bytes.size(); cut += 7) {
      std::vector<std::uint8_t> bytes(built.bytes.begin(),
                                      built.bytes.begin() + static_cast<std::ptrdiff_t>(cut));
      const int number = test::ErrorNumber([&] { ReadPict(bytes, {}); });
      EXPECT_EQ(number, 20009) << "cut at " << cut;
    }
    for (std::size_t at = 512; at < built.bytes.size(); at += 3) {
      std::vector<std::uint8_t> bytes = built.bytes;
      bytes[at] ^= 0xA5;
      const int number = test::ErrorNumber([&] { ReadPict(bytes, {}); });
      EXPECT_TRUE(number == 0 || number == 20009) << "byte " << at << " gave " << number;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Writer.

Image Pattern(int width, int height) {
  Image image = Image::blank(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = image.row(y) + 3 * x;
      p[0] = static_cast<std::uint8_t>(x < width / 2 ? 200 : x * 3);  // runs and literals
      p[1] = static_cast<std::uint8_t>(y * 17);
      p[2] = static_cast<std::uint8_t>((x / 3) * 11);
    }
  }
  return image;
}

class PictWriterSizes : public testing::TestWithParam<Size> {};

TEST_P(PictWriterSizes, ImageMagickAndWeReadBackEveryPixel) {
  Image image = Pattern(GetParam().width, GetParam().height);
  image.dpiX = 300;
  image.dpiY = 150;
  const std::vector<std::uint8_t> bytes = WritePict(image, {});
  test::TempDir dir;
  const auto path = dir / "out.pct";
  test::WriteBytes(path, bytes);
  const auto back = test::MagickDecode(path);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(test::MaxChannelDifference(image, *back), 0);
  const Image ours = ReadPict(bytes, {});
  EXPECT_EQ(test::MaxChannelDifference(image, ours), 0);
  EXPECT_DOUBLE_EQ(ours.dpiX, 300.0);
  EXPECT_DOUBLE_EQ(ours.dpiY, 150.0);
}

// Widths around the one- and two-byte row counts (row bytes 250), one pixel, and wider than
// one pixel map can hold (row bytes are limited to 14 bits).
INSTANTIATE_TEST_SUITE_P(Sizes, PictWriterSizes,
                         testing::Values(Size{37, 23}, Size{1, 1}, Size{1, 4}, Size{2, 3}, Size{3, 1},
                                         Size{51, 2}, Size{62, 2}, Size{63, 3}, Size{83, 2}, Size{84, 2},
                                         Size{4001, 2}));

// ImageMagick does not report the resolution of a PICT file, so the header is checked here.
TEST(PictWriter, HeaderCarriesVersion2AndTheResolution) {
  Image image = Pattern(5, 4);
  image.dpiX = 300;
  image.dpiY = 72;
  const std::vector<std::uint8_t> b = WritePict(image, {});
  ASSERT_GT(b.size(), 560u);
  EXPECT_TRUE(std::all_of(b.begin(), b.begin() + 512, [](std::uint8_t v) { return v == 0; }));
  const std::vector<std::uint8_t> versionAndHeader{0x00, 0x11, 0x02, 0xFF, 0x0C, 0x00, 0xFF, 0xFE, 0,
                                                   0,    0x01, 0x2C, 0,    0,    0x00, 0x48, 0,    0};
  EXPECT_TRUE(std::equal(versionAndHeader.begin(), versionAndHeader.end(), b.begin() + 522));
  EXPECT_EQ(b[b.size() - 2], 0x00);
  EXPECT_EQ(b[b.size() - 1], 0xFF);
  EXPECT_EQ((b.size() - 512) % 2, 0u);
  test::TempDir dir;
  test::WriteBytes(dir / "h.pct", b);
  EXPECT_EQ(test::MagickIdentify(dir / "h.pct", "%w %h"), "5 4");
}

}  // namespace
}  // namespace mirelo::imaging
