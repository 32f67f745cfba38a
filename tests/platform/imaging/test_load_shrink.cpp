// PNG shrink-on-load: sizes chosen from the minimum, pixels equal to block means of the full
// decode for every colour type, the full size kept as the source size, interlaced pictures
// decoded whole; loading through ImagingControl with the hint, and the file reader's refusals.
// Today's formats: embedded thumbnails and RAW previews used only when large enough, scaled WebP
// decoding, and the full upright size kept as the source size whatever path was taken.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/imaging/codecs.h"
#include "platform/imaging/exif_orientation.h"
#include "platform/imaging/imaging_control.h"
#include "platform/imaging/operations.h"
#include "support/magick.h"
#include "support/temp_dir.h"
#include "test_codec_helpers.h"
#include "test_still_tools.h"

namespace mirelo::imaging {
namespace {

LoadOptions Minimum(Size minimum) {
  LoadOptions options;
  options.minimumSize = [minimum](Size) { return minimum; };
  return options;
}

// The reduced picture as area means of the full one, each reduced pixel standing for an equal
// share of the picture and edge pixels counted by the fraction inside: the reference, in
// floating point.
Image AreaMeans(const Image& full, int k) {
  Image out = Image::blank((full.width + k - 1) / k, (full.height + k - 1) / k, full.format);
  const int bpp = full.bytesPerPixel();
  const double sx = double(full.width) / out.width, sy = double(full.height) / out.height;
  auto overlap = [](double a0, double a1, int b) { return std::max(0.0, std::min(a1, b + 1.0) - std::max(a0, double(b))); };
  for (int oy = 0; oy < out.height; ++oy) {
    for (int ox = 0; ox < out.width; ++ox) {
      for (int c = 0; c < bpp; ++c) {
        double total = 0;
        for (int y = int(oy * sy); y < std::min(int((oy + 1) * sy) + 1, full.height); ++y) {
          for (int x = int(ox * sx); x < std::min(int((ox + 1) * sx) + 1, full.width); ++x) {
            total += overlap(ox * sx, (ox + 1) * sx, x) * overlap(oy * sy, (oy + 1) * sy, y) * full.row(y)[x * bpp + c];
          }
        }
        out.row(oy)[ox * bpp + c] = std::uint8_t(std::lround(total / (sx * sy)));
      }
    }
  }
  return out;
}

std::vector<std::uint8_t> PngOf(int width, int height) { return WritePng(test::SyntheticPicture(width, height), {}); }

TEST(PngShrink, SizeIsTheLargestWholeFactorAboveTheMinimum) {
  struct Row {
    Size full, minimum, expected;
  };
  const Row rows[] = {
      {{203, 151}, {100, 75}, {102, 76}},    // factor 2, odd sizes: partial last blocks
      {{203, 151}, {50, 50}, {68, 51}},      // the height limits the factor to 3
      {{203, 151}, {20, 40}, {68, 51}},      // the width may allow more; one factor for both
      {{203, 151}, {203, 151}, {203, 151}},  // nothing to spare
      {{203, 151}, {102, 76}, {203, 151}},   // half would fall one pixel short
      {{203, 151}, {300, 10}, {203, 151}},   // asks for more than there is
      {{203, 151}, {0, 0}, {2, 1}},          // anything will do
      {{240, 160}, {30, 20}, {30, 20}},      // exact division by 8
      {{1, 57}, {1, 10}, {1, 57}},           // one pixel wide: cannot shrink
      {{57, 1}, {5, 1}, {57, 1}},
      {{2, 57}, {1, 5}, {1, 29}},
  };
  for (const Row& row : rows) {
    const auto png = PngOf(row.full.width, row.full.height);
    Size seen;
    LoadOptions options;
    options.minimumSize = [&](Size full) {
      seen = full;
      return row.minimum;
    };
    const Image image = DecodeImage(png, options);
    const std::string label = std::to_string(row.full.width) + "x" + std::to_string(row.full.height) + " min " +
                              std::to_string(row.minimum.width) + "x" + std::to_string(row.minimum.height);
    EXPECT_EQ(seen, row.full) << label;
    EXPECT_EQ((Size{image.width, image.height}), row.expected) << label;
    EXPECT_EQ((Size{image.sourceWidth, image.sourceHeight}), row.full) << label;
  }
}

// Every colour type and depth reaches the averaging as the same 8-bit values a full decode gives,
// so the shrunk picture equals the area means of the full one (up to the reference's rounding).
TEST(PngShrink, EqualsAreaMeansOfTheFullDecodeForEveryColourType) {
  test::TempDir dir;
  const auto source = dir / "source.png";
  test::WriteBytes(source, PngOf(203, 151));
  const std::string src = source.string();
  const std::vector<std::string> alpha = {src, "(", "+clone", "-colorspace", "Gray", ")", "-alpha", "off",
                                          "-compose", "CopyOpacity", "-composite"};
  auto with = [](std::vector<std::string> base, std::initializer_list<std::string> more) {
    base.insert(base.end(), more);
    return base;
  };
  struct Variant {
    const char* name;
    std::vector<std::string> args;  // the output file name is appended
    const char* prefix;
  };
  const Variant variants[] = {
      {"rgb16", {src, "-depth", "16"}, "PNG48:"},
      {"rgba8", alpha, "PNG32:"},
      {"rgba16", with(alpha, {"-depth", "16"}), "PNG64:"},
      {"gray8", {src, "-colorspace", "Gray", "-define", "png:color-type=0", "-define", "png:bit-depth=8"}, ""},
      {"gray1",
       {src, "-colorspace", "Gray", "-depth", "1", "-define", "png:bit-depth=1", "-define", "png:color-type=0"},
       ""},
      {"gray16", {src, "-colorspace", "Gray", "-depth", "16", "-define", "png:color-type=0"}, ""},
      {"gray_alpha", with(alpha, {"-colorspace", "Gray", "-define", "png:color-type=4"}), ""},
      {"palette", {src, "-colors", "50"}, "PNG8:"},
      {"palette_trns", with(alpha, {"-channel", "A", "-threshold", "50%", "+channel", "-colors", "40"}), "PNG8:"},
  };
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> files = {{"rgb8", test::ReadFileBytes(source)}};
  for (const Variant& v : variants) {
    const auto file = dir / (std::string(v.name) + ".png");
    std::vector<std::string> args = v.args;
    args.push_back(v.prefix + file.string());
    ASSERT_TRUE(test::MagickConvert(args)) << v.name;
    files.emplace_back(v.name, test::ReadFileBytes(file));
  }
  for (const auto& [name, bytes] : files) {
    const Image full = DecodeImage(bytes);
    for (int k : {2, 3, 7, 50}) {
      const Image shrunk = DecodeImage(bytes, Minimum({203 / k, 151 / k}));
      ASSERT_EQ((Size{shrunk.width, shrunk.height}), (Size{(203 + k - 1) / k, (151 + k - 1) / k})) << name << " /" << k;
      EXPECT_EQ(shrunk.format, full.format) << name;
      EXPECT_EQ(shrunk.storedBitsPerPixel, full.storedBitsPerPixel) << name;
      EXPECT_EQ((Size{shrunk.sourceWidth, shrunk.sourceHeight}), (Size{203, 151})) << name;
      EXPECT_LE(test::MaxChannelDifference(shrunk, AreaMeans(full, k)), 1) << name << " /" << k;
    }
  }
}

// A factor that divides the size gives the plain block means, to the last bit.
TEST(PngShrink, DividingFactorGivesExactBlockMeans) {
  const auto png = PngOf(240, 160);
  const Image full = DecodeImage(png);
  for (int k : {2, 4, 5, 8, 16}) {
    const Image shrunk = DecodeImage(png, Minimum({240 / k, 160 / k}));
    ASSERT_EQ((Size{shrunk.width, shrunk.height}), (Size{240 / k, 160 / k}));
    for (int y = 0; y < shrunk.height; ++y) {
      for (int x = 0; x < shrunk.width; ++x) {
        for (int c = 0; c < 3; ++c) {
          unsigned total = 0;
          for (int v = 0; v < k; ++v) {
            for (int u = 0; u < k; ++u) total += full.row(y * k + v)[(x * k + u) * 3 + c];
          }
          ASSERT_EQ(shrunk.row(y)[x * 3 + c], (total + unsigned(k * k) / 2) / unsigned(k * k)) << k << " " << x << "," << y;
        }
      }
    }
  }
}

// The pipeline's use: shrink-on-load then the resize to the thumbnail, against the full decode
// resized, on a picture with hard edges and fine detail.
TEST(PngShrink, ThumbnailMatchesTheFullDecodeResized) {
  for (Size full : {Size{2400, 1800}, Size{2401, 1799}, Size{1800, 2400}}) {
    const auto png = PngOf(full.width, full.height);
    const bool wide = full.width > full.height;
    const Size thumb = wide ? Size{160, 120} : Size{120, 160};
    Image reference = DecodeImage(png);
    Resize(reference, thumb.width, thumb.height);
    Image shrunk = DecodeImage(png, Minimum({2 * thumb.width, 2 * thumb.height}));
    EXPECT_LT(shrunk.width, full.width / 6);
    Resize(shrunk, thumb.width, thumb.height);
    EXPECT_GT(test::Psnr(shrunk, reference), 40.0) << full.width << "x" << full.height;
  }
}

TEST(PngShrink, InterlacedPictureIsDecodedWhole) {
  test::TempDir dir;
  const auto source = dir / "source.png", interlaced = dir / "interlaced.png";
  test::WriteBytes(source, PngOf(203, 151));
  ASSERT_TRUE(test::MagickConvert({source.string(), "-interlace", "PNG", interlaced.string()}));
  const auto bytes = test::ReadFileBytes(interlaced);
  const Image image = DecodeImage(bytes, Minimum({20, 20}));
  EXPECT_EQ((Size{image.width, image.height}), (Size{203, 151}));
  EXPECT_EQ((Size{image.sourceWidth, image.sourceHeight}), (Size{203, 151}));
  EXPECT_EQ(test::MaxChannelDifference(image, DecodeImage(bytes)), 0);
}

// The embedded profile still applies when the picture is shrunk. It is applied to the means of
// the stored values, which differs from averaging converted pixels only where hard edges meet
// the profile's curves.
TEST(PngShrink, ProfileIsAppliedToTheShrunkPicture) {
  test::TempDir dir;
  const auto source = dir / "source.png", profile = dir / "adobe.icc", tagged = dir / "tagged.png";
  test::WriteBytes(source, PngOf(203, 151));
  test::WriteBytes(profile, test::MakeProfile("adobe"));
  ASSERT_TRUE(test::MagickConvert({source.string(), "-profile", profile.string(), tagged.string()}));
  const auto bytes = test::ReadFileBytes(tagged);
  const Image full = DecodeImage(bytes);
  const Image plain = DecodeImage(test::ReadFileBytes(source));
  ASSERT_GE(test::MaxChannelDifference(full, plain), 10);  // the profile is really there
  const Image shrunk = DecodeImage(bytes, Minimum({50, 50}));
  const Image expected = AreaMeans(full, 3);
  EXPECT_GT(test::Psnr(shrunk, expected), 35.0);
  EXPECT_LT(test::Psnr(AreaMeans(plain, 3), expected), 25.0);
}

TEST(PngShrink, DamagedPictureIsStillAnError) {
  const auto png = PngOf(203, 151);
  std::vector<std::uint8_t> cut(png.begin(), png.begin() + std::ptrdiff_t(png.size() / 2));
  std::vector<std::uint8_t> badCrc = png;
  badCrc[badCrc.size() - 20] ^= 0x55;
  for (const auto& bytes : {cut, badCrc}) {
    try {
      DecodeImage(bytes, Minimum({50, 50}));
      ADD_FAILURE() << "damaged picture decoded";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), err::kInvalidFileFormat);
    }
  }
}

