// Our writers checked by an independent decoder; colour management and shrink-on-load.

#include <gtest/gtest.h>
#include <jxl/encode.h>
#include <jxl/encode_cxx.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/imaging/codec_common.h"
#include "platform/imaging/codecs.h"
#include "platform/imaging/imaging_control.h"
#include "platform/imaging/operations.h"
#include "support/magick.h"
#include "support/temp_dir.h"
#include "test_codec_helpers.h"
#include "test_still_tools.h"

namespace mirelo::imaging {
namespace {

using test::MagickDecode;
using test::MagickIdentify;

std::filesystem::path Write(const test::TempDir& dir, const std::string& name, const std::vector<std::uint8_t>& b) {
  const std::filesystem::path file = dir / name;
  test::WriteBytes(file, b);
  return file;
}

TEST(JpegWriter, QualityHundredIsCloseAndKeepsResolution) {
  test::TempDir dir;
  Image image = test::SyntheticPicture(160, 120);
  image.dpiX = 300;
  image.dpiY = 150;
  for (bool progressive : {false, true}) {
    SaveParams params;
    params.qualityFactor = 2;
    params.progressive = progressive;
    const auto file = Write(dir, progressive ? "p.jpg" : "b.jpg", WriteJpeg(image, params));
    const auto decoded = MagickDecode(file);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_GE(test::Psnr(image, *decoded), 40.0);
    EXPECT_EQ(test::MagickDpi(file), std::make_pair(300.0, 150.0));
    EXPECT_EQ(MagickIdentify(file, "%[interlace]"), progressive ? "JPEG" : "None");
    EXPECT_EQ(MagickIdentify(file, "%Q"), "100");
    // Our own reader gets the same back.
    const Image back = DecodeImage(test::ReadFileBytes(file));
    EXPECT_LE(test::MaxChannelDifference(back, *decoded), 1);
    EXPECT_DOUBLE_EQ(back.dpiX, 300);
    EXPECT_DOUBLE_EQ(back.dpiY, 150);
  }
}

// libjpeg quality = nearest((255 - factor) / 2.53), clamped to 1..100.
TEST(JpegWriter, QualityFactorMapsToLibjpegQuality) {
  test::TempDir dir;
  const Image image = test::SyntheticPicture(64, 48);
  const std::pair<int, const char*> rows[] = {{2, "100"}, {65, "75"}, {128, "50"}, {230, "10"}, {255, "1"}};
  for (const auto& [factor, quality] : rows) {
    SaveParams params;
    params.qualityFactor = std::int16_t(factor);
    const auto file = Write(dir, "q" + std::to_string(factor) + ".jpg", WriteJpeg(image, params));
    EXPECT_EQ(MagickIdentify(file, "%Q"), quality) << factor;
  }
}

TEST(PngWriter, LosslessWithResolution) {
  test::TempDir dir;
  Image image = test::SyntheticPicture(160, 120);
  image.dpiX = image.dpiY = 72;
  const auto file = Write(dir, "a.png", WritePng(image, {}));
  const auto decoded = MagickDecode(file);
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(test::MaxChannelDifference(image, *decoded), 0);
  EXPECT_EQ(MagickIdentify(file, "%[png:IHDR.bit-depth-orig] %[png:IHDR.color-type-orig]"), "8 2");
  const auto [x, y] = test::MagickDpi(file);
  // 72 dpi is stored as 2835 pixels per metre (72.009 dpi).
  EXPECT_NEAR(x, 72, 0.02);
  EXPECT_NEAR(y, 72, 0.02);
}

TEST(PngWriter, GreyAndPaletteImagesBecomeRgb) {
  test::TempDir dir;
  Image gray = Image::blank(10, 7, PixelFormat::Gray8);
  for (std::size_t i = 0; i < gray.pixels.size(); ++i) gray.pixels[i] = std::uint8_t(i * 3);
  Image palette = Image::blank(10, 7, PixelFormat::Palette8);
  palette.palette = {{255, 0, 0}, {0, 0, 255}};
  for (std::size_t i = 0; i < palette.pixels.size(); ++i) palette.pixels[i] = std::uint8_t(i % 2);
  for (const Image* image : {&gray, &palette}) {
    const auto file = Write(dir, "x.png", WritePng(*image, {}));
    const auto decoded = MagickDecode(file);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(test::MaxChannelDifference(*image, *decoded), 0);
    EXPECT_EQ(MagickIdentify(file, "%[png:IHDR.color-type-orig]"), "2");
  }
}

// Lossy WebP with the JPEG writer's quality mapping: the very bytes cwebp writes at that quality
// from the same pixels, and a file ImageMagick reads back close to the original.
TEST(WebpWriter, QualityFactorMapsLikeJpegAndImageMagickReadsIt) {
  test::TempDir dir;
  const Image image = test::SyntheticPicture(160, 120);
  const auto png = Write(dir, "src.png", WritePng(image, {}));
  const std::pair<int, int> rows[] = {{2, 100}, {65, 75}, {128, 50}, {230, 10}, {255, 1}};
  double previous = 1e9;
  for (const auto& [factor, quality] : rows) {
    SCOPED_TRACE(factor);
    SaveParams params;
    params.qualityFactor = std::int16_t(factor);
    const std::vector<std::uint8_t> ours = WriteWebp(image, params);
    const auto file = Write(dir, "q" + std::to_string(factor) + ".webp", ours);
    if (test::HasTool("cwebp")) {
      const auto theirs = dir / ("cwebp" + std::to_string(factor) + ".webp");
      ASSERT_TRUE(
          test::RunTool({"cwebp", "-q", std::to_string(quality), png.string(), "-o", theirs.string()}));
      EXPECT_EQ(ours, test::ReadFileBytes(theirs));
    }
    EXPECT_EQ(MagickIdentify(file, "%m %wx%h"), "WEBP 160x120");
    const auto decoded = MagickDecode(file);
    ASSERT_TRUE(decoded.has_value());
    const double psnr = test::Psnr(*decoded, image);
    EXPECT_LT(psnr, previous);
    previous = psnr;
    if (factor == 2) {
      EXPECT_GT(psnr, 25.0);  // lossy WebP halves the colour resolution whatever the quality
    }
    EXPECT_EQ(test::MaxChannelDifference(DecodeImage(ours), *decoded), 0);
  }
}

TEST(WebpWriter, GreyPaletteAndOutOfRangeSizes) {
  test::TempDir dir;
  Image gray = Image::blank(40, 30, PixelFormat::Gray8);
  for (std::size_t i = 0; i < gray.pixels.size(); ++i) gray.pixels[i] = std::uint8_t((i % 40) * 6);
  Image palette = Image::blank(40, 30, PixelFormat::Palette8);
  palette.palette = {{255, 0, 0}, {0, 0, 255}};
  for (std::size_t i = 0; i < palette.pixels.size(); ++i) palette.pixels[i] = std::uint8_t((i % 40) / 20);
  SaveParams best;
  best.qualityFactor = 2;
  for (const Image* image : {&gray, &palette}) {
    const auto decoded = MagickDecode(Write(dir, "x.webp", WriteWebp(*image, best)));
    ASSERT_TRUE(decoded.has_value());
    EXPECT_GT(test::Psnr(*decoded, detail::ExpandToRgb24(*image)), 25.0);
  }
  // WebP cannot hold more than 16383 pixels a side: refused as an argument, nothing written.
  for (const Image& refused : {Image::blank(16384, 1), Image{}}) {
    try {
      WriteWebp(refused, {});
      ADD_FAILURE() << refused.width << " pixels wide written";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), err::kInvalidPropertyValue);
    }
  }
  EXPECT_EQ(DecodeImage(WriteWebp(Image::blank(16383, 1), {})).width, 16383);
}

