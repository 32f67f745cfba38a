// Files written by ImageMagick in many variants decode to the pixels ImageMagick itself decodes;
// today's formats, written by their own encoders, decode to the pixels their own decoders give.

#include <aom/aom_encoder.h>
#include <aom/aomcx.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/imaging/codecs.h"
#include "platform/imaging/exif_orientation.h"
#include "support/magick.h"
#include "support/temp_dir.h"
#include "test_codec_helpers.h"
#include "test_still_tools.h"

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

// ---------------------------------------------------------------------------------------------
// HEIC/HEIF, AVIF, WebP, JPEG XL: files made by the formats' own encoders from PNGs without any
// colour chunk (so that no decoder has a gamma to apply), compared with the formats' own decoders.

class ToolFixtures {
 public:
  static ToolFixtures& Get() {
    static ToolFixtures fixtures;
    return fixtures;
  }
  const test::TempDir& dir() const { return dir_; }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }

 private:
  ToolFixtures() {
    test::WriteBytes(dir_ / "src.png", WritePng(test::SyntheticPicture(97, 61), {}));
    const std::vector<std::string> plain = {"-define",
                                            "png:exclude-chunks=gAMA,cHRM,sRGB,bKGD,tIME,tEXt,zTXt,pHYs"};
    std::vector<std::string>
        src16 = {path("src.png"), "-depth", "16"},
        rgba = {
            path("src.png"), "(",        "-size",       "97x61",     "gradient:white-black", ")", "-alpha",
            "off",           "-compose", "CopyOpacity", "-composite"};
    src16.insert(src16.end(), plain.begin(), plain.end());
    rgba.insert(rgba.end(), plain.begin(), plain.end());
    src16.push_back("PNG48:" + path("src16.png"));
    rgba.push_back("PNG32:" + path("rgba.png"));
    if (!MagickConvert(src16) || !MagickConvert(rgba))
      throw std::runtime_error("ImageMagick cannot make the fixtures");
    // A JPEG whose EXIF asks for a quarter turn clockwise.
    test::WriteBytes(dir_ / "exif6.jpg",
                     test::WithExifOrientation(WriteJpeg(test::SyntheticPicture(97, 61), {}), 6, false));
  }
  test::TempDir dir_;
};

struct ToolVariant {
  const char* name;
  const char* output;                  // file name of the encoded picture
  std::vector<std::string> encode;     // "{src}", "{src16}", "{rgba}", "{exif6}": sources; "{out}": output
  std::vector<std::string> reference;  // the format's own decoder: "{in}" the file, "{ref}" a PNG
  const char* expected;                // without a reference decoder: the source it must equal
  int tolerance;                       // largest channel difference
  Size size;                           // upright
  int storedBits;
};

std::ostream& operator<<(std::ostream& os, const ToolVariant& v) { return os << v.name; }

class ToolVariantRead : public ::testing::TestWithParam<ToolVariant> {};

TEST_P(ToolVariantRead, DecodesLikeTheFormatsOwnDecoder) {
  const ToolVariant& v = GetParam();
  for (const auto* tools : {&v.encode, &v.reference}) {
    if (!tools->empty() && !test::HasTool(tools->front()))
      GTEST_SKIP() << tools->front() << " is not installed";
  }
  ToolFixtures& f = ToolFixtures::Get();
  const std::string out = f.path(std::string(v.name) + "_" + v.output),
                    ref = f.path(std::string(v.name) + "_ref.png");
  auto expand = [&](const std::vector<std::string>& args) {
    std::vector<std::string> result;
    for (const std::string& a : args) {
      result.push_back(a == "{src}"                  ? f.path("src.png")
                       : a == "{src16}"              ? f.path("src16.png")
                       : a == "{rgba}"               ? f.path("rgba.png")
                       : a == "{exif6}"              ? f.path("exif6.jpg")
                       : a == "{out}" || a == "{in}" ? out
                       : a == "{ref}"                ? ref
                                                     : a);
    }
    return result;
  };
  ASSERT_TRUE(test::RunTool(expand(v.encode))) << "encoder of " << v.name;
  const Image image = DecodeImage(ReadFileBytes(out));
  Image expected;
  if (v.reference.empty()) {
    expected = DecodeImage(ReadFileBytes(expand({v.expected}).front()));
  } else {
    ASSERT_TRUE(test::RunTool(expand(v.reference))) << "reference decoder of " << v.name;
    expected = DecodeImage(ReadFileBytes(ref));
  }
  EXPECT_EQ((Size{image.width, image.height}), v.size);
  EXPECT_EQ((Size{image.sourceWidth, image.sourceHeight}), v.size);
  ASSERT_EQ((Size{expected.width, expected.height}), v.size);
  EXPECT_LE(test::MaxChannelDifference(image, expected), v.tolerance);
  EXPECT_EQ(image.storedBitsPerPixel, v.storedBits);
}

