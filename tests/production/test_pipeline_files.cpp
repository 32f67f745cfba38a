// The pipeline end to end on real files: pictures made with ImageMagick, thumbnails read back with
// ImageMagick.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/imaging/operations.h"
#include "production/pipeline.h"
#include "support/magick.h"
#include "support/temp_dir.h"

namespace mirelo::production {
namespace {

using imaging::Image;
using imaging::ImagingControl;
using imaging::Rgb;

Rgb PixelAt(const Image& image, int x, int y) {
  const std::uint8_t* p = image.row(y) + 3 * static_cast<std::size_t>(x);
  return {p[0], p[1], p[2]};
}

// Close to a colour: resampling rings a little at edges, JPEG shifts colours a little.
::testing::AssertionResult Near(const Rgb& got, const Rgb& want, int tolerance = 24) {
  if (std::abs(got.r - want.r) <= tolerance && std::abs(got.g - want.g) <= tolerance &&
      std::abs(got.b - want.b) <= tolerance) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "got " << int(got.r) << "," << int(got.g) << "," << int(got.b)
                                       << " want " << int(want.r) << "," << int(want.g) << "," << int(want.b);
}

constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kBlue{0, 0, 255};
constexpr Rgb kGreen{0, 255, 0};
constexpr Rgb kWhite{255, 255, 255};

class PipelineFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    settings_.FitMode = 1;
    settings_.FormatIndex = 2;  // PNG: what we compare is what we made
    settings_.Quality = 100;
    settings_.DpiValue = 72;
  }

  std::string Picture(const std::string& name, const std::vector<std::string>& convertArgs) {
    const std::string path = (dir_ / name).string();
    std::vector<std::string> args = convertArgs;
    args.push_back(path);
    EXPECT_TRUE(test::MagickConvert(args)) << name;
    return path;
  }
  std::string Solid(const std::string& name, int w, int h, const std::string& colour) {
    return Picture(name, {"-size", std::to_string(w) + "x" + std::to_string(h), "xc:" + colour});
  }
  // The frame picture: 200 x 180 white, rectangle at left 10, top 20, 160 x 120.
  void UseFrame() {
    settings_.FrameMode = 1;
    settings_.StillFrameFile = Solid("frame.png", 200, 180, "white");
    settings_.StillFrameLeft = 10;
    settings_.StillFrameTop = 20;
    settings_.StillFrameWidth = 160;
    settings_.StillFrameHeight = 120;
  }

  // Load, build and save one still; returns the thumbnail decoded by ImageMagick (by our own
  // reader for PICT, which ImageMagick 6 reads only in part).
  Image Run(const std::string& source, const SizeTexts& sizes = {"160", "120"}, bool allowShrink = true) {
    ImagingControl work, output;
    const LoadOutcome loaded = LoadStillImage(work, source, settings_, sizes, allowShrink);
    EXPECT_TRUE(loaded.ok) << loaded.message;
    BuildThumbnail(EntryKind::Still, work, output, settings_, sizes);
    const std::string out = (dir_ / ("out" + std::to_string(++count_) + ".thumb")).string();
    EXPECT_TRUE(SaveThumbnail(output, out, settings_));
    last_ = out;
    if (settings_.FormatIndex == 5) {
      ImagingControl reader;
      reader.Load(out);
      return imaging::ToRgb24(reader.GetImage());
    }
    auto decoded = test::MagickDecode(out);
    EXPECT_TRUE(decoded.has_value());
    return decoded.value_or(Image{});
  }

  test::TempDir dir_;
  app::ThumbSettings settings_;
  std::string last_;
  int count_ = 0;
};

TEST_F(PipelineFiles, SizesWithoutFrame) {
  struct Row {
    std::int16_t fitMode;
    int sw, sh;
    int w, h;
  };
  for (const Row& r : std::vector<Row>{{1, 400, 300, 160, 120},
                                       {1, 400, 200, 160, 80},
                                       {2, 400, 200, 160, 120},
                                       {0, 400, 200, 160, 120},
                                       {1, 300, 400, 90, 120},
                                       {1, 300, 100, 160, 53},
                                       {1, 10, 1000, 1, 120}}) {
    settings_.FitMode = r.fitMode;
    const Image out = Run(Solid("s.png", r.sw, r.sh, "red"));
    EXPECT_EQ(out.width, r.w) << r.fitMode << " " << r.sw << "x" << r.sh;
    EXPECT_EQ(out.height, r.h) << r.fitMode << " " << r.sw << "x" << r.sh;
    std::filesystem::remove(dir_ / "s.png");
  }
}