// The 8-bit GIF: the palette image's pixels exactly, a full 256-entry table, GIF89a.
TEST(GifWriter, EightBitsAtMost256Colours) {
  test::TempDir dir;
  for (int option : {palette::kFixed, palette::kOptimized}) {
    Image image = test::SyntheticPicture(160, 120);
    ChangeColorResolution(image, 8, option);
    ASSERT_EQ(image.format, PixelFormat::Palette8);
    const auto bytes = WriteGif(image, {});
    ASSERT_GE(bytes.size(), 13u + 768u);
    EXPECT_EQ(std::memcmp(bytes.data(), "GIF89a", 6), 0);
    EXPECT_EQ(bytes[10] & 0x87, 0x87);  // global table of 2^(7+1) entries
    const auto file = Write(dir, "o" + std::to_string(option) + ".gif", bytes);
    const auto decoded = MagickDecode(file);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(test::MaxChannelDifference(image, *decoded), 0);
    EXPECT_EQ(MagickIdentify(file, "%z"), "8");
    EXPECT_LE(std::stoi(MagickIdentify(file, "%k")), 256);
  }
}

TEST(GifWriter, FixedPaletteIsTheSameForDifferentPictures) {
  Image a = test::SyntheticPicture(50, 40), b = Image::blank(33, 21);
  std::fill(b.pixels.begin(), b.pixels.end(), std::uint8_t(77));
  std::vector<std::uint8_t> tables[2];
  int i = 0;
  for (Image* image : {&a, &b}) {
    ChangeColorResolution(*image, 8, palette::kFixed);
    const auto bytes = WriteGif(*image, {});
    tables[i++].assign(bytes.begin() + 13, bytes.begin() + 13 + 768);
  }
  EXPECT_EQ(tables[0], tables[1]);
}

