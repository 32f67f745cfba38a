// ImagingControl: load errors by number, argument checks, save by format code, exclusive creation.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/imaging/codecs.h"
#include "platform/imaging/imaging_control.h"
#include "support/magick.h"
#include "support/temp_dir.h"
#include "test_codec_helpers.h"

namespace mirelo::imaging {
namespace {

int ErrorNumberOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.number();
  }
  return 0;
}

std::vector<std::uint8_t> Cut(std::vector<std::uint8_t> bytes, std::size_t keep) {
  bytes.resize(keep);
  return bytes;
}

// Each row writes a file (or makes a path) and names the error number the load must raise.
struct LoadRow {
  const char* name;
  std::function<std::filesystem::path(const test::TempDir&)> make;
  int number;
};

TEST(ControlLoad, ErrorNumbers) {
  test::TempDir dir;
  const Image picture = test::SyntheticPicture(64, 48);
  const auto jpeg = WriteJpeg(picture, {});
  const auto png = WritePng(picture, {});
  Image paletted = picture;
  const auto gif = WriteGif(paletted, {});
  const auto tiffFile = dir / "source.tif";
  ASSERT_TRUE(test::MagickConvert({"-size", "64x48", "gradient:red-blue", "-compress", "LZW", tiffFile.string()}));
  const auto tiff = test::ReadFileBytes(tiffFile);
  auto file = [](const char* name, std::vector<std::uint8_t> bytes) {
    return [name, bytes](const test::TempDir& d) {
      test::WriteBytes(d / name, bytes);
      return d / name;
    };
  };
  // A JPEG claiming 40000 x 40000 pixels: refused from its header.
  std::vector<std::uint8_t> hugeJpeg = jpeg;
  for (std::size_t i = 2; i + 9 < hugeJpeg.size(); ++i) {
    if (hugeJpeg[i] == 0xFF && (hugeJpeg[i + 1] == 0xC0 || hugeJpeg[i + 1] == 0xC2)) {
      hugeJpeg[i + 5] = hugeJpeg[i + 7] = 0x9C;
      hugeJpeg[i + 6] = hugeJpeg[i + 8] = 0x40;
      break;
    }
  }
  // A progressive JPEG whose first scan (DC, which may legally be sent again) is repeated
  // hundreds of times: refused, not decoded for ages.
  SaveParams progressive;
  progressive.progressive = true;
  const auto pjpeg = WriteJpeg(picture, progressive);
  std::size_t scanStart = 2;
  while (!(pjpeg[scanStart] == 0xFF && pjpeg[scanStart + 1] == 0xDA)) ++scanStart;
  std::size_t scanEnd = scanStart + 2 + ((std::size_t(pjpeg[scanStart + 2]) << 8) | pjpeg[scanStart + 3]);
  while (!(pjpeg[scanEnd] == 0xFF && pjpeg[scanEnd + 1] != 0 && (pjpeg[scanEnd + 1] & 0xF8) != 0xD0)) ++scanEnd;
  std::vector<std::uint8_t> manyScans(pjpeg.begin(), pjpeg.begin() + std::ptrdiff_t(scanEnd));
  for (int i = 0; i < 600; ++i) {
    manyScans.insert(manyScans.end(), pjpeg.begin() + std::ptrdiff_t(scanStart), pjpeg.begin() + std::ptrdiff_t(scanEnd));
  }
  manyScans.insert(manyScans.end(), pjpeg.begin() + std::ptrdiff_t(scanEnd), pjpeg.end());
  std::vector<std::uint8_t> fewScans(pjpeg.begin(), pjpeg.begin() + std::ptrdiff_t(scanEnd));
  for (int i = 0; i < 100; ++i) {
    fewScans.insert(fewScans.end(), pjpeg.begin() + std::ptrdiff_t(scanStart), pjpeg.begin() + std::ptrdiff_t(scanEnd));
  }
  fewScans.insert(fewScans.end(), pjpeg.begin() + std::ptrdiff_t(scanEnd), pjpeg.end());
  // A GIF whose logical screen is 40000 pixels wide.
  std::vector<std::uint8_t> hugeGif = gif;
  hugeGif[6] = 0x40;
  hugeGif[7] = 0x9C;
  // A PNG whose picture data fails its checksum.
  std::vector<std::uint8_t> badCrc = png;
  badCrc[badCrc.size() - 20] ^= 0x55;

  const LoadRow rows[] = {
      {"missing file", [](const test::TempDir& d) { return d / "nothing.jpg"; }, err::kFileNotFound},
      {"missing folder", [](const test::TempDir& d) { return d / "no" / "such.png"; }, err::kFileNotFound},
      {"folder", [](const test::TempDir& d) { return d.path(); }, err::kFileCannotBeRead},
      {"fifo",
       [](const test::TempDir& d) {
         ::mkfifo((d / "pipe.png").c_str(), 0600);
         return d / "pipe.png";
       },
       err::kFileCannotBeRead},
      {"zero bytes", file("empty.jpg", {}), err::kInvalidFileFormat},
      {"text named png", file("text.png", {'h', 'e', 'l', 'l', 'o', '\n'}), err::kInvalidFileFormat},
      {"jpeg cut in half", file("half.jpg", Cut(jpeg, jpeg.size() / 2)), err::kInvalidFileFormat},
      {"jpeg header only", file("head.jpg", Cut(jpeg, 700)), err::kInvalidFileFormat},
      {"jpeg without last bytes", file("tail.jpg", Cut(jpeg, jpeg.size() - 40)), err::kInvalidFileFormat},
      {"jpeg too large", file("huge.jpg", hugeJpeg), err::kInvalidFileFormat},
      {"jpeg with 600 scans", file("scans.jpg", manyScans), err::kInvalidFileFormat},
      {"jpeg with 100 scans", file("fewscans.jpg", fewScans), 0},
      {"jpeg without end marker", file("noeoi.jpg", Cut(jpeg, jpeg.size() - 2)), 0},
      {"progressive jpeg without end marker", file("pnoeoi.jpg", Cut(pjpeg, pjpeg.size() - 2)), 0},
      {"jpeg without its last data byte", file("cut3.jpg", Cut(jpeg, jpeg.size() - 3)), err::kInvalidFileFormat},
      {"progressive jpeg cut", file("pcut.jpg", Cut(pjpeg, pjpeg.size() * 2 / 3)), err::kInvalidFileFormat},
      {"png cut in half", file("half.png", Cut(png, png.size() / 2)), err::kInvalidFileFormat},
      {"png signature only", file("sig.png", Cut(png, 8)), err::kInvalidFileFormat},
      {"png bad checksum", file("crc.png", badCrc), err::kInvalidFileFormat},
      {"gif cut in half", file("half.gif", Cut(gif, gif.size() / 2)), err::kInvalidFileFormat},
      {"gif header only", file("head.gif", Cut(gif, 13)), err::kInvalidFileFormat},
      {"gif too large", file("huge.gif", hugeGif), err::kInvalidFileFormat},
      {"tiff cut in half", file("half.tif", Cut(tiff, tiff.size() / 2)), err::kInvalidFileFormat},
      {"tiff header only", file("head.tif", Cut(tiff, 8)), err::kInvalidFileFormat},
      {"png named jpg", file("png.jpg", png), 0},
      {"jpeg named gif", file("jpeg.gif", jpeg), 0},
  };
  for (const LoadRow& row : rows) {
    const std::filesystem::path path = row.make(dir);
    ImagingControl control;
    EXPECT_EQ(ErrorNumberOf([&] { control.Load(path); }), row.number) << row.name;
    if (row.number == 0) {
      EXPECT_EQ(control.Width(), 64.0f) << row.name;
    }
  }
}