TEST_F(PipelineFiles, CoverShowsTheMiddle) {
  // Red, blue, green thirds of 100, 200, 100 columns; resized to 240 wide they are 60, 120, 60, and
  // columns 40..199 of that remain: red 0..19, blue 20..139, green 140..159.
  const std::string source = Picture("stripes.png", {"-size", "100x200", "xc:red", "-size", "200x200",
                                                     "xc:blue", "-size", "100x200", "xc:lime", "+append"});
  settings_.FitMode = 2;
  const Image out = Run(source);
  ASSERT_EQ(out.width, 160);
  ASSERT_EQ(out.height, 120);
  EXPECT_TRUE(Near(PixelAt(out, 5, 60), kRed));
  EXPECT_TRUE(Near(PixelAt(out, 30, 60), kBlue));
  EXPECT_TRUE(Near(PixelAt(out, 130, 60), kBlue));
  EXPECT_TRUE(Near(PixelAt(out, 150, 60), kGreen));
}

TEST_F(PipelineFiles, FramePlacements) {
  UseFrame();
  // Tall picture: 90 x 120 at column 10 + 35 = 45.
  Image out = Run(Solid("tall.png", 300, 400, "red"));
  ASSERT_EQ(out.width, 200);
  ASSERT_EQ(out.height, 180);
  EXPECT_TRUE(Near(PixelAt(out, 44, 80), kWhite, 2));
  EXPECT_TRUE(Near(PixelAt(out, 45, 80), kRed, 2));
  EXPECT_TRUE(Near(PixelAt(out, 134, 80), kRed, 2));
  EXPECT_TRUE(Near(PixelAt(out, 135, 80), kWhite, 2));
  EXPECT_TRUE(Near(PixelAt(out, 80, 19), kWhite, 2));
  EXPECT_TRUE(Near(PixelAt(out, 80, 20), kRed, 2));
  EXPECT_TRUE(Near(PixelAt(out, 80, 139), kRed, 2));
  EXPECT_TRUE(Near(PixelAt(out, 80, 140), kWhite, 2));

  // Wide picture: 160 x 80, source offset -20, rows 40..119.
  out = Run(Solid("wide.png", 400, 200, "blue"));
  EXPECT_TRUE(Near(PixelAt(out, 80, 39), kWhite, 2));
  EXPECT_TRUE(Near(PixelAt(out, 80, 40), kBlue, 2));
  EXPECT_TRUE(Near(PixelAt(out, 80, 119), kBlue, 2));
  EXPECT_TRUE(Near(PixelAt(out, 80, 120), kWhite, 2));
  EXPECT_TRUE(Near(PixelAt(out, 9, 80), kWhite, 2));
  EXPECT_TRUE(Near(PixelAt(out, 10, 80), kBlue, 2));
  EXPECT_TRUE(Near(PixelAt(out, 169, 80), kBlue, 2));
  EXPECT_TRUE(Near(PixelAt(out, 170, 80), kWhite, 2));

  // A size box reading 0 does not keep the source size with frames.
  out = Run(Solid("same.png", 400, 300, "red"), {"0", "0"});
  EXPECT_EQ(out.width, 200);
  EXPECT_TRUE(Near(PixelAt(out, 10, 20), kRed, 2));
  EXPECT_TRUE(Near(PixelAt(out, 169, 139), kRed, 2));
  EXPECT_TRUE(Near(PixelAt(out, 170, 140), kWhite, 2));
}