TEST(PngShrink, LoadFromFilePassesTheHintAndKeepsTheFullSize) {
  test::TempDir dir;
  const auto file = dir / "photo.png";
  test::WriteBytes(file, PngOf(640, 480));
  const auto bytes = test::ReadFileBytes(file);
  ImagingControl control;
  control.Load(file, Minimum({160, 120}));
  EXPECT_EQ((Size{control.GetImage().width, control.GetImage().height}), (Size{160, 120}));
  EXPECT_EQ((Size{control.GetImage().sourceWidth, control.GetImage().sourceHeight}), (Size{640, 480}));
  // PNG files are decoded straight from the file: the same pixels as from memory.
  EXPECT_EQ(control.GetImage().pixels, DecodeImage(bytes, Minimum({160, 120})).pixels);
  control.Load(file);
  EXPECT_EQ((Size{control.GetImage().width, control.GetImage().height}), (Size{640, 480}));
  EXPECT_EQ(control.GetImage().pixels, DecodeImage(bytes).pixels);
}

struct FormatShrinkRow {
  const char* name;
  // Makes the file in the folder from the 640x480 source picture "src.png" (or its JPEG with
  // EXIF orientation 6, "exif6.jpg"); empty when a tool is missing.
  std::function<std::vector<std::uint8_t>(const test::TempDir&)> make;
  Size minimum;
  Size decoded;
  Size source;
};