TEST(ControlLoad, PermissionDeniedIsUnreadable) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads everything";
  test::TempDir dir;
  test::WriteBytes(dir / "locked.png", WritePng(test::SyntheticPicture(8, 8), {}));
  ::chmod((dir / "locked.png").c_str(), 0);
  ImagingControl control;
  EXPECT_EQ(ErrorNumberOf([&] { control.Load(dir / "locked.png"); }), err::kFileCannotBeRead);
}

TEST(ControlLoad, EmptyPathEmptiesTheInstance) {
  ImagingControl control;
  control.CreateBlank(10, 10);
  EXPECT_EQ(ErrorNumberOf([&] { control.Load(""); }), err::kFileNotFound);
  EXPECT_EQ(control.Width(), 0.0f);
  EXPECT_TRUE(control.GetImage().empty());
}

TEST(ControlLoad, FailedLoadKeepsThePreviousImage) {
  test::TempDir dir;
  ImagingControl control;
  control.CreateBlank(12, 9);
  EXPECT_EQ(ErrorNumberOf([&] { control.Load(dir / "missing.png"); }), err::kFileNotFound);
  EXPECT_EQ(control.Width(), 12.0f);
}

TEST(ControlArguments, InvalidValuesAre380) {
  const Image source = test::SyntheticPicture(8, 8);
  const std::pair<const char*, std::function<void(ImagingControl&)>> rows[] = {
      {"resize zero width", [](ImagingControl& c) { c.Resize(0, 10); }},
      {"resize negative height", [](ImagingControl& c) { c.Resize(10, -2); }},
      {"resize rounds to zero", [](ImagingControl& c) { c.Resize(0.5f, 10); }},
      {"resize unknown mode", [](ImagingControl& c) { c.Resize(10, 10, 2); }},
      {"resize not a number", [](ImagingControl& c) { c.Resize(std::nanf(""), 10); }},
      {"resize beyond the limits", [](ImagingControl& c) { c.Resize(40000, 10); }},
      {"create blank zero", [](ImagingControl& c) { c.CreateBlank(0, 5); }},
      {"create blank 8 bits", [](ImagingControl& c) { c.CreateBlank(5, 5, 8); }},
      {"grayscale 4 bits", [](ImagingControl& c) { c.Grayscale(4); }},
      {"palette option 3", [](ImagingControl& c) { c.ColorResolution(8, 3); }},
      {"16 bits", [](ImagingControl& c) { c.ColorResolution(16, 8); }},
      {"dithering", [](ImagingControl& c) { c.ColorResolution(8, 8, 1); }},
      {"combine 287", [&](ImagingControl& c) { c.Combine(0, 0, 4, 4, source, 0, 0, 287); }},
      {"combine negative width", [&](ImagingControl& c) { c.Combine(0, 0, -4, 4, source, 0, 0, 288); }},
      {"progressive 1", [](ImagingControl& c) { c.SetProgressive(1); }},
      {"negative dpi", [](ImagingControl& c) { c.SetDpiX(-1); }},
      {"format 11", [](ImagingControl& c) { c.Encode(11, 24, 2); }},
      {"gif at 24 bits", [](ImagingControl& c) { c.Encode(format::kGif, 24, 2); }},
      {"jpeg at 8 bits", [](ImagingControl& c) { c.Encode(format::kJpeg, 8, 2); }},
      {"multi-page save", [](ImagingControl& c) { c.Save("/nonexistent/x.png", format::kPng, 24, 2, 1); }},
  };
  for (const auto& [name, call] : rows) {
    ImagingControl control;
    control.PutImage(source);
    EXPECT_EQ(ErrorNumberOf([&] { call(control); }), err::kInvalidPropertyValue) << name;
  }
  // An empty instance has nothing to work on.
  ImagingControl empty;
  EXPECT_EQ(ErrorNumberOf([&] { empty.Resize(10, 10); }), err::kInvalidPropertyValue);
  EXPECT_EQ(ErrorNumberOf([&] { empty.Trim(10); }), err::kInvalidPropertyValue);
  EXPECT_EQ(ErrorNumberOf([&] { empty.Encode(format::kPng, 24, 2); }), err::kInvalidPropertyValue);
}

