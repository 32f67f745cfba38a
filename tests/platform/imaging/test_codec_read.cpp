// Files written by ImageMagick in many variants decode to the pixels ImageMagick itself decodes.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/imaging/codecs.h"
#include "support/magick.h"
#include "support/temp_dir.h"
#include "test_codec_helpers.h"

namespace mirelo::imaging {
namespace {

using test::MagickConvert;
using test::MagickDecode;
using test::ReadFileBytes;

// Base pictures shared by every row: an opaque one and one with an alpha ramp (odd sizes so that
// no codec gets away with whole blocks only).
class Fixtures {
 public:
  static Fixtures& Get() {
    static Fixtures fixtures;
    return fixtures;
  }
  const test::TempDir& dir() const { return dir_; }
  std::string rgb() const { return (dir_ / "rgb.png").string(); }
  std::string rgba() const { return (dir_ / "rgba.png").string(); }
  std::string rgb16() const { return (dir_ / "rgb16.png").string(); }

 private:
  Fixtures() {
    ok_ = MagickConvert({"-size", "97x61", "-seed", "7", "plasma:", "-blur", "0x0.5", rgb16()}) &&
          MagickConvert({rgb16(), "-depth", "8", rgb()}) &&
          MagickConvert({rgb(), "(", "-size", "97x61", "gradient:white-black", ")", "-alpha", "off", "-compose",
                         "CopyOpacity", "-composite", "-depth", "8", rgba()});
    if (!ok_) throw std::runtime_error("ImageMagick cannot make the fixtures");
  }
  test::TempDir dir_;
  bool ok_ = false;
};

struct Variant {
  const char* name;
  const char* output;             // file name, possibly with a format prefix ("PNG48:x.png")
  std::vector<std::string> args;  // "{rgb}", "{rgb16}" and "{rgba}" stand for the base pictures
  // Largest channel difference allowed. 16-bit samples: ImageMagick truncates to 8 bits where
  // we round, so one level.
  int tolerance;
  int storedBits;                 // expected storedBitsPerPixel, 0: not checked
};

std::ostream& operator<<(std::ostream& os, const Variant& v) { return os << v.name; }

class MagickVariant : public ::testing::TestWithParam<Variant> {};

TEST_P(MagickVariant, DecodesLikeImageMagick) {
  const Variant& v = GetParam();
  Fixtures& f = Fixtures::Get();
  std::vector<std::string> args;
  for (const std::string& a : v.args) args.push_back(a == "{rgb}"    ? f.rgb()
                                               : a == "{rgb16}" ? f.rgb16()
                                               : a == "{rgba}"  ? f.rgba()
                                                                : a);
  std::string output = v.output;
  const std::size_t colon = output.find(':');
  const std::string fileName = colon == std::string::npos ? output : output.substr(colon + 1);
  const std::filesystem::path file = f.dir() / (std::string(v.name) + "_" + fileName);
  args.push_back(colon == std::string::npos ? file.string() : output.substr(0, colon + 1) + file.string());
  ASSERT_TRUE(MagickConvert(args)) << "fixture " << v.name;

  const auto expected = MagickDecode(file);
  ASSERT_TRUE(expected.has_value());
  const std::vector<std::uint8_t> bytes = ReadFileBytes(file);
  const Image image = DecodeImage(bytes);
  ASSERT_EQ(image.width, expected->width);
  ASSERT_EQ(image.height, expected->height);
  EXPECT_EQ(image.sourceWidth, image.width);
  EXPECT_LE(test::MaxChannelDifference(image, *expected), v.tolerance);
  if (v.storedBits) {
    EXPECT_EQ(image.storedBitsPerPixel, v.storedBits);
  }
}

const Variant kVariants[] = {
    // PNG: every colour type and bit depth, 16 bits, interlacing, transparency.
    {"png_rgb8", "PNG24:a.png", {"{rgb}"}, 0, 24},
    {"png_rgb16", "PNG48:a.png", {"{rgb16}"}, 1, 48},
    {"png_rgba8", "PNG32:a.png", {"{rgba}"}, 1, 32},
    {"png_rgba16", "PNG64:a.png", {"{rgba}", "-depth", "16"}, 1, 64},
    {"png_gray1", "a.png", {"{rgb}", "-colorspace", "Gray", "-depth", "1", "-define", "png:bit-depth=1", "-define", "png:color-type=0"}, 0, 1},
    {"png_gray2", "a.png", {"{rgb}", "-colorspace", "Gray", "-depth", "2", "-define", "png:bit-depth=2", "-define", "png:color-type=0"}, 0, 2},
    {"png_gray4", "a.png", {"{rgb}", "-colorspace", "Gray", "-depth", "4", "-define", "png:bit-depth=4", "-define", "png:color-type=0"}, 0, 4},
    {"png_gray8", "a.png", {"{rgb}", "-colorspace", "Gray", "-define", "png:bit-depth=8", "-define", "png:color-type=0"}, 0, 8},
    {"png_gray16", "a.png", {"{rgb16}", "-colorspace", "Gray", "-depth", "16", "-define", "png:bit-depth=16", "-define", "png:color-type=0"}, 1, 16},
    {"png_gray_alpha8", "a.png", {"{rgba}", "-colorspace", "Gray", "-define", "png:color-type=4"}, 1, 16},
    {"png_gray_alpha16", "a.png", {"{rgba}", "-colorspace", "Gray", "-depth", "16", "-define", "png:color-type=4"}, 1, 32},
    {"png_palette2", "a.png", {"{rgb}", "-colors", "4", "-define", "png:bit-depth=2", "-define", "png:color-type=3"}, 0, 0},
    {"png_palette4", "a.png", {"{rgb}", "-colors", "16", "-define", "png:bit-depth=4", "-define", "png:color-type=3"}, 0, 0},
    {"png_palette8", "a.png", {"{rgb}", "-colors", "200", "-define", "png:color-type=3"}, 0, 8},
    {"png_palette_trns", "PNG8:a.png", {"{rgba}", "-channel", "A", "-threshold", "50%", "+channel", "-colors", "100"}, 1, 8},
    {"png_interlaced", "a.png", {"{rgb}", "-interlace", "PNG"}, 0, 24},
    {"png_interlaced_rgba16", "PNG64:a.png", {"{rgba}", "-depth", "16", "-interlace", "PNG"}, 1, 64},
    // GIF: plain, interlaced, transparent, animated (first frame counts).
    {"gif_plain", "a.gif", {"{rgb}"}, 0, 8},
    {"gif_interlaced", "a.gif", {"{rgb}", "-interlace", "GIF"}, 0, 8},
    {"gif_transparent", "a.gif", {"{rgba}", "-channel", "A", "-threshold", "50%", "+channel"}, 0, 0},
    {"gif_animated", "a.gif", {"{rgb}", "{rgba}", "-loop", "0"}, 0, 0},
    {"gif_two_colours", "a.gif", {"{rgb}", "-colors", "2"}, 0, 0},
    // TIFF: compressions, CMYK, 16 bits, grey, alpha, palette, tiles, several pages, byte orders.
    {"tiff_none", "a.tif", {"{rgb}", "-compress", "None"}, 0, 24},
    {"tiff_lzw", "a.tif", {"{rgb}", "-compress", "LZW"}, 0, 24},
    {"tiff_zip", "a.tif", {"{rgb}", "-compress", "Zip"}, 0, 24},
    {"tiff_packbits", "a.tif", {"{rgb}", "-compress", "RLE"}, 0, 24},
    {"tiff_jpeg", "a.tif", {"{rgb}", "-compress", "JPEG"}, 4, 24},
    {"tiff_cmyk", "a.tif", {"{rgb}", "-colorspace", "CMYK"}, 2, 32},
    {"tiff_cmyk16", "a.tif", {"{rgb16}", "-colorspace", "CMYK", "-depth", "16"}, 2, 64},
    {"tiff_rgb16", "a.tif", {"{rgb16}", "-depth", "16"}, 1, 48},
    {"tiff_gray8", "a.tif", {"{rgb}", "-colorspace", "Gray"}, 0, 8},
    {"tiff_gray16", "a.tif", {"{rgb16}", "-colorspace", "Gray", "-depth", "16"}, 1, 16},
    {"tiff_bilevel_g4", "a.tif", {"{rgb}", "-monochrome", "-compress", "Group4"}, 0, 1},
    {"tiff_rgba", "a.tif", {"{rgba}"}, 1, 32},
    {"tiff_gray_alpha", "a.tif", {"{rgba}", "-colorspace", "Gray"}, 1, 16},
    {"tiff_gray_alpha16", "a.tif", {"{rgba}", "-colorspace", "Gray", "-depth", "16"}, 1, 32},
    {"tiff_rgba16", "a.tif", {"{rgba}", "-depth", "16"}, 1, 64},
    // libtiff cuts 16-bit colour maps to 8 bits by shifting, ImageMagick by dividing.
    {"tiff_palette", "a.tif", {"{rgb}", "-type", "Palette"}, 1, 8},
    {"tiff_tiled", "a.tif", {"{rgb}", "-define", "tiff:tile-geometry=32x32"}, 0, 24},
    {"tiff_multipage", "a.tif", {"{rgb}", "{rgba}"}, 0, 24},
    {"tiff_big_endian", "a.tif", {"{rgb16}", "-endian", "MSB", "-depth", "16"}, 1, 48},
    {"tiff_orient_3", "a.tif", {"{rgb}", "-orient", "BottomRight"}, 0, 24},
    {"tiff_orient_6", "a.tif", {"{rgb}", "-orient", "RightTop"}, 0, 24},
    {"tiff_orient_8", "a.tif", {"{rgb}", "-orient", "LeftBottom"}, 0, 24},
    // JPEG: same libjpeg underneath; allow a few levels for differing decoder settings.
    {"jpeg_baseline", "a.jpg", {"{rgb}", "-quality", "90"}, 4, 24},
    {"jpeg_420", "a.jpg", {"{rgb}", "-sampling-factor", "2x2"}, 4, 24},
    {"jpeg_422", "a.jpg", {"{rgb}", "-sampling-factor", "2x1"}, 4, 24},
    {"jpeg_progressive", "a.jpg", {"{rgb}", "-interlace", "JPEG"}, 4, 24},
    {"jpeg_gray", "a.jpg", {"{rgb}", "-colorspace", "Gray"}, 4, 8},
    {"jpeg_cmyk", "a.jpg", {"{rgb}", "-colorspace", "CMYK"}, 4, 32},
    {"jpeg_cmyk_progressive", "a.jpg", {"{rgb}", "-colorspace", "CMYK", "-interlace", "JPEG"}, 4, 32},
};

INSTANTIATE_TEST_SUITE_P(Variants, MagickVariant, ::testing::ValuesIn(kVariants),
                         [](const auto& info) { return std::string(info.param.name); });

// EXIF orientations 1..8 in both byte orders: the picture always comes out upright, the same as
// ImageMagick's -auto-orient.
class ExifOrientation : public ::testing::TestWithParam<std::tuple<int, bool>> {};

TEST_P(ExifOrientation, ComesOutUpright) {
  const auto [orientation, bigEndian] = GetParam();
  Fixtures& f = Fixtures::Get();
  const std::filesystem::path plain = f.dir() / "upright_source.jpg";
  if (!std::filesystem::exists(plain)) {
    ASSERT_TRUE(MagickConvert({f.rgb(), "-quality", "95", plain.string()}));
  }
  const std::filesystem::path file =
      f.dir() / ("exif" + std::to_string(orientation) + (bigEndian ? "mm" : "ii") + ".jpg");
  test::WriteBytes(file, test::WithExifOrientation(ReadFileBytes(plain), orientation, bigEndian));
  ASSERT_EQ(test::MagickIdentify(file, "%[orientation]").empty(), false);

  const auto expected = MagickDecode(file);
  ASSERT_TRUE(expected.has_value());
  const Image image = DecodeImage(ReadFileBytes(file));
  const bool turned = orientation >= 5;
  EXPECT_EQ(image.width, turned ? 61 : 97);
  EXPECT_EQ(image.height, turned ? 97 : 61);
  EXPECT_EQ(image.sourceWidth, image.width);
  ASSERT_EQ(image.width, expected->width);
  EXPECT_LE(test::MaxChannelDifference(image, *expected), 4);
}

INSTANTIATE_TEST_SUITE_P(AllEight, ExifOrientation,
                         ::testing::Combine(::testing::Range(1, 9), ::testing::Bool()));

TEST(GifReader, FirstImagePlacedOnItsScreenOverWhite) {
  Fixtures& f = Fixtures::Get();
  const std::filesystem::path file = f.dir() / "offset.gif";
  ASSERT_TRUE(MagickConvert({"-size", "20x10", "xc:red", "-repage", "40x30+5+7", file.string()}));
  const Image image = DecodeImage(ReadFileBytes(file));
  ASSERT_EQ(image.width, 40);
  ASSERT_EQ(image.height, 30);
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) {
      const bool inside = x >= 5 && x < 25 && y >= 7 && y < 17;
      const std::uint8_t* p = image.row(y) + 3 * x;
      ASSERT_EQ(p[0], 255) << x << "," << y;
      ASSERT_EQ(p[1], inside ? 0 : 255) << x << "," << y;
    }
  }
}