std::function<std::vector<std::uint8_t>(const test::TempDir&)> Tool(std::vector<std::string> argv,
                                                                    std::string out) {
  return [argv, out](const test::TempDir& dir) -> std::vector<std::uint8_t> {
    if (!test::HasTool(argv.front())) return {};
    std::vector<std::string> args;
    for (const std::string& a : argv) {
      args.push_back(a == "{src}"     ? (dir / "src.png").string()
                     : a == "{exif6}" ? (dir / "exif6.jpg").string()
                     : a == "{out}"   ? (dir / out).string()
                                      : a);
    }
    if (!test::RunTool(args)) throw std::runtime_error("encoder failed: " + argv.front());
    return test::ReadFileBytes(dir / out);
  };
}

// A 96x64 DNG turned a quarter clockwise (upright 64x96) whose preview is its own picture
// reduced to 48x32, so that the preview path and the demosaic agree in content.
std::vector<std::uint8_t> DngWithPreview(const test::TempDir&) {
  test::DngSpec spec;
  Image stored = DecodeImage(test::MakeDng(spec));
  Resize(stored, 48, 32);
  spec.orientation = 6;
  spec.previewJpeg = WriteJpeg(stored, {});
  spec.previewWidth = 48;
  spec.previewHeight = 32;
  return test::MakeDng(spec);
}