// Sizes arrive as floating-point numbers; halves go to the even neighbour.
TEST(ControlArguments, SizesRoundHalfToEven) {
  ImagingControl control;
  control.CreateBlank(2.5f, 3.5f);
  EXPECT_EQ(control.Width(), 2.0f);
  EXPECT_EQ(control.Height(), 4.0f);
  control.PutImage(test::SyntheticPicture(40, 30));
  control.Resize(10.5f, 5.5f);
  EXPECT_EQ(control.Width(), 10.0f);
  EXPECT_EQ(control.Height(), 6.0f);
}

TEST(ControlCombine, SourceMayBeTheInstanceItself) {
  ImagingControl control;
  Image image = Image::blank(4, 1);
  for (int x = 0; x < 4; ++x) image.pixels[std::size_t(3 * x)] = std::uint8_t(10 * (x + 1));
  control.PutImage(image);
  // Shift right by one: every pixel takes its left neighbour's original value.
  control.Combine(1, 0, 3, 1, control.GetImage(), 0, 0, kCombineCopy);
  const Image& out = control.GetImage();
  EXPECT_EQ(out.pixels[0], 10);
  EXPECT_EQ(out.pixels[3], 10);
  EXPECT_EQ(out.pixels[6], 20);
  EXPECT_EQ(out.pixels[9], 30);
}

