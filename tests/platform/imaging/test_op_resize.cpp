#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <tuple>

#include "platform/error.h"
#include "platform/imaging/operations.h"
#include "support/magick.h"
#include "support/temp_dir.h"
#include "test_op_util.h"

namespace mirelo::imaging {
namespace {

using test::MakeGray;
using test::MakeRgb;

struct SizeCase {
  int fromW, fromH, toW, toH;
};

class ResizeSize : public ::testing::TestWithParam<SizeCase> {};

// Exact output size, and a flat colour stays exactly flat whatever the ratio.
TEST_P(ResizeSize, ExactSizeAndFlatStaysFlat) {
  const SizeCase& c = GetParam();
  Image image = MakeRgb(c.fromW, c.fromH, [](int, int) { return Rgb{12, 200, 77}; });
  image.dpiX = 72;
  Resize(image, c.toW, c.toH);
  ASSERT_EQ(image.width, c.toW);
  ASSERT_EQ(image.height, c.toH);
  ASSERT_EQ(image.pixels.size(), static_cast<std::size_t>(c.toW) * c.toH * 3);
  EXPECT_EQ(image.sourceWidth, c.toW);
  EXPECT_EQ(image.dpiX, 72);
  for (int y = 0; y < c.toH; ++y)
    for (int x = 0; x < c.toW; ++x) ASSERT_EQ(test::At(image, x, y), (Rgb{12, 200, 77})) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Sizes, ResizeSize,
                         ::testing::Values(SizeCase{400, 300, 160, 120}, SizeCase{1, 10000, 1, 100},
                                           SizeCase{10000, 1, 100, 1}, SizeCase{1, 1, 7, 5}, SizeCase{3, 3, 1, 1},
                                           SizeCase{997, 13, 7, 250}, SizeCase{160, 120, 160, 120},
                                           SizeCase{2, 1, 1, 3000}, SizeCase{6000, 40, 160, 1}));

TEST(Resize, HorizontalGradientStaysMonotonic) {
  for (const auto& [w, to] : {std::pair{256, 100}, std::pair{256, 900}, std::pair{2000, 37}}) {
    Image image = MakeGray(w, 4, [w](int x, int) { return x * 255 / (w - 1); });
    Resize(image, to, 3);
    ASSERT_EQ(image.format, PixelFormat::Gray8);
    for (int y = 0; y < 3; ++y)
      for (int x = 1; x < to; ++x) ASSERT_LE(image.row(y)[x - 1], image.row(y)[x]) << w << "->" << to << " x=" << x;
    EXPECT_LE(image.row(0)[0], 3);
    EXPECT_GE(image.row(0)[to - 1], 252);
  }
}

TEST(Resize, CheckerboardReducesToMeanGrey) {
  for (const auto& [w, h, toW, toH] : {std::tuple{400, 300, 160, 120}, std::tuple{6000, 4000, 160, 120},
                                       std::tuple{1000, 1000, 333, 77}}) {
    Image image = Image::blank(w, h, PixelFormat::Rgb24);
    for (int y = 0; y < h; ++y)
      for (int x = (y + 1) % 2; x < w; x += 2) std::fill_n(image.row(y) + 3 * x, 3, 255);
    Resize(image, toW, toH);
    for (std::uint8_t v : image.pixels) ASSERT_NEAR(v, 127.5, 4.0) << w << "x" << h;
  }
}

// Our filter against an independent Lanczos resize (block averaging first at 90x70, a plain
// reduction at 333x250, an enlargement): a half-pixel shift or a wrong support would show as a
// large difference on a detailed picture.
TEST(Resize, AgreesWithAnIndependentLanczosResize) {
  mirelo::test::TempDir dir;
  const auto source = dir / "logo.png";
  ASSERT_TRUE(mirelo::test::MagickConvert({"logo:", "-resize", "800x600!", source.string()}));
  const auto original = mirelo::test::MagickDecode(source);
  ASSERT_TRUE(original);
  for (const auto& [w, h] : {std::tuple{90, 70}, std::tuple{333, 250}, std::tuple{1201, 901}}) {
    const auto reference = dir / ("ref" + std::to_string(w) + ".png");
    ASSERT_TRUE(mirelo::test::MagickConvert({source.string(), "-filter", "Lanczos", "-resize",
                                             std::to_string(w) + "x" + std::to_string(h) + "!", reference.string()}));
    const auto expected = mirelo::test::MagickDecode(reference);
    ASSERT_TRUE(expected);
    Image ours = *original;
    Resize(ours, w, h);
    EXPECT_GT(mirelo::test::Psnr(ours, *expected), 40.0) << w << "x" << h;
  }
}

TEST(Resize, EnlargingKeepsAnEdgeSharpAndClampsOvershoot) {
  // Black left half, white right half; Lanczos rings, so values must be clamped, not wrapped.
  Image image = MakeGray(8, 1, [](int x, int) { return x < 4 ? 0 : 255; });
  Resize(image, 64, 1);
  EXPECT_EQ(image.row(0)[0], 0);
  EXPECT_EQ(image.row(0)[63], 255);
  EXPECT_LT(image.row(0)[26], 40);   // 0.7 source pixels left of the edge
  EXPECT_GT(image.row(0)[37], 215);  // and right of it
}

TEST(Resize, PaletteBecomesRgb) {
  Image image = Image::blank(4, 4, PixelFormat::Palette8);
  image.palette = {{10, 20, 30}};
  Resize(image, 2, 2);
  ASSERT_EQ(image.format, PixelFormat::Rgb24);
  EXPECT_EQ(test::At(image, 1, 1), (Rgb{10, 20, 30}));
}

TEST(Resize, InvalidSizesAreRefused) {
  Image image = MakeGray(4, 4, [](int, int) { return 0; });
  for (const auto& [w, h] : {std::pair{0, 5}, std::pair{5, -1}, std::pair{kMaxSide + 1, 1}, std::pair{20000, 20000}}) {
    try {
      Resize(image, w, h);
      ADD_FAILURE() << w << "x" << h << " accepted";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), err::kInvalidPropertyValue);
    }
  }
  EXPECT_EQ(image.width, 4);
}

}  // namespace
}  // namespace mirelo::imaging