TEST(FormatShrink, ThumbnailsPreviewsAndScaledDecodingKeepTheSourceSize) {
  const FormatShrinkRow rows[] = {
      {"heic thumbnail large enough",
       Tool({"heif-enc", "-q", "90", "-t", "160", "{src}", "-o", "{out}"}, "t.heic"),
       {100, 75},
       {160, 120},
       {640, 480}},
      {"heic thumbnail one pixel short",
       Tool({"heif-enc", "-q", "90", "-t", "160", "{src}", "-o", "{out}"}, "t.heic"),
       {161, 100},
       {214, 160},  // the primary image, reduced by 3 as it is copied out
       {640, 480}},
      // A 96-pixel thumbnail must never be stretched to a 160-pixel output.
      {"heic thumbnail too small",
       Tool({"heif-enc", "-q", "90", "-t", "96", "{src}", "-o", "{out}"}, "s.heic"),
       {160, 120},
       {160, 120},
       {640, 480}},
      {"heic without thumbnail",
       Tool({"heif-enc", "-q", "90", "{src}", "-o", "{out}"}, "n.heic"),
       {100, 75},
       {107, 80},
       {640, 480}},
      {"webp by 4",
       Tool({"cwebp", "-q", "90", "{src}", "-o", "{out}"}, "a.webp"),
       {150, 100},
       {160, 120},
       {640, 480}},
      {"webp by 3",
       Tool({"cwebp", "-q", "90", "{src}", "-o", "{out}"}, "a.webp"),
       {200, 150},
       {214, 160},
       {640, 480}},
      {"webp turned by EXIF",
       Tool({"cwebp", "-q", "90", "-metadata", "exif", "{exif6}", "-o", "{out}"}, "e.webp"),
       {120, 160},
       {120, 160},
       {480, 640}},
      {"webp lossless",
       Tool({"cwebp", "-lossless", "{src}", "-o", "{out}"}, "l.webp"),
       {320, 240},
       {320, 240},
       {640, 480}},
      {"jxl decoded whole",
       Tool({"cjxl", "-d", "1", "{src}", "{out}"}, "a.jxl"),
       {160, 120},
       {640, 480},
       {640, 480}},
      {"dng preview large enough", DngWithPreview, {20, 30}, {32, 48}, {64, 96}},
      {"dng preview too small, demosaic", DngWithPreview, {40, 60}, {64, 96}, {64, 96}},
      {"dng with a colour filter array, half-size demosaic",
       [](const test::TempDir&) {
         test::DngSpec spec;
         spec.cfa = true;
         return test::MakeDng(spec);
       },
       {30, 20},
       {48, 32},
       {96, 64}},
      {"dng linear, no half size to be had",
       [](const test::TempDir&) { return test::MakeDng({}); },
       {30, 20},
       {96, 64},
       {96, 64}},
  };
  test::TempDir dir;
  test::WriteBytes(dir / "src.png", PngOf(640, 480));
  test::WriteBytes(dir / "exif6.jpg",
                   test::WithExifOrientation(WriteJpeg(test::SyntheticPicture(640, 480), {}), 6, false));
  for (const FormatShrinkRow& row : rows) {
    SCOPED_TRACE(row.name);
    const std::vector<std::uint8_t> bytes = row.make(dir);
    if (bytes.empty()) {
      std::printf("skipped (encoder missing): %s\n", row.name);
      continue;
    }
    Size seen;
    LoadOptions options;
    options.minimumSize = [&](Size full) {
      seen = full;
      return row.minimum;
    };
    const Image shrunk = DecodeImage(bytes, options);
    if (seen.width) {
      EXPECT_EQ(seen, row.source);  // readers that cannot shrink need not ask
    }
    EXPECT_EQ((Size{shrunk.width, shrunk.height}), row.decoded);
    EXPECT_EQ((Size{shrunk.sourceWidth, shrunk.sourceHeight}), row.source);
    // Whatever the path, the same picture: the full decode reduced to the same size.
    Image reference = DecodeImage(bytes);
    EXPECT_EQ((Size{reference.width, reference.height}), row.source);
    if (reference.width != shrunk.width) Resize(reference, shrunk.width, shrunk.height);
    EXPECT_GT(test::Psnr(shrunk, reference), 28.0);
  }
}

