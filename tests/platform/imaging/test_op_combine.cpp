#include <gtest/gtest.h>

#include "platform/imaging/operations.h"
#include "test_op_util.h"

namespace mirelo::imaging {
namespace {

using test::At;
using test::MakeRgb;

Rgb DestColour(int x, int y) { return Rgb{static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 7}; }
Rgb SourceColour(int x, int y) { return Rgb{static_cast<std::uint8_t>(100 + x), static_cast<std::uint8_t>(100 + y), 200}; }

struct CombineCase {
  const char* name;
  int destW, destH;
  int left, top, width, height;
  int srcW, srcH;
  int srcLeft, srcTop;
};

class CombineTest : public ::testing::TestWithParam<CombineCase> {};

// Every destination pixel against the rule written out as a plain loop.
TEST_P(CombineTest, EveryPixelFollowsTheRule) {
  const CombineCase& c = GetParam();
  Image dest = MakeRgb(c.destW, c.destH, DestColour);
  const Image source = MakeRgb(c.srcW, c.srcH, SourceColour);
  CombineCopy(dest, c.left, c.top, c.width, c.height, source, c.srcLeft, c.srcTop);
  ASSERT_EQ(dest.width, c.destW);
  ASSERT_EQ(dest.height, c.destH);
  for (int y = 0; y < c.destH; ++y)
    for (int x = 0; x < c.destW; ++x) {
      Rgb expected = DestColour(x, y);
      const bool inRect = x >= c.left && x < c.left + c.width && y >= c.top && y < c.top + c.height;
      const int sx = c.srcLeft + x - c.left;
      const int sy = c.srcTop + y - c.top;
      if (inRect && sx >= 0 && sx < c.srcW && sy >= 0 && sy < c.srcH) expected = SourceColour(sx, sy);
      ASSERT_EQ(At(dest, x, y), expected) << "at " << x << "," << y;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CombineTest,
    ::testing::Values(
        CombineCase{"FillsCanvas", 16, 12, 0, 0, 16, 12, 16, 12, 0, 0},
        CombineCase{"CoverMiddleColumns", 16, 12, 0, 0, 16, 12, 24, 12, 4, 0},
        CombineCase{"CentredInFrame", 30, 20, 9, 2, 12, 16, 12, 10, 0, -3},
        CombineCase{"NegativeSourceLeftAndTop", 20, 20, 2, 2, 15, 15, 10, 10, -4, -3},
        CombineCase{"RectanglePartlyLeftAndAbove", 20, 20, -5, -6, 12, 12, 30, 30, 0, 0},
        CombineCase{"RectanglePartlyRightAndBelow", 20, 20, 14, 15, 20, 20, 30, 30, 1, 1},
        CombineCase{"RectangleWhollyOutside", 20, 20, 25, 3, 10, 10, 30, 30, 0, 0},
        CombineCase{"SourceWhollyOutside", 20, 20, 0, 0, 20, 20, 10, 10, 50, 0},
        CombineCase{"SourceSmallerThanRectangle", 20, 20, 0, 0, 20, 20, 5, 7, 0, 0},
        CombineCase{"ZeroSizedRectangle", 10, 10, 2, 2, 0, 5, 10, 10, 0, 0},
        CombineCase{"NegativeSizedRectangle", 10, 10, 5, 5, -3, -3, 10, 10, 0, 0},
        CombineCase{"OnePixel", 1, 1, 0, 0, 1, 1, 1, 1, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CombineCopy, ExtremeCoordinatesDoNotOverflow) {
  Image dest = MakeRgb(8, 8, DestColour);
  const Image before = dest;
  const Image source = MakeRgb(8, 8, SourceColour);
  CombineCopy(dest, 2147483000, 0, 2147483000, 8, source, 0, 0);
  CombineCopy(dest, -2147483647, -2147483647, 2147483647, 2147483647, source, 2147483647, 0);
  EXPECT_EQ(dest.pixels, before.pixels);
  // A huge rectangle from far left covers the whole image; the offsets cancel out.
  CombineCopy(dest, -1000000000, 0, 2000000000, 8, source, -1000000000, 0);
  EXPECT_EQ(At(dest, 0, 0), SourceColour(0, 0));
  EXPECT_EQ(At(dest, 7, 7), SourceColour(7, 7));
}

TEST(CombineCopy, PaletteAndGreyDestinationsBecomeRgbAndKeepTheirColours) {
  Image dest = Image::blank(4, 1, PixelFormat::Palette8);
  dest.palette = {{10, 20, 30}, {40, 50, 60}};
  dest.pixels = {0, 1, 1, 0};
  const Image source = test::MakeGray(1, 1, [](int, int) { return 99; });
  CombineCopy(dest, 1, 0, 1, 1, source, 0, 0);
  ASSERT_EQ(dest.format, PixelFormat::Rgb24);
  EXPECT_EQ(At(dest, 0, 0), (Rgb{10, 20, 30}));
  EXPECT_EQ(At(dest, 1, 0), (Rgb{99, 99, 99}));
  EXPECT_EQ(At(dest, 2, 0), (Rgb{40, 50, 60}));
}

TEST(CombineCopy, ImageCombinedWithItselfUsesTheOriginalPixels) {
  Image image = MakeRgb(6, 1, SourceColour);
  CombineCopy(image, 1, 0, 5, 1, image, 0, 0);
  for (int x = 1; x < 6; ++x) EXPECT_EQ(At(image, x, 0), SourceColour(x - 1, 0));
}

}  // namespace
}  // namespace mirelo::imaging