const std::vector<std::string> kHeifConvert = {"heif-convert", "{in}", "{ref}"};
const std::vector<std::string> kAvifdec = {"avifdec", "{in}", "{ref}"};
const std::vector<std::string> kDwebp = {"dwebp", "{in}", "-o", "{ref}"};
const std::vector<std::string> kDjxl = {"djxl", "{in}", "{ref}"};
constexpr Size kWide{97, 61}, kTall{61, 97};

const ToolVariant kToolVariants[] = {
    {"heic", "a.heic", {"heif-enc", "-q", "90", "{src}", "-o", "{out}"}, kHeifConvert, "", 2, kWide, 24},
    {"heic_thumbnail",
     "a.heic",
     {"heif-enc", "-q", "90", "-t", "32", "{src}", "-o", "{out}"},
     kHeifConvert,
     "",
     2,
     kWide,
     24},
    {"heic_alpha",
     "a.heic",
     {"heif-enc", "-q", "90", "{rgba}", "-o", "{out}"},
     kHeifConvert,
     "",
     2,
     kWide,
     32},
    {"heic_10bit",
     "a.heic",
     {"heif-enc", "-b", "10", "-q", "90", "{src16}", "-o", "{out}"},
     kHeifConvert,
     "",
     2,
     kWide,
     24},
    // heif-enc keeps the EXIF orientation but writes no irot: HEIF readers show the picture as
    // stored, and so must we (the EXIF tag is not applied on top).
    {"heic_exif6_without_irot",
     "a.heic",
     {"heif-enc", "-q", "90", "{exif6}", "-o", "{out}"},
     kHeifConvert,
     "",
     2,
     kWide,
     24},
    {"avif", "a.avif", {"avifenc", "-s", "8", "{src}", "{out}"}, kAvifdec, "", 3, kWide, 24},
    {"avif_lossless", "a.avif", {"avifenc", "-s", "8", "-l", "{src}", "{out}"}, kAvifdec, "", 0, kWide, 24},
    {"avif_10bit",
     "a.avif",
     {"avifenc", "-s", "8", "-d", "10", "{src16}", "{out}"},
     kAvifdec,
     "",
     3,
     kWide,
     24},
    {"avif_alpha", "a.avif", {"avifenc", "-s", "8", "{rgba}", "{out}"}, kAvifdec, "", 3, kWide, 32},
    // irot turns a quarter anticlockwise; avifdec ignores it, heif-convert shows it.
    {"avif_irot",
     "a.avif",
     {"avifenc", "-s", "8", "--irot", "1", "{src}", "{out}"},
     kHeifConvert,
     "",
     3,
     kTall,
     24},
    // avifenc turns the EXIF orientation into irot/imir and keeps the EXIF too: turned once.
    {"avif_exif6", "a.avif", {"avifenc", "-s", "8", "{exif6}", "{out}"}, kHeifConvert, "", 3, kTall, 24},
    {"webp_lossy", "a.webp", {"cwebp", "-q", "80", "{src}", "-o", "{out}"}, kDwebp, "", 1, kWide, 24},
    {"webp_lossless", "a.webp", {"cwebp", "-lossless", "{src}", "-o", "{out}"}, kDwebp, "", 0, kWide, 24},
    {"webp_alpha", "a.webp", {"cwebp", "-q", "80", "{rgba}", "-o", "{out}"}, kDwebp, "", 1, kWide, 32},
    {"webp_alpha_lossless",
     "a.webp",
     {"cwebp", "-lossless", "-exact", "{rgba}", "-o", "{out}"},
     kDwebp,
     "",
     0,
     kWide,
     32},
    // The first frame (the translucent one) on its canvas, over white.
    {"webp_animation",
     "a.webp",
     {"img2webp", "-lossless", "{rgba}", "{src}", "-o", "{out}"},
     {},
     "{rgba}",
     0,
     kWide,
     32},
    {"webp_exif6",
     "a.webp",
     {"cwebp", "-lossless", "-metadata", "exif", "{exif6}", "-o", "{out}"},
     {},
     "{exif6}",
     3,
     kTall,
     24},
    {"jxl_lossless", "a.jxl", {"cjxl", "-d", "0", "{src}", "{out}"}, kDjxl, "", 0, kWide, 24},
    {"jxl_lossy", "a.jxl", {"cjxl", "-d", "1", "{src}", "{out}"}, kDjxl, "", 2, kWide, 24},
    {"jxl_alpha", "a.jxl", {"cjxl", "-d", "0", "{rgba}", "{out}"}, kDjxl, "", 0, kWide, 32},
    {"jxl_16bit", "a.jxl", {"cjxl", "-d", "0", "{src16}", "{out}"}, kDjxl, "", 1, kWide, 48},
    // A JPEG recompressed with its EXIF: the codestream's orientation turns it, once.
    {"jxl_exif6", "a.jxl", {"cjxl", "{exif6}", "{out}"}, kDjxl, "", 2, kTall, 24},
};

