#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "platform/error.h"
#include "platform/imaging/operations.h"
#include "test_op_util.h"

namespace mirelo::imaging {
namespace {

using test::MakeRgb;

// Many distinct colours, different for each seed.
Image Photo(int seed) {
  return MakeRgb(64, 48, [seed](int x, int y) {
    return Rgb{static_cast<std::uint8_t>(x * 4 + seed), static_cast<std::uint8_t>(y * 5 + x), static_cast<std::uint8_t>(seed * 7 + x * y)};
  });
}

std::vector<Rgb> Expand(const Image& image) {
  std::vector<Rgb> out;
  for (std::uint8_t i : image.pixels) out.push_back(image.palette.at(i));
  return out;
}

TEST(FixedPalette, HasTheSystemColoursCubeAndGreysWithoutDuplicates) {
  const Rgb* p = FixedPalette();
  std::set<std::tuple<int, int, int>> unique;
  for (int i = 0; i < 256; ++i) unique.insert({p[i].r, p[i].g, p[i].b});
  EXPECT_EQ(unique.size(), 256u);
  EXPECT_EQ(p[0], (Rgb{0, 0, 0}));
  EXPECT_EQ(p[7], (Rgb{192, 192, 192}));
  EXPECT_EQ(p[249], (Rgb{255, 0, 0}));
  EXPECT_EQ(p[255], (Rgb{255, 255, 255}));
  for (int r = 0; r < 256; r += 51)
    for (int g = 0; g < 256; g += 51)
      for (int b = 0; b < 256; b += 51) EXPECT_TRUE(unique.count({r, g, b})) << r << " " << g << " " << b;
  // No grey is further than 4 levels from a grey entry.
  for (int v = 0; v < 256; ++v) {
    int nearest = 256;
    for (int i = 0; i < 256; ++i)
      if (p[i].r == p[i].g && p[i].g == p[i].b) nearest = std::min(nearest, std::abs(p[i].r - v));
    EXPECT_LE(nearest, 4) << v;
  }
}

TEST(ChangeColorResolution, FixedPaletteIsTheSameForEveryImageAndMapsToTheNearest) {
  Image a = Photo(1), b = Photo(90);
  ChangeColorResolution(a, 8, 8);
  ChangeColorResolution(b, 8, 8);
  ASSERT_EQ(a.format, PixelFormat::Palette8);
  ASSERT_EQ(a.palette.size(), 256u);
  EXPECT_EQ(a.palette, b.palette);
  EXPECT_EQ(a.palette, std::vector<Rgb>(FixedPalette(), FixedPalette() + 256));

  Image colours = MakeRgb(3, 1, [](int x, int) {
    static const Rgb c[] = {{250, 3, 2}, {53, 100, 150}, {166, 202, 240}};
    return c[x];
  });
  ChangeColorResolution(colours, 8, 8);
  EXPECT_EQ(Expand(colours), (std::vector<Rgb>{{255, 0, 0}, {51, 102, 153}, {166, 202, 240}}));
}

TEST(ChangeColorResolution, OptimisedPaletteKeepsUpTo256ColoursExactly) {
  Image image = MakeRgb(32, 8, [](int x, int y) {
    return Rgb{static_cast<std::uint8_t>(x * 7), static_cast<std::uint8_t>(y * 3 + 1), static_cast<std::uint8_t>(x ^ y)};
  });  // 32 x 8 = 256 distinct colours
  const Image before = image;
  ChangeColorResolution(image, 8, 2);
  ASSERT_EQ(image.format, PixelFormat::Palette8);
  EXPECT_EQ(image.palette.size(), 256u);
  const auto expanded = Expand(image);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 32; ++x) ASSERT_EQ(expanded[static_cast<std::size_t>(y * 32 + x)], test::At(before, x, y));
}

double MeanError(const Image& indexed, const Image& original) {
  const auto expanded = Expand(indexed);
  double error = 0;
  for (int y = 0; y < original.height; ++y)
    for (int x = 0; x < original.width; ++x) {
      const Rgb a = expanded[static_cast<std::size_t>(y * original.width + x)], b = test::At(original, x, y);
      error += std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
    }
  return error / (original.width * original.height * 3);
}

TEST(ChangeColorResolution, OptimisedPaletteBeatsTheFixedOneOnRichImages) {
  const Image original = MakeRgb(64, 48, [](int x, int y) {
    return Rgb{static_cast<std::uint8_t>(x * 4), static_cast<std::uint8_t>(120 + y), static_cast<std::uint8_t>(200 - x - y)};
  });
  Image optimised = original, fixed = original;
  ChangeColorResolution(optimised, 8, 2);
  ChangeColorResolution(fixed, 8, 8);
  ASSERT_EQ(optimised.format, PixelFormat::Palette8);
  ASSERT_LE(optimised.palette.size(), 256u);
  ASSERT_EQ(optimised.pixels.size(), 64u * 48u);
  EXPECT_LT(MeanError(optimised, original), 3.0);
  EXPECT_LT(MeanError(optimised, original), MeanError(fixed, original) / 2);
}

TEST(ChangeColorResolution, TwentyFourBitsGivesRgbForEveryPipelineOption) {
  for (int option : {2, 4, 8}) {
    Image image = test::MakeGray(2, 1, [](int x, int) { return x * 100; });
    ChangeColorResolution(image, 24, option);
    EXPECT_EQ(image.format, PixelFormat::Rgb24);
    EXPECT_EQ(image.pixels, (std::vector<std::uint8_t>{0, 0, 0, 100, 100, 100}));
  }
}

TEST(ChangeColorResolution, OtherDepthsAndOptionsAreRefused) {
  for (const auto& [bits, option] : {std::pair{16, 4}, std::pair{1, 8}, std::pair{8, 4}, std::pair{8, 0}, std::pair{24, 3}}) {
    Image image = Photo(0);
    try {
      ChangeColorResolution(image, bits, option);
      ADD_FAILURE() << bits << "/" << option << " accepted";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), err::kInvalidPropertyValue);
    }
  }
}

}  // namespace
}  // namespace mirelo::imaging