TEST(GifWriter, RgbInputGetsTheFixedPalette) {
  const Image image = test::SyntheticPicture(30, 20);
  const Image back = DecodeImage(WriteGif(image, {}));
  Image expected = image;
  ChangeColorResolution(expected, 8, palette::kFixed);
  EXPECT_EQ(test::MaxChannelDifference(back, expected), 0);
}

TEST(ColorManagement, GreyWithProfileConvertedLikeImageMagick) {
  test::TempDir dir;
  const auto gray = Write(dir, "gray.icc", test::MakeProfile("gray-linear"));
  const auto srgb = Write(dir, "srgb.icc", test::MakeProfile("srgb"));
  const auto base = dir / "base.png";
  ASSERT_TRUE(test::MagickConvert({"-size", "64x48", "gradient:black-white", "-depth", "8", base.string()}));
  for (const char* name : {"gray.jpg", "gray.png"}) {
    const auto tagged = dir / name;
    const auto reference = dir / (std::string(name) + ".ref.png");
    ASSERT_TRUE(test::MagickConvert(
        {base.string(), "-colorspace", "Gray", "-quality", "98", "-profile", gray.string(), tagged.string()}));
    ASSERT_TRUE(test::MagickConvert({tagged.string(), "-profile", srgb.string(), reference.string()}));
    const auto expected = MagickDecode(reference);
    const auto unconverted = MagickDecode(tagged);
    ASSERT_TRUE(expected && unconverted);
    const Image image = DecodeImage(test::ReadFileBytes(tagged));
    EXPECT_EQ(image.format, PixelFormat::Gray8) << name;
    // The sRGB curve is steep near black, where 8-bit and 16-bit arithmetic part a little.
    EXPECT_LE(test::MaxChannelDifference(image, *expected), 8) << name;
    EXPECT_GE(test::Psnr(image, *expected), 40.0) << name;
    EXPECT_GE(test::MaxChannelDifference(image, *unconverted), 40) << name;
  }
}

// One-pixel, very wide and very tall pictures survive every writer and both decoders.
TEST(Writers, ExtremeShapes) {
  test::TempDir dir;
  const Size sizes[] = {{1, 1}, {1, 3000}, {3000, 1}, {17, 3}};
  for (const Size size : sizes) {
    Image image = test::SyntheticPicture(size.width, size.height);
    Image paletted = image;
    ChangeColorResolution(paletted, 8, palette::kOptimized);
    SaveParams best;
    best.qualityFactor = 2;
    const std::tuple<const char*, std::vector<std::uint8_t>, const Image*, int> rows[] = {
        {"jpg", WriteJpeg(image, best), &image, 6},
        {"png", WritePng(image, {}), &image, 0},
        {"gif", WriteGif(paletted, {}), &paletted, 0},
    };
    for (const auto& [ext, bytes, original, tolerance] : rows) {
      const std::string what = std::to_string(size.width) + "x" + std::to_string(size.height) + "." + ext;
      const auto file = Write(dir, "s." + std::string(ext), bytes);
      const auto decoded = MagickDecode(file);
      ASSERT_TRUE(decoded.has_value()) << what;
      const Image ours = DecodeImage(bytes);
      EXPECT_EQ((Size{ours.width, ours.height}), size) << what;
      EXPECT_LE(test::MaxChannelDifference(ours, *decoded), 1) << what;
      EXPECT_LE(test::MaxChannelDifference(*original, *decoded), tolerance) << what;
    }
  }
}