// Resolution stored by another writer is read back in dots per inch, whatever the unit.
TEST(Resolution, ReadInDotsPerInch) {
  Fixtures& f = Fixtures::Get();
  struct Row {
    const char* file;
    std::vector<std::string> units;
    double dpi;
  };
  const Row rows[] = {
      {"r.jpg", {"-units", "PixelsPerInch", "-density", "300"}, 300},
      {"rc.jpg", {"-units", "PixelsPerCentimeter", "-density", "100"}, 254},
      {"r.png", {"-units", "PixelsPerInch", "-density", "150"}, 150},
      {"r.tif", {"-units", "PixelsPerInch", "-density", "200x100"}, 200},
      {"rc.tif", {"-units", "PixelsPerCentimeter", "-density", "50"}, 127},
  };
  for (const Row& row : rows) {
    std::vector<std::string> args{f.rgb()};
    args.insert(args.end(), row.units.begin(), row.units.end());
    args.push_back((f.dir() / row.file).string());
    ASSERT_TRUE(MagickConvert(args));
    const Image image = DecodeImage(ReadFileBytes(f.dir() / row.file));
    EXPECT_NEAR(image.dpiX, row.dpi, 0.05) << row.file;
    if (std::string(row.file) == "r.tif") {
      EXPECT_NEAR(image.dpiY, 100, 0.05);
    } else {
      EXPECT_NEAR(image.dpiY, row.dpi, 0.05) << row.file;
    }
  }
}

}  // namespace
}  // namespace mirelo::imaging