TEST(ControlSave, EveryFormatCodeWritesItsFormat) {
  test::TempDir dir;
  const std::tuple<int, int, const char*, const char*> rows[] = {
      {format::kJpeg, 24, "a.jpg", "JPEG"}, {format::kPng, 24, "a.png", "PNG"}, {format::kGif, 8, "a.gif", "GIF"},
      {format::kPict, 24, "a.pct", "PICT"}, {format::kBmp, 24, "a.bmp", "BMP3"},
      {format::kWebp, 24, "a.webp", "WEBP"},
  };
  for (const auto& [code, bits, name, magick] : rows) {
    ImagingControl control;
    control.PutImage(test::SyntheticPicture(160, 120));
    control.SetDpiX(144);
    control.SetDpiY(144);
    if (code == format::kGif) control.ColorResolution(8, palette::kFixed);
    try {
      control.Save(dir / name, code, bits, 2);
    } catch (const Error& e) {
      ADD_FAILURE() << name << ": " << e.what();
      continue;
    }
    EXPECT_EQ(test::MagickIdentify(dir / name, "%m"), magick);
    EXPECT_EQ(test::MagickIdentify(dir / name, "%wx%h"), "160x120");
    // GIF and WebP have no resolution; ImageMagick's PICT reader reports 72 whatever the header says.
    if (code != format::kGif && code != format::kPict && code != format::kWebp) {
      const auto [x, y] = test::MagickDpi(dir / name);
      EXPECT_NEAR(x, 144, 0.05) << name;
      EXPECT_NEAR(y, 144, 0.05) << name;
    }
  }
}

TEST(ControlSave, ProgressiveSettingReachesTheFile) {
  test::TempDir dir;
  ImagingControl control;
  control.PutImage(test::SyntheticPicture(64, 48));
  control.SetProgressive(8);
  EXPECT_TRUE(control.Progressive());
  control.Save(dir / "p.jpg", format::kJpeg, 24, 65);
  control.SetProgressive(0);
  control.Save(dir / "b.jpg", format::kJpeg, 24, 65);
  EXPECT_EQ(test::MagickIdentify(dir / "p.jpg", "%[interlace]"), "JPEG");
  EXPECT_EQ(test::MagickIdentify(dir / "b.jpg", "%[interlace]"), "None");
}

// Never overwrite: exclusive creation refuses any existing entry of that name.
TEST(ControlSave, ExclusiveCreation) {
  test::TempDir dir;
  ImagingControl control;
  control.PutImage(test::SyntheticPicture(16, 12));
  test::WriteBytes(dir / "taken.png", {'o', 'l', 'd'});
  std::filesystem::create_directory(dir / "folder.png");
  std::filesystem::create_symlink(dir / "nowhere", dir / "dangling.png");
  const std::pair<std::filesystem::path, int> rows[] = {
      {dir / "taken.png", err::kFileAlreadyExists},
      {dir / "folder.png", err::kFileAlreadyExists},
      {dir / "dangling.png", err::kFileAlreadyExists},
      {dir / "missing" / "x.png", err::kPathNotFound},
      {dir / "taken.png" / "x.png", err::kPathNotFound},
      {dir / "new.png", 0},
  };
  for (const auto& [path, number] : rows) {
    EXPECT_EQ(ErrorNumberOf([&] { control.Save(path, format::kPng, 24, 2); }), number) << path;
  }
  EXPECT_EQ(test::ReadFileBytes(dir / "taken.png"), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
  EXPECT_FALSE(std::filesystem::exists(dir / "nowhere"));
  EXPECT_EQ(DecodeImage(test::ReadFileBytes(dir / "new.png")).width, 16);
}

TEST(ControlSave, ReplaceOnlyWhenAskedAndLeavesNoTemporaryFiles) {
  test::TempDir dir;
  ImagingControl control;
  control.PutImage(test::SyntheticPicture(16, 12));
  test::WriteBytes(dir / "old.png", {'o', 'l', 'd'});
  control.Save(dir / "old.png", format::kPng, 24, 2, 0, CreateMode::Replace);
  EXPECT_EQ(DecodeImage(test::ReadFileBytes(dir / "old.png")).width, 16);
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(entries, 1);
}

TEST(ControlSave, FailedEncodeCreatesNoFile) {
  test::TempDir dir;
  ImagingControl control;
  control.PutImage(test::SyntheticPicture(16, 12));
  EXPECT_EQ(ErrorNumberOf([&] { control.Save(dir / "x.out", 99, 24, 2); }), err::kInvalidPropertyValue);
  EXPECT_FALSE(std::filesystem::exists(dir / "x.out"));
}

TEST(ControlSave, UnwritableFolderIs20007) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes everywhere";
  test::TempDir dir;
  std::filesystem::create_directory(dir / "ro");
  ::chmod((dir / "ro").c_str(), 0500);
  ImagingControl control;
  control.PutImage(test::SyntheticPicture(16, 12));
  EXPECT_EQ(ErrorNumberOf([&] { control.Save(dir / "ro" / "x.png", format::kPng, 24, 2); }),
            err::kFileCannotBeRead);
  ::chmod((dir / "ro").c_str(), 0700);
}

}  // namespace
}  // namespace mirelo::imaging