// Embedded profiles: the result is close to ImageMagick's own conversion to sRGB.
TEST(ColorManagement, AdobeRgbConvertedLikeImageMagick) {
  test::TempDir dir;
  const auto adobe = Write(dir, "adobe.icc", test::MakeProfile("adobe"));
  const auto srgb = Write(dir, "srgb.icc", test::MakeProfile("srgb"));
  const auto base = dir / "base.png";
  ASSERT_TRUE(test::MagickConvert({"-size", "80x60", "-seed", "3", "plasma:", base.string()}));
  for (const char* name : {"tagged.jpg", "tagged.png", "tagged.tif"}) {
    const auto tagged = dir / name;
    const auto reference = dir / (std::string(name) + ".ref.png");
    // The first -profile assigns, the second converts.
    ASSERT_TRUE(test::MagickConvert({base.string(), "-quality", "98", "-profile", adobe.string(), tagged.string()}));
    ASSERT_TRUE(test::MagickConvert({tagged.string(), "-profile", srgb.string(), reference.string()}));
    const auto expected = MagickDecode(reference);
    const auto unconverted = MagickDecode(tagged);
    ASSERT_TRUE(expected && unconverted);
    const Image image = DecodeImage(test::ReadFileBytes(tagged));
    EXPECT_LE(test::MaxChannelDifference(image, *expected), 6) << name;
    // And the conversion did something: Adobe RGB values differ visibly from sRGB ones.
    EXPECT_GE(test::MaxChannelDifference(image, *unconverted), 20) << name;
  }
}