INSTANTIATE_TEST_SUITE_P(Variants, ToolVariantRead, ::testing::ValuesIn(kToolVariants),
                         [](const auto& info) { return std::string(info.param.name); });

// A layered AVIF as no encoder here writes one: libaom codes the picture in three spatial layers
// (a quarter, a half, the whole), the item's 'a1op' and 'lsel' pick which one is the picture.
// The boxes are the minimum a still AVIF needs; ispe gives the picked layer's size.
std::string Be32(std::uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }
std::string Be16(std::uint16_t v) { return {char(v >> 8), char(v)}; }
std::string Box(const char* type, const std::string& body) {
  return Be32(static_cast<std::uint32_t>(8 + body.size())) + type + body;
}
std::string FullBox(const char* type, char version, const std::string& body) {
  return Box(type, std::string{version, 0, 0, 0} + body);
}

std::string LayeredAv1(const Image& picture) {
  constexpr int kLayers = 3;
  aom_codec_iface_t* iface = aom_codec_av1_cx();
  aom_codec_enc_cfg_t cfg;
  if (aom_codec_enc_config_default(iface, &cfg, AOM_USAGE_REALTIME) != AOM_CODEC_OK) return {};
  cfg.g_w = static_cast<unsigned>(picture.width);
  cfg.g_h = static_cast<unsigned>(picture.height);
  cfg.g_timebase = {1, 30};
  cfg.g_lag_in_frames = 0;
  cfg.rc_end_usage = AOM_CBR;
  cfg.rc_target_bitrate = 4000;
  cfg.g_threads = 1;
  aom_codec_ctx_t codec;
  if (aom_codec_enc_init(&codec, iface, &cfg, 0) != AOM_CODEC_OK) return {};
  std::unique_ptr<aom_codec_ctx_t, aom_codec_err_t (*)(aom_codec_ctx_t*)> closer(&codec, aom_codec_destroy);
  aom_codec_control(&codec, AOME_SET_CPUUSED, 8);
  aom_svc_params_t svc{};
  svc.number_spatial_layers = kLayers;
  svc.number_temporal_layers = 1;
  svc.framerate_factor[0] = 1;
  for (int i = 0; i < kLayers; ++i) {
    svc.scaling_factor_num[i] = 1;
    svc.scaling_factor_den[i] = 1 << (kLayers - 1 - i);
    svc.max_quantizers[i] = 20;
    svc.layer_target_bitrate[i] = 1000 * (i + 1);
  }
  if (aom_codec_control(&codec, AV1E_SET_SVC_PARAMS, &svc) != AOM_CODEC_OK) return {};
  std::unique_ptr<aom_image_t, void (*)(aom_image_t*)> yuv(
      aom_img_alloc(nullptr, AOM_IMG_FMT_I420, cfg.g_w, cfg.g_h, 1), aom_img_free);
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      const std::uint8_t* p = picture.row(y) + 3 * x;
      const double r = p[0], g = p[1], b = p[2];
      yuv->planes[0][y * yuv->stride[0] + x] = static_cast<std::uint8_t>(16 + (65.7 * r + 129.1 * g + 25.1 * b) / 256);
      if (x % 2 || y % 2) continue;
      yuv->planes[1][y / 2 * yuv->stride[1] + x / 2] = static_cast<std::uint8_t>(128 + (-37.9 * r - 74.2 * g + 112 * b) / 256);
      yuv->planes[2][y / 2 * yuv->stride[2] + x / 2] = static_cast<std::uint8_t>(128 + (112 * r - 93.8 * g - 18.2 * b) / 256);
    }
  }
  std::string stream;
  for (int layer = 0; layer < kLayers; ++layer) {
    aom_svc_layer_id_t id{};
    id.spatial_layer_id = layer;
    aom_codec_control(&codec, AV1E_SET_SVC_LAYER_ID, &id);
    if (aom_codec_encode(&codec, yuv.get(), 0, 1, layer == 0 ? AOM_EFLAG_FORCE_KF : 0) != AOM_CODEC_OK) return {};
    aom_codec_iter_t it = nullptr;
    while (const aom_codec_cx_pkt_t* packet = aom_codec_get_cx_data(&codec, &it)) {
      if (packet->kind == AOM_CODEC_CX_FRAME_PKT) {
        stream.append(static_cast<const char*>(packet->data.frame.buf), packet->data.frame.sz);
      }
    }
  }
  // An item holds no temporal delimiters (OBU type 2).
  std::string item;
  for (std::size_t at = 0; at < stream.size();) {
    const std::uint8_t header = static_cast<std::uint8_t>(stream[at]);
    std::size_t body = at + 1 + ((header & 4) ? 1 : 0);
    std::size_t size = 0;
    for (int shift = 0;; shift += 7) {
      const std::uint8_t b = static_cast<std::uint8_t>(stream[body++]);
      size |= std::size_t(b & 127) << shift;
      if (!(b & 128)) break;
    }
    if (((header >> 3) & 15) != 2) item += stream.substr(at, body + size - at);
    at = body + size;
  }
  return item;
}

