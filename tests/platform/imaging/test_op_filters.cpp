#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "platform/error.h"
#include "platform/imaging/operations.h"
#include "test_op_util.h"

namespace mirelo::imaging {
namespace {

using test::MakeGray;
using test::MakeRgb;

// Dark left half (60), bright right half (190).
Image Edge() {
  return MakeGray(24, 12, [](int x, int) { return x < 12 ? 60 : 190; });
}

// Difference between the pixels either side of the edge, in the middle row.
int EdgeStep(const Image& image) { return image.row(6)[12] - image.row(6)[11]; }

TEST(Sharpen, ZeroLeavesEveryPixelUnchanged) {
  Image image = MakeRgb(17, 9, [](int x, int y) { return Rgb{static_cast<std::uint8_t>(x * 13), static_cast<std::uint8_t>(y * 29), 3}; });
  const Image before = image;
  Sharpen(image, 0);
  EXPECT_EQ(image.pixels, before.pixels);
  EXPECT_EQ(image.format, before.format);
}

TEST(Sharpen, FlatImageStaysFlatAtEveryStrength) {
  for (int s : {-1000, -300, -1, 1, 250, 1000}) {
    Image image = MakeRgb(9, 7, [](int, int) { return Rgb{30, 140, 250}; });
    Sharpen(image, static_cast<std::int16_t>(s));
    for (int y = 0; y < 7; ++y)
      for (int x = 0; x < 9; ++x) ASSERT_EQ(test::At(image, x, y), (Rgb{30, 140, 250})) << s;
  }
}

TEST(Sharpen, PositiveRaisesEdgeContrastMoreWithStrength) {
  const int original = EdgeStep(Edge());
  int previous = original;
  for (int s : {50, 250, 1000}) {
    Image image = Edge();
    Sharpen(image, static_cast<std::int16_t>(s));
    EXPECT_GT(EdgeStep(image), previous) << s;
    previous = EdgeStep(image);
    // Far from the edge nothing changes.
    EXPECT_EQ(image.row(6)[0], Edge().row(6)[0]);
  }
  Image strongest = Edge();
  Sharpen(strongest, 1000);
  EXPECT_EQ(strongest.row(6)[11], 0);  // overshoot is clamped
  EXPECT_EQ(strongest.row(6)[12], 255);
}

TEST(Sharpen, NegativeSoftensEdgeMoreWithStrength) {
  int previous = EdgeStep(Edge());
  for (int s : {-20, -200, -1000}) {
    Image image = Edge();
    Sharpen(image, static_cast<std::int16_t>(s));
    EXPECT_LT(EdgeStep(image), previous) << s;
    previous = EdgeStep(image);
    EXPECT_EQ(image.width, 24);
    EXPECT_EQ(image.height, 12);
  }
}

TEST(Sharpen, OutOfRangeStrengthCountsAsTheLimit) {
  Image a = Edge(), b = Edge();
  Sharpen(a, 1000);
  Sharpen(b, 32767);
  EXPECT_EQ(a.pixels, b.pixels);
  a = Edge();
  b = Edge();
  Sharpen(a, -1000);
  Sharpen(b, -32768);
  EXPECT_EQ(a.pixels, b.pixels);
}

TEST(Sharpen, TinyImages) {
  for (const auto& [w, h] : {std::pair{1, 1}, std::pair{1, 50}, std::pair{50, 1}}) {
    Image image = MakeGray(w, h, [](int x, int y) { return (x + y) % 2 * 255; });
    Sharpen(image, 700);
    Sharpen(image, -700);
    EXPECT_EQ(image.pixels.size(), static_cast<std::size_t>(w * h));
  }
}

TEST(StretchContrast, StretchesToFullRangeWithOneMapForAllChannels) {
  // Levels 100..150 with a colour cast; the luma range decides the map.
  Image image = MakeRgb(51, 4, [](int x, int) {
    const auto v = static_cast<std::uint8_t>(100 + x);
    return Rgb{v, v, v};
  });
  StretchContrast(image);
  EXPECT_EQ(test::At(image, 0, 0), (Rgb{0, 0, 0}));
  EXPECT_EQ(test::At(image, 50, 0), (Rgb{255, 255, 255}));
  EXPECT_EQ(test::At(image, 25, 0), (Rgb{128, 128, 128}));
  EXPECT_EQ(image.width, 51);
}

TEST(StretchContrast, IgnoresRareOutliersAndKeepsFlatImages) {
  // One black speck among 1000 pixels of 100..199 does not stop the stretch.
  Image image = MakeGray(100, 10, [](int x, int y) { return x == 0 && y == 0 ? 0 : 100 + x; });
  StretchContrast(image);
  EXPECT_EQ(image.row(5)[99], 255);
  EXPECT_LE(image.row(5)[1], 3);

  Image flat = MakeGray(10, 10, [](int, int) { return 77; });
  StretchContrast(flat);
  EXPECT_EQ(flat.row(3)[3], 77);
}

TEST(StretchContrast, PaletteImagesStretchTheirPalette) {
  Image image = Image::blank(2, 1, PixelFormat::Palette8);
  image.palette = {{100, 100, 100}, {150, 150, 150}};
  image.pixels = {0, 1};
  StretchContrast(image);
  EXPECT_EQ(image.palette[0], (Rgb{0, 0, 0}));
  EXPECT_EQ(image.palette[1], (Rgb{255, 255, 255}));
}

TEST(ToGrayscale, UsesRec601WeightsRounded) {
  Image image = MakeRgb(5, 1, [](int x, int) {
    static const Rgb colours[] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}, {10, 20, 30}};
    return colours[x];
  });
  image.dpiX = 200;
  ToGrayscale(image);
  ASSERT_EQ(image.format, PixelFormat::Gray8);
  EXPECT_EQ(image.pixels, (std::vector<std::uint8_t>{76, 150, 29, 255, 18}));
  EXPECT_EQ(image.dpiX, 200);
}