TEST_F(PipelineFiles, SameAsSourceKeepsTheTrimmedSize) {
  // A 100 x 50 red block in a white 300 x 200 picture.
  const std::string source = Picture(
      "margin.png", {"-size", "300x200", "xc:white", "-fill", "red", "-draw", "rectangle 50,60 149,109"});
  Image out = Run(source, {"0", "999"});
  EXPECT_EQ(out.width, 300);
  EXPECT_EQ(out.height, 200);
  settings_.AutoTrimOn = 1;
  settings_.AutoTrimThreshold = 32;
  out = Run(source, {"0", "x"});
  EXPECT_EQ(out.width, 100);
  EXPECT_EQ(out.height, 50);
  EXPECT_TRUE(Near(PixelAt(out, 0, 0), kRed, 2));
  // Trimming also decides the fit: 100 x 50 into 160 x 120 is 160 x 80.
  out = Run(source);
  EXPECT_EQ(out.width, 160);
  EXPECT_EQ(out.height, 80);
}

TEST_F(PipelineFiles, BitsPerPixelByFormat) {
  const std::string source = Picture("g.png", {"-size", "64x48", "gradient:red-blue"});
  settings_.MonoOn = 1;
  struct Row {
    std::int16_t formatIndex;
    const char* magick;
  };
  for (const Row& r :
       std::vector<Row>{{0, "JPEG"}, {2, "PNG"}, {3, "GIF"}, {4, "GIF"}, {5, "PICT"}, {6, "BMP"}, {7, "WEBP"}}) {
    settings_.FormatIndex = r.formatIndex;
    const Image out = Run(source, {"64", "48"});
    EXPECT_EQ(out.width, 64);
    EXPECT_EQ(out.height, 48);
    // Monochrome pictures are still written with 24 bits except as GIF.
    if (r.formatIndex != 5) {
      EXPECT_EQ(test::MagickIdentify(last_, "%m").substr(0, 3), std::string(r.magick).substr(0, 3));
    }
    const std::vector<std::uint8_t> bytes = test::ReadFileBytes(last_);
    ASSERT_GT(bytes.size(), 30u);
    if (r.formatIndex == 2) {
      EXPECT_EQ(bytes[25], 2) << "PNG colour type RGB";
    } else if (r.formatIndex == 6) {
      EXPECT_EQ(bytes[28], 24) << "BMP bits per pixel";
    } else if (r.formatIndex == 3) {
      EXPECT_EQ(bytes[10] & 0x07, 7) << "GIF with the 256 colours of the fixed palette";
    }
  }
  // Without monochrome a GIF made from a photo-like picture still has 8 bits.
  settings_.MonoOn = 0;
  settings_.FormatIndex = 4;
  const Image out = Run(source, {"64", "48"});
  EXPECT_EQ(out.width, 64);
}

TEST_F(PipelineFiles, JpegSettingsReachTheFile) {
  const std::string source = Picture("n.png", {"-seed", "3", "-size", "200x150", "plasma:fractal"});
  settings_.FormatIndex = 1;
  settings_.DpiValue = 150;
  settings_.Quality = 90;
  Run(source);
  EXPECT_EQ(test::MagickIdentify(last_, "%[interlace]"), "JPEG");
  EXPECT_EQ(test::MagickIdentify(last_, "%x %y"), "150 150");
  const auto best = test::ReadFileBytes(last_).size();
  settings_.FormatIndex = 0;
  settings_.Quality = 10;
  Run(source);
  EXPECT_EQ(test::MagickIdentify(last_, "%[interlace]"), "None");
  EXPECT_LT(test::ReadFileBytes(last_).size(), best);
  // WebP takes the same quality; the resolution does not apply to it.
  settings_.FormatIndex = app::kWebpFormatIndex;
  settings_.Quality = 90;
  Run(source);
  const auto bestWebp = test::ReadFileBytes(last_).size();
  settings_.Quality = 10;
  Run(source);
  EXPECT_EQ(test::MagickIdentify(last_, "%m"), "WEBP");
  EXPECT_LT(test::ReadFileBytes(last_).size(), bestWebp);
}

TEST_F(PipelineFiles, EightBitGifSource) {
  const std::string source =
      Picture("p.gif", {"-size", "80x60", "xc:red", "-size", "80x60", "xc:blue", "+append", "-colors", "4"});
  settings_.FormatIndex = 0;
  const Image out = Run(source, {"80", "60"});
  EXPECT_EQ(out.width, 80);
  EXPECT_EQ(out.height, 30);
  EXPECT_TRUE(Near(PixelAt(out, 10, 15), kRed));
  EXPECT_TRUE(Near(PixelAt(out, 70, 15), kBlue));
}