std::vector<std::uint8_t> LayeredAvif(const std::string& av1, Size shown, int operatingPoint, int layer, bool turned) {
  const std::string ftyp = Box("ftyp", std::string("avif") + Be32(0) + "avifmif1miaf");
  const std::string hdlr = FullBox("hdlr", 0, Be32(0) + "pict" + Be32(0) + Be32(0) + Be32(0) + std::string(1, '\0'));
  const std::string pitm = FullBox("pitm", 0, Be16(1));
  const std::string iinf = FullBox("iinf", 0, Be16(1) + FullBox("infe", 2, Be16(1) + Be16(0) + "av01" + std::string(1, '\0')));
  const std::string ipco =
      Box("ipco", FullBox("ispe", 0, Be32(static_cast<std::uint32_t>(shown.width)) + Be32(static_cast<std::uint32_t>(shown.height))) +
                      Box("av1C", std::string{char(0x81), 0x1F, 0x0C, 0}) + FullBox("pixi", 0, std::string{3, 8, 8, 8}) +
                      Box("a1op", std::string(1, char(operatingPoint))) + Box("lsel", Be16(static_cast<std::uint16_t>(layer))) +
                      Box("irot", std::string(1, 1)));
  // Item 1 has the five properties (and the quarter turn anticlockwise); av1C, a1op, lsel and
  // irot are essential.
  const std::string ipma = FullBox("ipma", 0, Be32(1) + Be16(1) + std::string{char(turned ? 6 : 5), 1, char(0x82), 3, char(0x84), char(0x85), char(0x86)}.substr(0, turned ? 7 : 6));
  const auto meta = [&](std::uint32_t offset) {
    const std::string iloc = FullBox("iloc", 0, std::string{0x44, 0} + Be16(1) + Be16(1) + Be16(0) + Be16(1) + Be32(offset) +
                                                    Be32(static_cast<std::uint32_t>(av1.size())));
    return FullBox("meta", 0, hdlr + pitm + iloc + iinf + Box("iprp", ipco + ipma));
  };
  const auto offset = static_cast<std::uint32_t>(ftyp.size() + meta(0).size() + 8);
  const std::string file = ftyp + meta(offset) + Box("mdat", av1);
  return {file.begin(), file.end()};
}

