#include <gtest/gtest.h>

#include "platform/imaging/operations.h"
#include "test_op_util.h"

namespace mirelo::imaging {
namespace {

using test::MakeGray;
using test::MakeRgb;

// White background, a block of `colour` at [left, right) x [top, bottom).
Image Framed(int w, int h, int left, int top, int right, int bottom, Rgb colour) {
  return MakeRgb(w, h, [=](int x, int y) {
    return (x >= left && x < right && y >= top && y < bottom) ? colour : Rgb{255, 255, 255};
  });
}

struct TrimCase {
  const char* name;
  Image image;
  std::int16_t threshold;
  int left, top, width, height;  // expected crop of the original
};

class TrimTest : public ::testing::TestWithParam<TrimCase> {};

TEST_P(TrimTest, CropsToContent) {
  const TrimCase& c = GetParam();
  Image image = c.image;
  Trim(image, c.threshold);
  ASSERT_EQ(image.width, c.width);
  ASSERT_EQ(image.height, c.height);
  EXPECT_EQ(image.sourceWidth, c.width);
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x) ASSERT_EQ(test::At(image, x, y), test::At(c.image, c.left + x, c.top + y));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TrimTest,
    ::testing::Values(
        TrimCase{"ExactBackgroundAtZero", Framed(20, 10, 3, 2, 15, 8, {254, 255, 255}), 0, 3, 2, 12, 6},
        TrimCase{"OneLevelWithinOne", Framed(20, 10, 3, 2, 15, 8, {254, 255, 255}), 1, 0, 0, 20, 10},
        TrimCase{"OneChannelOutsideTolerance", Framed(20, 10, 3, 2, 15, 8, {250, 255, 200}), 54, 3, 2, 12, 6},
        TrimCase{"AllChannelsWithinTolerance", Framed(20, 10, 3, 2, 15, 8, {250, 255, 201}), 54, 0, 0, 20, 10},
        TrimCase{"MaximumSliderKeepsBlack", Framed(20, 10, 5, 5, 6, 6, {0, 0, 0}), 244, 5, 5, 1, 1},
        TrimCase{"MaximumSliderTreatsDarkGreyAsBlank", Framed(20, 10, 5, 5, 6, 6, {11, 11, 11}), 244, 0, 0, 20, 10},
        TrimCase{"AllBlankUnchanged", Framed(7, 5, 0, 0, 0, 0, {0, 0, 0}), 0, 0, 0, 7, 5},
        TrimCase{"SinglePixel", Framed(1, 1, 0, 0, 0, 0, {0, 0, 0}), 0, 0, 0, 1, 1},
        TrimCase{"ContentTouchingRightAndBottom", Framed(9, 6, 4, 3, 9, 6, {0, 0, 255}), 10, 4, 3, 5, 3},
        TrimCase{"ContentAtTopLeftIsTheBackground",
                 MakeRgb(9, 6, [](int x, int y) { return x < 4 && y < 3 ? Rgb{0, 0, 0} : Rgb{200, 10, 10}; }), 0, 0,
                 0, 9, 6},
        TrimCase{"NegativeThresholdCountsAsZero", Framed(20, 10, 3, 2, 15, 8, {254, 255, 255}), -5, 3, 2, 12, 6},
        TrimCase{"ScatteredPixels",
                 MakeRgb(12, 12,
                         [](int x, int y) {
                           return (x == 2 && y == 9) || (x == 10 && y == 1) ? Rgb{0, 0, 0} : Rgb{255, 255, 255};
                         }),
                 0, 2, 1, 9, 9}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Trim, GreyAndPaletteImagesCompareLevelsAndColours) {
  Image grey = MakeGray(10, 10, [](int x, int y) { return x == 4 && y == 6 ? 90 : 100; });
  Trim(grey, 10);
  EXPECT_EQ(grey.width, 10);
  Trim(grey, 9);
  EXPECT_EQ(grey.width, 1);
  EXPECT_EQ(grey.height, 1);
  EXPECT_EQ(grey.pixels[0], 90);

  // Two indices holding the same colour are both background.
  Image indexed = Image::blank(5, 3, PixelFormat::Palette8);
  indexed.palette = {{1, 2, 3}, {1, 2, 3}, {200, 0, 0}};
  indexed.pixels = {0, 1, 1, 1, 0,  //
                    1, 0, 2, 2, 1,  //
                    0, 0, 0, 1, 1};
  Trim(indexed, 0);
  EXPECT_EQ(indexed.format, PixelFormat::Palette8);
  EXPECT_EQ(indexed.width, 2);
  EXPECT_EQ(indexed.height, 1);
  EXPECT_EQ(indexed.pixels, (std::vector<std::uint8_t>{2, 2}));
}

TEST(Trim, KeepsResolution) {
  Image image = Framed(20, 10, 3, 2, 15, 8, {0, 0, 0});
  image.dpiX = 300;
  image.dpiY = 150;
  Trim(image, 0);
  EXPECT_EQ(image.width, 12);
  EXPECT_EQ(image.dpiX, 300);
  EXPECT_EQ(image.dpiY, 150);
}

}  // namespace
}  // namespace mirelo::imaging