TEST_F(PipelineFiles, EightBitFramePictureKeepsThePhotoColours) {
  UseFrame();
  settings_.StillFrameFile = Picture("frame.gif", {"-size", "200x180", "xc:white", "-colors", "2"});
  // A grey ramp: an 8-bit frame must not force its two colours on the photo.
  const Image out = Run(Picture("ramp.png", {"-size", "160x120", "gradient:black-white", "-rotate", "90"}));
  ASSERT_EQ(out.width, 200);
  ASSERT_EQ(out.height, 180);
  EXPECT_TRUE(Near(PixelAt(out, 5, 5), kWhite, 2));
  const Rgb middle = PixelAt(out, 90, 80);
  EXPECT_GT(middle.r, 60);
  EXPECT_LT(middle.r, 200);
}

TEST_F(PipelineFiles, ShrinkOnLoadChangesNoSize) {
  const std::string source = Picture(
      "big.jpg", {"-seed", "7", "-size", "1600x1200", "plasma:fractal", "-blur", "0x2", "-quality", "92"});
  auto build = [&](const SizeTexts& sizes, bool allowShrink) {
    ImagingControl work, output;
    EXPECT_TRUE(LoadStillImage(work, source, settings_, sizes, allowShrink).ok);
    BuildThumbnail(EntryKind::Still, work, output, settings_, sizes);
    return output.GetImage();
  };
  for (const std::int16_t fitMode : {0, 1, 2}) {
    settings_.FitMode = fitMode;
    // 77 x 33 leaves fractional fitted sizes (77 x 57.75, 44 x 33) and a 1/8 decode.
    for (const SizeTexts& sizes : std::vector<SizeTexts>{{"160", "120"}, {"77", "33"}}) {
      const Image reduced = build(sizes, true);
      const Image full = build(sizes, false);
      ASSERT_EQ(reduced.width, full.width);
      ASSERT_EQ(reduced.height, full.height);
      EXPECT_GT(test::Psnr(reduced, full), 32.0) << fitMode << " " << sizes.width << "x" << sizes.height;
    }
  }
  // The hint really reduces the decode, and the full size is still reported.
  settings_.FitMode = 1;
  ImagingControl work;
  const LoadOutcome loaded = LoadStillImage(work, source, settings_, {"160", "120"});
  ASSERT_TRUE(loaded.ok);
  EXPECT_EQ(loaded.fullSize, (imaging::Size{1600, 1200}));
  EXPECT_LT(work.Width(), 1600.0f);
  EXPECT_GE(work.Width(), 320.0f);
}

TEST_F(PipelineFiles, LoadFailures) {
  ImagingControl work;
  LoadOutcome r = LoadStillImage(work, (dir_ / "missing.jpg").string(), settings_, {"160", "120"});
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.errorNumber, err::kFileNotFound);
  EXPECT_TRUE(r.failedInLoad);
  EXPECT_TRUE(r.deselect);
  EXPECT_EQ(r.logLines(), (std::vector<std::string>{(dir_ / "missing.jpg").string(), "→ERROR: 20010"}));

  const std::string text = (dir_ / "text.jpg").string();
  std::ofstream(text) << "not a picture";
  r = LoadStillImage(work, text, settings_, {"160", "120"});
  EXPECT_EQ(r.errorNumber, err::kInvalidFileFormat);
  EXPECT_FALSE(r.deselect);
  EXPECT_EQ(r.message, "→ERROR:ファイルフォーマットが不正です。");

  // A folder is no picture, whatever its name says.
  std::filesystem::create_directory(dir_ / "folder.jpg");
  r = LoadStillImage(work, (dir_ / "folder.jpg").string(), settings_, {"160", "120"});
  EXPECT_EQ(r.errorNumber, err::kFileCannotBeRead);
  EXPECT_FALSE(r.deselect);
  EXPECT_EQ(r.message, "→ERROR:ファイルが読み込めません。");

  // Trimming a picture that is all background leaves it whole.
  const std::string good = Solid("good.png", 10, 10, "red");
  settings_.AutoTrimOn = 1;
  r = LoadStillImage(work, good, settings_, {"160", "120"});
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.fullSize, (imaging::Size{10, 10}));
  settings_.AutoTrimOn = 0;

  if (::geteuid() != 0) {
    const std::string locked = Solid("locked.png", 10, 10, "red");
    ::chmod(locked.c_str(), 0);
    r = LoadStillImage(work, locked, settings_, {"160", "120"});
    EXPECT_EQ(r.errorNumber, err::kFileCannotBeRead);
    EXPECT_FALSE(r.deselect);
    EXPECT_EQ(r.message, "→ERROR:ファイルが読み込めません。");
  }
}