// libheif shows the top layer whatever the file picks; the picked layer is the picture, as
// libavif's own avifdec shows it.
TEST(LayeredAvif, DecodesTheLayerTheFilePicks) {
  if (!test::HasTool("avifdec")) GTEST_SKIP() << "avifdec is not installed";
  const std::string av1 = LayeredAv1(test::SyntheticPicture(96, 64));
  ASSERT_FALSE(av1.empty());
  test::TempDir dir;
  struct Row {
    int operatingPoint, layer;
    Size size;  // as stored
    bool turned;
  };
  for (const Row& row : {Row{2, 0, {24, 16}, false}, Row{1, 1, {48, 32}, false}, Row{0, 2, {96, 64}, false},
                         Row{2, 0, {24, 16}, true}}) {
    SCOPED_TRACE(std::to_string(row.operatingPoint) + (row.turned ? " turned" : ""));
    const std::string name = "op" + std::to_string(row.operatingPoint) + (row.turned ? "t" : "");
    const auto file = dir / (name + ".avif");
    test::WriteBytes(file, LayeredAvif(av1, row.size, row.operatingPoint, row.layer, row.turned));
    const auto ref = dir / (name + ".png");
    ASSERT_TRUE(test::RunTool({"avifdec", file.string(), ref.string()}));
    const Image image = DecodeImage(ReadFileBytes(file));
    Image expected = DecodeImage(ReadFileBytes(ref));
    // avifdec leaves the turn to the viewer.
    if (row.turned) detail::ApplyOrientation(expected, 8);
    const Size size = row.turned ? Size{row.size.height, row.size.width} : row.size;
    EXPECT_EQ((Size{image.width, image.height}), size);
    EXPECT_EQ((Size{image.sourceWidth, image.sourceHeight}), size);
    ASSERT_EQ((Size{expected.width, expected.height}), size);
    EXPECT_LE(test::MaxChannelDifference(image, expected), 1);
    EXPECT_EQ(image.storedBitsPerPixel, 24);
  }
  // Cut anywhere, it is a damaged file, never a part of a picture.
  const std::vector<std::uint8_t> whole = LayeredAvif(av1, {24, 16}, 2, 0, false);
  for (const std::size_t size : {std::size_t{40}, whole.size() / 2, whole.size() - 1}) {
    const std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
    int number = 0;
    try {
      DecodeImage(cut);
    } catch (const Error& e) {
      number = e.number();
    }
    EXPECT_EQ(number, err::kInvalidFileFormat) << size;
  }
}

// Camera RAW: a DNG written here, demosaiced like LibRaw's own dcraw_emu with the same settings
// (camera white balance, sRGB, 8 bits), upright for every orientation.
TEST(CameraRaw, DecodesLikeDcrawEmuInEveryOrientation) {
  if (!test::HasTool("dcraw_emu")) GTEST_SKIP() << "dcraw_emu is not installed";
  test::TempDir dir;
  for (int orientation : {1, 3, 6, 8}) {
    SCOPED_TRACE(orientation);
    test::DngSpec spec;
    spec.orientation = orientation;
    spec.cfa = orientation == 6;  // demosaiced
    const auto dng = dir / ("o" + std::to_string(orientation) + ".dng");
    test::WriteBytes(dng, test::MakeDng(spec));
    const auto ref = dir / ("o" + std::to_string(orientation) + ".tiff");
    ASSERT_TRUE(test::RunTool({"dcraw_emu", "-w", "-o", "1", "-T", "-Z", ref.string(), dng.string()}));
    const Image image = DecodeImage(ReadFileBytes(dng));
    const Image expected = DecodeImage(ReadFileBytes(ref));
    const bool turned = detail::OrientationSwapsAxes(orientation);
    EXPECT_EQ((Size{image.width, image.height}), (turned ? Size{64, 96} : Size{96, 64}));
    EXPECT_EQ((Size{image.sourceWidth, image.sourceHeight}), (Size{image.width, image.height}));
    ASSERT_EQ((Size{expected.width, expected.height}), (Size{image.width, image.height}));
    EXPECT_LE(test::MaxChannelDifference(image, expected), 1);
    // The same turn as a JPEG with that EXIF orientation gets.
    test::DngSpec upright = spec;
    upright.orientation = 1;
    Image stored = DecodeImage(test::MakeDng(upright));
    detail::ApplyOrientation(stored, orientation);
    EXPECT_EQ(stored.pixels, image.pixels);
  }
}

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
