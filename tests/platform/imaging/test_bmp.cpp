// BMP reader and writer: variants written by ImageMagick and by hand, compared pixel by pixel.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <ostream>
#include <string>

#include "platform/imaging/codecs.h"
#include "support/magick.h"
#include "support/temp_dir.h"
#include "test_bmp_pict_util.h"

namespace mirelo::imaging {
namespace {

using test::BmpSpec;
using test::ByteBuilder;
using test::ErrorNumber;
using test::MakeBmp;

Image Decode(const std::vector<std::uint8_t>& bytes) { return ReadBmp(bytes, {}); }

// ---------------------------------------------------------------------------------------------
// Files ImageMagick writes, decoded by us and by ImageMagick.

struct MagickCase {
  const char* name;
  std::vector<std::string> args;  // between the source and the output
  const char* prefix;             // output format prefix
  int bpp;                        // expected stored bits per pixel
  bool palette;                   // loads as Palette8
  bool alphaSource = false;       // start from a translucent picture
  int tolerance = 0;
};

void PrintTo(const MagickCase& c, std::ostream* os) { *os << c.name; }

class BmpFromMagick : public testing::TestWithParam<MagickCase> {};

TEST_P(BmpFromMagick, DecodesLikeImageMagick) {
  const MagickCase& c = GetParam();
  test::TempDir dir;
  const auto src = dir / "src.png";
  if (c.alphaSource) {
    ASSERT_TRUE(test::MagickConvert(
        {"-size", "37x23", "gradient:rgba(255,0,0,0.1)-rgba(0,0,255,0.9)", src.string()}));
  } else {
    ASSERT_TRUE(test::MagickConvert({"rose:", "-resize", "37x23!", src.string()}));
  }
  const auto out = dir / "out.bmp";
  std::vector<std::string> args{src.string()};
  args.insert(args.end(), c.args.begin(), c.args.end());
  args.push_back(std::string(c.prefix) + out.string());
  ASSERT_TRUE(test::MagickConvert(args));
  const auto expected = test::MagickDecode(out);
  ASSERT_TRUE(expected.has_value());
  const Image ours = ReadBmp(test::ReadFileBytes(out), {});
  EXPECT_EQ(ours.width, 37);
  EXPECT_EQ(ours.height, 23);
  EXPECT_EQ(ours.storedBitsPerPixel, c.bpp);
  EXPECT_EQ(ours.format == PixelFormat::Palette8, c.palette);
  EXPECT_LE(test::MaxChannelDifference(ours, *expected), c.tolerance);
}

INSTANTIATE_TEST_SUITE_P(
    Variants, BmpFromMagick,
    testing::Values(
        MagickCase{"v3_24bit", {}, "BMP3:", 24, false}, MagickCase{"os2_core_24bit", {}, "BMP2:", 24, false},
        MagickCase{"v5_24bit", {}, "BMP:", 24, false},
        MagickCase{"v3_8bit", {"-compress", "None", "-type", "Palette"}, "BMP3:", 8, true},
        MagickCase{"v3_rle8", {"-compress", "RLE", "-type", "Palette"}, "BMP3:", 8, true},
        MagickCase{"v3_4bit", {"-colors", "12", "-compress", "None", "-type", "Palette"}, "BMP3:", 4, true},
        MagickCase{"v3_1bit", {"-monochrome"}, "BMP3:", 1, true},
        MagickCase{"os2_core_8bit", {"-compress", "None", "-type", "Palette"}, "BMP2:", 8, true},
        MagickCase{"v5_rgb555", {"-define", "bmp:subtype=RGB555"}, "BMP:", 16, false},
        // ImageMagick reads a 4-bit field 15 as 240 where we give 255.
        MagickCase{"v5_argb4444", {"-define", "bmp:subtype=ARGB4444"}, "BMP:", 16, false, true, 17},
        // Flattening onto white may round one level apart.
        MagickCase{"v5_argb8888", {"-type", "TrueColorAlpha"}, "BMP:", 32, false, true, 1}),
    [](const testing::TestParamInfo<MagickCase>& info) { return std::string(info.param.name); });

// ImageMagick truncates 6-bit fields (63 becomes 252); we replicate bits so white stays white.
TEST(BmpReader, Rgb565WithinThreeLevelsOfImageMagickAndWhiteStaysWhite) {
  test::TempDir dir;
  const auto out = dir / "565.bmp";
  ASSERT_TRUE(test::MagickConvert({"rose:", "-resize", "37x23!", "-fill", "white", "-draw", "point 0,0",
                                   "-define", "bmp:subtype=RGB565", "BMP:" + out.string()}));
  const Image ours = ReadBmp(test::ReadFileBytes(out), {});
  const auto expected = test::MagickDecode(out);
  ASSERT_TRUE(expected.has_value());
  EXPECT_LE(test::MaxChannelDifference(ours, *expected), 3);
  EXPECT_EQ(test::PixelOf(ours, 0, 0), (Rgb{255, 255, 255}));
}

TEST(BmpReader, Version4HeaderDecodesLikeVersion5) {
  // ImageMagick writes only version 5 headers; cutting the colour space fields gives a v4.
  test::TempDir dir;
  const auto v5 = dir / "v5.bmp";
  ASSERT_TRUE(test::MagickConvert({"rose:", "-type", "TrueColorAlpha", "BMP:" + v5.string()}));
  std::vector<std::uint8_t> bytes = test::ReadFileBytes(v5);
  ASSERT_EQ(bytes[14], 124);
  std::vector<std::uint8_t> v4(bytes.begin(), bytes.begin() + 14 + 108);
  v4.insert(v4.end(), bytes.begin() + 14 + 124, bytes.end());
  v4[14] = 108;
  v4[10] = static_cast<std::uint8_t>(v4[10] - 16);
  v4[2] = static_cast<std::uint8_t>(v4.size());
  v4[3] = static_cast<std::uint8_t>(v4.size() >> 8);
  v4[4] = static_cast<std::uint8_t>(v4.size() >> 16);
  const auto v4path = dir / "v4.bmp";
  test::WriteBytes(v4path, v4);
  const auto expected = test::MagickDecode(v4path);
  ASSERT_TRUE(expected.has_value());
  EXPECT_EQ(test::MaxChannelDifference(Decode(v4), *expected), 0);
  EXPECT_EQ(test::MaxChannelDifference(Decode(v4), Decode(bytes)), 0);
}

TEST(BmpReader, DensityBecomesDotsPerInch) {
  BmpSpec s;
  s.pixels = {0, 0, 0, 0};
  s.ppm = 11811;  // 300 dpi
  Image image = Decode(MakeBmp(s));
  EXPECT_DOUBLE_EQ(image.dpiX, 300.0);
  s.ppm = 0;  // unset
  EXPECT_DOUBLE_EQ(Decode(MakeBmp(s)).dpiX, 96.0);
  s.ppm = 3000;  // 76.2 dpi is kept as it is
  EXPECT_NEAR(Decode(MakeBmp(s)).dpiX, 76.2, 1e-9);
}

TEST(BmpReader, EmbeddedPngStreamIsDecoded) {
  test::TempDir dir;
  ASSERT_TRUE(test::MagickConvert({"rose:", (dir / "in.png").string()}));
  BmpSpec s;
  s.width = 70;
  s.height = 46;
  s.bpp = 0;
  s.compression = 5;  // BI_PNG
  s.ppm = 11811;
  s.pixels = test::ReadFileBytes(dir / "in.png");
  const Image image = Decode(MakeBmp(s));
  const auto expected = test::MagickDecode(dir / "in.png");
  ASSERT_TRUE(expected.has_value());
  EXPECT_EQ(test::MaxChannelDifference(image, *expected), 0);
  EXPECT_DOUBLE_EQ(image.dpiX, 300.0);
}

// ---------------------------------------------------------------------------------------------
// Variants ImageMagick cannot write, built by hand with the pixels we expect.

struct HandCase {
  const char* name;
  BmpSpec spec;
  std::vector<Rgb> expected;  // row by row, top first
  bool magickAgrees = true;   // ImageMagick decodes it to the same pixels
};

void PrintTo(const HandCase& c, std::ostream* os) { *os << c.name; }

const Rgb kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kWhite{255, 255, 255}, kBlack{0, 0, 0};
const Rgb kGrey{10, 20, 30};

std::vector<HandCase> HandCases() {
  std::vector<HandCase> cases;
  {
    HandCase c{"top_down_24bit", {}, {}};
    c.spec.width = 2;
    c.spec.height = -2;
    c.spec.pixels = {0,   0, 255, 0,   255, 0,   0, 0,  // top row: red, green, padding
                     255, 0, 0,   255, 255, 255, 0, 0};
    c.expected = {kRed, kGreen, kBlue, kWhite};
    cases.push_back(c);
  }
  {
    HandCase c{"top_down_8bit", {}, {}};
    c.spec.width = 3;
    c.spec.height = -2;
    c.spec.bpp = 8;
    c.spec.palette = {kGrey, kRed, kGreen};
    c.spec.pixels = {1, 2, 0, 0, 0, 0, 2, 0};
    c.expected = {kRed, kGreen, kGrey, kGrey, kGrey, kGreen};
    cases.push_back(c);
  }
  {
    HandCase c{"v3_bitfields_565", {}, {}};
    c.spec.width = 3;
    c.spec.bpp = 16;
    c.spec.compression = 3;
    c.spec.masks = {0xF800, 0x07E0, 0x001F, 0};
    c.spec.pixels = {0xFF, 0xFF, 0xE0, 0x07, 0x00, 0xF8, 0, 0};
    c.expected = {kWhite, kGreen, kRed};
    c.magickAgrees = false;  // 6-bit green: see Rgb565WithinThreeLevelsOfImageMagick
    cases.push_back(c);
  }
  {
    HandCase c{"v3_16bit_default_555", {}, {}};
    c.spec.width = 2;
    c.spec.bpp = 16;
    c.spec.pixels = {0xFF, 0x7F, 0x1F, 0x00};
    c.expected = {kWhite, kBlue};
    cases.push_back(c);
  }
  {
    HandCase c{"v3_bitfields_32bit_10_10_10", {}, {}};
    c.spec.width = 2;
    c.spec.bpp = 32;
    c.spec.compression = 3;
    c.spec.masks = {0x3FF00000, 0x000FFC00, 0x000003FF, 0};
    const std::uint32_t a = 0x3FF00000, b = 512u << 10;
    c.spec.pixels = {std::uint8_t(a), std::uint8_t(a >> 8), std::uint8_t(a >> 16), std::uint8_t(a >> 24),
                     std::uint8_t(b), std::uint8_t(b >> 8), std::uint8_t(b >> 16), std::uint8_t(b >> 24)};
    c.expected = {kRed, Rgb{0, 128, 0}};
    c.magickAgrees = false;  // ImageMagick rounds wide fields through 16 bits
    cases.push_back(c);
  }
  {
    HandCase c{"v3_bitfields_odd_widths_2_3_1", {}, {}};
    c.spec.width = 2;
    c.spec.bpp = 16;
    c.spec.compression = 3;
    c.spec.masks = {0xC000, 0x3800, 0x0400, 0};
    c.spec.pixels = {0x00, 0xFC, 0x00, 0x40};
    c.expected = {kWhite, Rgb{0x55, 0, 0}};
    c.magickAgrees = false;  // ImageMagick truncates narrow fields instead of replicating bits
    cases.push_back(c);
  }
  {
    HandCase c{"rle8_delta_and_end_of_bitmap", {}, {}};
    c.spec.width = 4;
    c.spec.height = 3;
    c.spec.bpp = 8;
    c.spec.compression = 1;
    c.spec.palette = {kGrey, kRed, kGreen};
    c.spec.pixels = {2, 1,              // bottom row: two red
                     0, 2, 1, 1,        // delta right 1, up 1: x=3 of the middle row
                     1, 2,              // one green
                     0, 0,              // end of line
                     0, 3, 2, 1, 2, 0,  // absolute run of three, padded
                     0, 0, 0, 1};
    c.expected = {kGreen, kRed, kGreen, kGrey, kGrey, kGrey, kGrey, kGreen, kRed, kRed, kGrey, kGrey};
    cases.push_back(c);
  }
  {
    HandCase c{"rle4_runs_and_absolute", {}, {}};
    c.spec.width = 5;
    c.spec.height = 2;
    c.spec.bpp = 4;
    c.spec.compression = 2;
    c.spec.palette = {kGrey, kRed, kGreen};
    c.spec.pixels = {5, 0x12, 0,    0,              // bottom: 1 2 1 2 1
                     0, 3,    0x20, 0x10, 2, 0x22,  // top: absolute 2 0 1, then 2 2
                     0, 0,    0,    1};
    c.expected = {kGreen, kGrey, kRed, kGreen, kGreen, kRed, kGreen, kRed, kGreen, kRed};
    cases.push_back(c);
  }
  {
    HandCase c{"rle8_early_end_leaves_index_0", {}, {}};
    c.spec.width = 2;
    c.spec.height = 2;
    c.spec.bpp = 8;
    c.spec.compression = 1;
    c.spec.palette = {kGrey, kRed};
    c.spec.pixels = {1, 1, 0, 1};
    c.expected = {kGrey, kGrey, kRed, kGrey};
    c.magickAgrees = false;  // ImageMagick decodes the same pixels but reports an error
    cases.push_back(c);
  }
  {
    HandCase c{"os2_core_short_palette", {}, {}};
    c.spec.headerSize = 12;
    c.spec.width = 2;
    c.spec.height = 2;
    c.spec.bpp = 8;
    c.spec.palette = {kGrey, kRed, kBlue};
    c.spec.pixels = {2, 1, 0, 0, 0, 2, 0, 0};
    c.expected = {kGrey, kBlue, kBlue, kRed};
    c.magickAgrees = false;  // ImageMagick insists on 256 entries
    cases.push_back(c);
  }
  {
    HandCase c{"os2_v2_64_byte_header", {}, {}};
    c.spec.headerSize = 64;
    c.spec.width = 1;
    c.spec.pixels = {255, 0, 0, 0};
    c.expected = {kBlue};
    cases.push_back(c);
  }
  {
    HandCase c{"two_bits_per_pixel", {}, {}};
    c.spec.width = 5;
    c.spec.bpp = 2;
    c.spec.palette = {kBlack, kRed, kGreen, kBlue};
    c.spec.pixels = {0b00011011, 0b01000000, 0, 0};
    c.expected = {kBlack, kRed, kGreen, kBlue, kRed};
    c.magickAgrees = false;  // ImageMagick 6 does not read 2-bit files
    cases.push_back(c);
  }
  {
    HandCase c{"v5_32bit_alpha_all_zero_is_opaque", {}, {}};
    c.spec.headerSize = 124;
    c.spec.width = 2;
    c.spec.bpp = 32;
    c.spec.compression = 3;
    c.spec.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    c.spec.pixels = {0, 0, 255, 0, 255, 0, 0, 0};
    c.expected = {kRed, kBlue};
    c.magickAgrees = false;  // ImageMagick shows fully transparent pixels (white)
    cases.push_back(c);
  }
  {
    HandCase c{"v5_32bit_alpha_flattened_on_white", {}, {}};
    c.spec.headerSize = 124;
    c.spec.width = 2;
    c.spec.bpp = 32;
    c.spec.compression = 3;
    c.spec.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    c.spec.pixels = {0, 0, 255, 0x80, 255, 0, 0, 0xFF};
    c.expected = {Rgb{255, 127, 127}, kBlue};
    cases.push_back(c);
  }
  {
    HandCase c{"v3_alphabitfields", {}, {}};
    c.spec.width = 1;
    c.spec.bpp = 32;
    c.spec.compression = 6;
    c.spec.masks = {0x0000FF00, 0x00FF0000, 0xFF000000, 0x000000FF};
    c.spec.pixels = {0x00, 255, 0, 0};  // alpha 0 on the only pixel: all zero, opaque
    c.expected = {kRed};
    c.magickAgrees = false;  // ImageMagick 6 does not know BI_ALPHABITFIELDS
    cases.push_back(c);
  }
  {
    HandCase c{"v5_24bit_ignores_alpha_mask", {}, {}};
    c.spec.headerSize = 124;
    c.spec.width = 1;
    c.spec.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    c.spec.pixels = {0, 255, 0, 0};
    c.expected = {kGreen};
    cases.push_back(c);
  }
  {
    HandCase c{"last_row_padding_missing", {}, {}};
    c.spec.width = 1;
    c.spec.height = 2;
    c.spec.pixels = {0, 0, 255, 0, 255, 0, 0};  // top row lacks its padding byte
    c.expected = {kBlue, kRed};
    c.magickAgrees = false;  // ImageMagick refuses it; we accept it, as many writers drop it
    cases.push_back(c);
  }
  return cases;
}

class BmpHandBuilt : public testing::TestWithParam<HandCase> {};

TEST_P(BmpHandBuilt, DecodesToTheExpectedPixels) {
  const HandCase& c = GetParam();
  const std::vector<std::uint8_t> bytes = MakeBmp(c.spec);
  const Image image = Decode(bytes);
  ASSERT_EQ(image.width, c.spec.width);
  ASSERT_EQ(image.height, std::abs(c.spec.height));
  std::vector<Rgb> got;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) got.push_back(test::PixelOf(image, x, y));
  }
  ASSERT_EQ(got.size(), c.expected.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i], c.expected[i]) << "pixel " << i << " is " << int(got[i].r) << "," << int(got[i].g)
                                     << "," << int(got[i].b);
  }
  if (c.magickAgrees) {
    test::TempDir dir;
    test::WriteBytes(dir / "in.bmp", bytes);
    const auto magick = test::MagickDecode(dir / "in.bmp");
    ASSERT_TRUE(magick.has_value());
    EXPECT_EQ(test::MaxChannelDifference(image, *magick), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, BmpHandBuilt, testing::ValuesIn(HandCases()),
                         [](const testing::TestParamInfo<HandCase>& info) {
                           return std::string(info.param.name);
                         });

// ---------------------------------------------------------------------------------------------
// Writer.

Image Pattern(int width, int height) {
  Image image = Image::blank(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = image.row(y) + 3 * x;
      p[0] = static_cast<std::uint8_t>(x * 7 + y);
      p[1] = static_cast<std::uint8_t>(y * 13);
      p[2] = static_cast<std::uint8_t>((x ^ y) * 5);
    }
  }
  return image;
}