// The file reader's refusals by number, for the cases the codec tests do not make.
TEST(LoadFile, RefusalsByNumber) {
  test::TempDir dir;
  test::WriteBytes(dir / "photo.png", PngOf(8, 8));
  // Larger than any picture we accept; sparse, so it costs no disk.
  { std::ofstream(dir / "huge.png") << ""; }
  std::filesystem::resize_file(dir / "huge.png", (std::uintmax_t(2) << 30) + 1);
  std::filesystem::create_directory(dir / "folder");
  std::filesystem::create_symlink(dir / "folder", dir / "folder-link.png");
  std::filesystem::create_symlink(dir / "nothing.png", dir / "dangling.png");
  std::filesystem::create_symlink(dir / "photo.png", dir / "photo-link.png");
  struct Row {
    const char* name;
    int number;
  };
  const Row rows[] = {{"huge.png", err::kInvalidFileFormat}, {"folder-link.png", err::kFileCannotBeRead},
                      {"dangling.png", err::kFileNotFound},   {"photo.png/x", err::kFileNotFound},
                      {"photo-link.png", 0}};
  for (const Row& row : rows) {
    ImagingControl control;
    int number = 0;
    try {
      control.Load(dir / row.name, Minimum({2, 2}));
    } catch (const Error& e) {
      number = e.number();
    }
    EXPECT_EQ(number, row.number) << row.name;
  }
}

}  // namespace
}  // namespace mirelo::imaging