TEST(ToRgb24, ExpandsPaletteAndReplicatesGrey) {
  Image grey = MakeGray(2, 1, [](int x, int) { return x ? 200 : 5; });
  grey.storedBitsPerPixel = 8;
  const Image rgb = ToRgb24(grey);
  EXPECT_EQ(rgb.pixels, (std::vector<std::uint8_t>{5, 5, 5, 200, 200, 200}));
  EXPECT_EQ(rgb.storedBitsPerPixel, 8);

  Image indexed = Image::blank(3, 1, PixelFormat::Palette8);
  indexed.palette = {{1, 2, 3}, {4, 5, 6}};
  indexed.pixels = {1, 0, 9};  // 9 is past the palette: black, not a read out of bounds
  EXPECT_EQ(ToRgb24(indexed).pixels, (std::vector<std::uint8_t>{4, 5, 6, 1, 2, 3, 0, 0, 0}));
}

// An image whose buffer is shorter than its size says is refused, never read past.
TEST(Operations, RefuseAPixelBufferShorterThanTheImage) {
  Image broken = MakeGray(10, 10, [](int, int) { return 1; });
  broken.pixels.resize(50);
  const std::function<void(Image&)> operations[] = {
      [](Image& i) { Trim(i, 0); },        [](Image& i) { StretchContrast(i); },
      [](Image& i) { Resize(i, 5, 5); },   [](Image& i) { Sharpen(i, 10); },
      [](Image& i) { ToGrayscale(i); },    [](Image& i) { ChangeColorResolution(i, 8, 8); },
      [](Image& i) { i = ToRgb24(i); },
  };
  for (const auto& operation : operations) {
    Image image = broken;
    image.format = PixelFormat::Palette8;  // so that every conversion has work to do
    try {
      operation(image);
      ADD_FAILURE() << "accepted";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), err::kInvalidPropertyValue);
    }
  }
}

}  // namespace
}  // namespace mirelo::imaging