class BmpWriterSizes : public testing::TestWithParam<Size> {};

TEST_P(BmpWriterSizes, ImageMagickReadsBackEveryPixelAndTheDensity) {
  Image image = Pattern(GetParam().width, GetParam().height);
  image.dpiX = 300;
  image.dpiY = 150;
  test::TempDir dir;
  const auto path = dir / "out.bmp";
  test::WriteBytes(path, WriteBmp(image, {}));
  const auto back = test::MagickDecode(path);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(test::MaxChannelDifference(image, *back), 0);
  // ImageMagick reports pixels per centimetre: 11811 and 5906 pixels per metre.
  EXPECT_EQ(test::MagickIdentify(path, "%[fx:round(resolution.x*100)] %[fx:round(resolution.y*100)]"),
            "11811 5906");
  const Image ours = ReadBmp(test::ReadFileBytes(path), {});
  EXPECT_EQ(test::MaxChannelDifference(image, ours), 0);
  EXPECT_DOUBLE_EQ(ours.dpiX, 300.0);
  EXPECT_DOUBLE_EQ(ours.dpiY, 150.0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, BmpWriterSizes,
                         testing::Values(Size{37, 23}, Size{1, 1}, Size{1, 50}, Size{300, 1}, Size{4, 4}));

TEST(BmpWriter, PaletteImagesAreWrittenWithTheirPaletteAt8Bits) {
  Image image = Image::blank(5, 3, PixelFormat::Palette8);
  image.palette = {kRed, kGreen, kBlue};
  for (std::size_t i = 0; i < image.pixels.size(); ++i) image.pixels[i] = static_cast<std::uint8_t>(i % 3);
  const std::vector<std::uint8_t> bytes = WriteBmp(image, {});
  EXPECT_EQ(bytes[28], 8);  // bits per pixel
  test::TempDir dir;
  test::WriteBytes(dir / "p.bmp", bytes);
  const auto back = test::MagickDecode(dir / "p.bmp");
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(test::MaxChannelDifference(image, *back), 0);
  const Image ours = ReadBmp(bytes, {});
  EXPECT_EQ(ours.format, PixelFormat::Palette8);
  EXPECT_EQ(ours.palette, image.palette);
  EXPECT_EQ(ours.pixels, image.pixels);
}

TEST(BmpWriter, GreyImagesAreWrittenAs24Bits) {
  Image image = Image::blank(3, 2, PixelFormat::Gray8);
  image.pixels = {0, 100, 255, 7, 8, 9};
  const std::vector<std::uint8_t> bytes = WriteBmp(image, {});
  EXPECT_EQ(bytes[28], 24);
  EXPECT_EQ(test::MaxChannelDifference(image, ReadBmp(bytes, {})), 0);
}

TEST(BmpWriter, AnEmptyImageIsRefused) {
  EXPECT_NE(ErrorNumber([] { WriteBmp(Image{}, {}); }), 0);
}

}  // namespace
}  // namespace mirelo::imaging