// A lossless CMYK JPEG XL of raw C, M, Y, K samples (0 = no ink, as ImageMagick writes them):
// JPEG XL stores them inverted, K as an extra channel of type black, the inks' profile as ICC.
std::vector<std::uint8_t> CmykJxl(const std::vector<std::uint8_t>& raw, int width, int height,
                                  const std::vector<std::uint8_t>& icc) {
  JxlEncoderPtr encoder = JxlEncoderMake(nullptr);
  JxlEncoder* enc = encoder.get();
  JxlBasicInfo info;
  JxlEncoderInitBasicInfo(&info);
  info.xsize = static_cast<std::uint32_t>(width);
  info.ysize = static_cast<std::uint32_t>(height);
  info.bits_per_sample = 8;
  info.num_extra_channels = 1;
  info.uses_original_profile = JXL_TRUE;
  JxlExtraChannelInfo black;
  JxlEncoderInitExtraChannelInfo(JXL_CHANNEL_BLACK, &black);
  black.bits_per_sample = 8;
  if (JxlEncoderSetCodestreamLevel(enc, 10) != JXL_ENC_SUCCESS || JxlEncoderSetBasicInfo(enc, &info) != JXL_ENC_SUCCESS ||
      JxlEncoderSetExtraChannelInfo(enc, 0, &black) != JXL_ENC_SUCCESS ||
      JxlEncoderSetICCProfile(enc, icc.data(), icc.size()) != JXL_ENC_SUCCESS) {
    return {};
  }
  std::vector<std::uint8_t> cmy, k;
  for (std::size_t i = 0; i + 4 <= raw.size(); i += 4) {
    for (int c = 0; c < 3; ++c) cmy.push_back(static_cast<std::uint8_t>(255 - raw[i + c]));
    k.push_back(static_cast<std::uint8_t>(255 - raw[i + 3]));
  }
  JxlEncoderFrameSettings* frame = JxlEncoderFrameSettingsCreate(enc, nullptr);
  const JxlPixelFormat three{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0}, one{1, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
  if (JxlEncoderSetFrameLossless(frame, JXL_TRUE) != JXL_ENC_SUCCESS ||
      JxlEncoderAddImageFrame(frame, &three, cmy.data(), cmy.size()) != JXL_ENC_SUCCESS ||
      JxlEncoderSetExtraChannelBuffer(frame, &one, k.data(), k.size(), 0) != JXL_ENC_SUCCESS) {
    return {};
  }
  JxlEncoderCloseInput(enc);
  std::vector<std::uint8_t> out(4096);
  std::uint8_t* next = out.data();
  std::size_t avail = out.size();
  for (;;) {
    const JxlEncoderStatus status = JxlEncoderProcessOutput(enc, &next, &avail);
    if (status == JXL_ENC_SUCCESS) break;
    if (status != JXL_ENC_NEED_MORE_OUTPUT) return {};
    const std::size_t used = static_cast<std::size_t>(next - out.data());
    out.resize(out.size() * 2);
    next = out.data() + used;
    avail = out.size() - used;
  }
  out.resize(static_cast<std::size_t>(next - out.data()));
  return out;
}

TEST(ColorManagement, CmykWithProfileConvertedLikeImageMagick) {
  test::TempDir dir;
  const auto cmyk = Write(dir, "cmyk.icc", test::MakeProfile("cmyk"));
  const auto srgb = Write(dir, "srgb.icc", test::MakeProfile("srgb"));
  const auto base = dir / "base.png";
  ASSERT_TRUE(test::MagickConvert({"-size", "80x60", "-seed", "5", "plasma:", "-depth", "8", base.string()}));
  for (const char* name : {"cmyk.jpg", "cmyk.tif", "cmyk16.tif", "cmyk.jxl"}) {
    const bool jxl = std::string(name) == "cmyk.jxl";
    const auto tagged = dir / (jxl ? "cmyk.jxl.tif" : name);
    const auto reference = dir / (std::string(name) + ".ref.png");
    const std::string depth = std::string(name) == "cmyk16.tif" ? "16" : "8";
    ASSERT_TRUE(test::MagickConvert({base.string(), "-colorspace", "CMYK", "-depth", depth, "-quality", "98",
                                     "-profile", cmyk.string(), tagged.string()}));
    ASSERT_TRUE(test::MagickConvert({tagged.string(), "-profile", srgb.string(), reference.string()}));
    const auto expected = MagickDecode(reference);
    const auto naive = MagickDecode(tagged);
    ASSERT_TRUE(expected && naive);
    auto file = tagged;
    if (jxl) {
      // The same inks as a JPEG XL: the TIFF's samples, with the black one as its extra channel.
      const auto raw = dir / "cmyk.raw";
      ASSERT_TRUE(test::MagickConvert({tagged.string(), "-depth", "8", "cmyk:" + raw.string()}));
      file = Write(dir, name, CmykJxl(test::ReadFileBytes(raw), 80, 60, test::MakeProfile("cmyk")));
    }
    const Image image = DecodeImage(test::ReadFileBytes(file));
    EXPECT_EQ(image.storedBitsPerPixel, depth == "16" ? 64 : jxl ? 24 : 32) << name;
    // Four-dimensional tables interpolate a little differently at 8 and at 16 bits.
    EXPECT_LE(test::MaxChannelDifference(image, *expected), 8) << name;
    EXPECT_GE(test::Psnr(image, *expected), 40.0) << name;
    EXPECT_GE(test::MaxChannelDifference(image, *naive), 20) << name;
  }
}

// Shrink-on-load: the largest of 1/2, 1/4, 1/8 that keeps the picture at least the size asked for.
TEST(JpegScaling, PicksTheLargestReductionAboveTheMinimum) {
  const Image picture = test::SyntheticPicture(800, 600);
  const auto jpeg = WriteJpeg(picture, {});
  struct Row {
    Size minimum;
    Size expected;
  };
  const Row rows[] = {{{100, 75}, {100, 75}}, {{101, 75}, {200, 150}}, {{200, 150}, {200, 150}},
                      {{201, 10}, {400, 300}}, {{401, 1}, {800, 600}}, {{0, 0}, {100, 75}},
                      {{900, 900}, {800, 600}}};
  for (const Row& row : rows) {
    Size seen;
    LoadOptions options;
    options.minimumSize = [&](Size full) {
      seen = full;
      return row.minimum;
    };
    const Image image = DecodeImage(jpeg, options);
    EXPECT_EQ(seen, (Size{800, 600}));
    EXPECT_EQ((Size{image.width, image.height}), row.expected) << row.minimum.width << "x" << row.minimum.height;
    EXPECT_EQ(image.sourceWidth, 800);
    EXPECT_EQ(image.sourceHeight, 600);
  }
}

TEST(JpegScaling, SizesAreUprightForTurnedPictures) {
  const auto jpeg = test::WithExifOrientation(WriteJpeg(test::SyntheticPicture(800, 600), {}), 6, false);
  LoadOptions options;
  Size seen;
  options.minimumSize = [&](Size full) {
    seen = full;
    return Size{150, 200};
  };
  const Image image = DecodeImage(jpeg, options);
  EXPECT_EQ(seen, (Size{600, 800}));
  EXPECT_EQ((Size{image.width, image.height}), (Size{150, 200}));
  EXPECT_EQ((Size{image.sourceWidth, image.sourceHeight}), (Size{600, 800}));
}

}  // namespace
}  // namespace mirelo::imaging