TEST_F(PipelineFiles, BuildAndSaveErrorsCarryTheirNumbers) {
  const std::string source = Solid("r.png", 40, 30, "red");
  auto numberOf = [&](const SizeTexts& sizes) -> std::int32_t {
    ImagingControl work, output;
    EXPECT_TRUE(LoadStillImage(work, source, settings_, sizes).ok);
    try {
      BuildThumbnail(EntryKind::Still, work, output, settings_, sizes);
    } catch (const Error& e) {
      return e.number();
    }
    return 0;
  };
  EXPECT_EQ(numberOf({"abc", "120"}), err::kTypeMismatch);
  EXPECT_EQ(numberOf({"160", ""}), err::kTypeMismatch);
  EXPECT_EQ(numberOf({"99999", "120"}), err::kOverflow);
  EXPECT_EQ(numberOf({"160", "0"}), err::kInvalidPropertyValue);  // a zero height reaches the resize
  UseFrame();
  settings_.StillFrameWidth = 0;
  EXPECT_EQ(numberOf({"160", "120"}), err::kDivisionByZero);
  settings_.StillFrameWidth = 160;
  settings_.StillFrameFile = (dir_ / "no-frame.png").string();
  EXPECT_EQ(numberOf({"160", "120"}), err::kFileNotFound);
  settings_.StillFrameFile.reset();
  EXPECT_EQ(numberOf({"160", "120"}), err::kFileNotFound);

  // Saving: a missing folder, a taken name, and a format index without a format.
  settings_.FrameMode = 0;
  ImagingControl work, output;
  ASSERT_TRUE(LoadStillImage(work, source, settings_, {"20", "15"}).ok);
  BuildThumbnail(EntryKind::Still, work, output, settings_, {"20", "15"});
  try {
    SaveThumbnail(output, dir_ / "missing" / "a.png", settings_);
    ADD_FAILURE() << "saved into a missing folder";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kPathNotFound);
  }
  try {
    SaveThumbnail(output, source, settings_);
    ADD_FAILURE() << "overwrote the source";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kFileAlreadyExists);
  }
  EXPECT_TRUE(test::MagickDecode(source).has_value());
  settings_.FormatIndex = 8;  // past the last format
  EXPECT_FALSE(SaveThumbnail(output, dir_ / "none.png", settings_));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "none.png"));
  EXPECT_FALSE(PrepareThumbnail(output, settings_).has_value());
}

TEST_F(PipelineFiles, PreparedBytesAreWhatSaveWrites) {
  const std::string source = Solid("r.png", 40, 30, "red");
  settings_.FormatIndex = 0;
  settings_.Quality = 50;
  ImagingControl work, output;
  ASSERT_TRUE(LoadStillImage(work, source, settings_, {"20", "15"}).ok);
  BuildThumbnail(EntryKind::Still, work, output, settings_, {"20", "15"});
  ImagingControl copy = output;
  const auto prepared = PrepareThumbnail(copy, settings_);
  ASSERT_TRUE(prepared.has_value());
  EXPECT_EQ(prepared->formatCode, imaging::format::kJpeg);
  EXPECT_EQ(prepared->bitsPerPixel, 24);
  EXPECT_EQ(prepared->qualityFactor, 128);
  ASSERT_TRUE(SaveThumbnail(output, dir_ / "a.jpg", settings_));
  EXPECT_EQ(test::ReadFileBytes(dir_ / "a.jpg"), prepared->bytes);
}

}  // namespace
}  // namespace mirelo::production
