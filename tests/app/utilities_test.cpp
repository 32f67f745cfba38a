// Common utilities and the number forms.

#include "app/utilities.h"

#include <gtest/gtest.h>

#include "app/test_files.h"
#include "platform/error.h"
#include "support/temp_dir.h"

namespace mirelo::app {
namespace {

using testing::ReadBytes;
using testing::WriteBytes;

TEST(ReadIniTest, ErrorForAnythingMissingAndValuesWhole) {
  test::TempDir dir;
  const auto file = dir / "t.ini";
  EXPECT_EQ(ReadIni("k", "A", file), "ERROR");
  const std::string longValue(600, 'z');
  WriteBytes(file, "[A]\r\nk= " + longValue + " \r\nempty=\r\n");
  EXPECT_EQ(ReadIni("k", "A", file), longValue);
  EXPECT_EQ(ReadIni("K", "a", file), longValue);
  EXPECT_EQ(ReadIni("empty", "A", file), "");
  EXPECT_EQ(ReadIni("x", "A", file), "ERROR");
  EXPECT_EQ(ReadIni("k", "B", file), "ERROR");
  // A value holding a NUL byte ends there, as the text of the reading buffer did.
  WriteBytes(file, std::string("[A]\r\nk=ab\0cd\r\n", 16));
  EXPECT_EQ(ReadIni("k", "A", file), "ab");
}

TEST(WriteIniTest, UnsetValueRemovesKeyUnsetKeyRemovesSection) {
  test::TempDir dir;
  const auto file = dir / "t.ini";
  EXPECT_TRUE(WriteIni("1", "a", "A", file));
  EXPECT_TRUE(WriteIni("2", "b", "A", file));
  EXPECT_TRUE(WriteIni("3", "c", "B", file));
  EXPECT_EQ(ReadBytes(file), "[A]\r\na=1\r\nb=2\r\n[B]\r\nc=3\r\n");
  EXPECT_TRUE(WriteIni(std::nullopt, "a", "A", file));
  EXPECT_EQ(ReadBytes(file), "[A]\r\nb=2\r\n[B]\r\nc=3\r\n");
  EXPECT_TRUE(WriteIni(std::nullopt, std::nullopt, "a", file));
  EXPECT_EQ(ReadBytes(file), "[B]\r\nc=3\r\n");
  EXPECT_TRUE(WriteIni("x", std::nullopt, "B", file));  // no key: the section goes, as on Windows
  EXPECT_EQ(ReadBytes(file), "");
}

TEST(AddTrailingSeparatorTest, EndsWithOneSeparator) {
  EXPECT_EQ(AddTrailingSeparator("/home/u/w"), "/home/u/w/");
  EXPECT_EQ(AddTrailingSeparator("/home/u/w/"), "/home/u/w/");
  EXPECT_EQ(AddTrailingSeparator("/"), "/");
  EXPECT_EQ(AddTrailingSeparator(""), "/");
  EXPECT_EQ(AddTrailingSeparator("写真"), "写真/");
}

struct SplitCase {
  const char* path;
  const char* dir;
  const char* base;
};

TEST(SplitPathTest, FolderAndNameWithoutLastExtension) {
  const SplitCase cases[] = {
      {"/w/a.b.jpg", "/w/", "a.b"},
      {"a.jpg", "", "a"},
      {"/w/.jpg", "/w/", ""},
      {"/写真/夏.png", "/写真/", "夏"},
      // Open cases: no dot in the name gives the whole name.
      {"/w.d/name", "/w.d/", "name"},
      {"/w/name", "/w/", "name"},
      {"/w/", "/w/", ""},
  };
  for (const SplitCase& c : cases) {
    const SplitPathResult r = SplitPath(c.path);
    EXPECT_EQ(r.dir, c.dir) << c.path;
    EXPECT_EQ(r.base, c.base) << c.path;
  }
}

TEST(NumberFormTest, SignReservingAndHalfEven) {
  EXPECT_EQ(SignedNumberText(380), " 380");
  EXPECT_EQ(SignedNumberText(0), " 0");
  EXPECT_EQ(SignedNumberText(-5), "-5");
  EXPECT_EQ(SignedNumberText(-32768), "-32768");
  const std::pair<double, double> rounding[] = {{2.5, 2},   {3.5, 4}, {-2.5, -2}, {-3.5, -4},
                                                {0.5, 0},   {1.5, 2}, {2.4, 2},   {2.6, 3},
                                                {-2.6, -3}, {7, 7},   {-0.4, -0}, {32767.5, 32768}};
  for (const auto& [value, expected] : rounding) EXPECT_EQ(RoundHalfEven(value), expected) << value;
  EXPECT_EQ(RoundToInt16(-32768.5), -32768);
  EXPECT_EQ(RoundToInt16(4.5), 4);
  try {
    RoundToInt16(32767.5);
    ADD_FAILURE() << "no overflow";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kOverflow);
  }
}

struct Int16Case {
  const char* text;
  std::int16_t value;
  std::int32_t error;
};

TEST(TextToInt16Test, AsTheOriginalConverts) {
  const Int16Case cases[] = {
      {"12", 12, 0},
      {" 12 ", 12, 0},
      {"\t-7\t", -7, 0},
      {"+5", 5, 0},
      {" 0", 0, 0},
      {"-0", 0, 0},
      {"2.5", 2, 0},
      {"3.5", 4, 0},
      {"-2.5", -2, 0},
      {".5", 0, 0},
      {"1.", 1, 0},
      {"1e3", 1000, 0},
      {"1E+2", 100, 0},
      {"25e-1", 2, 0},
      {"1d2", 100, 0},
      {"0.0000001", 0, 0},
      {"1e-400", 0, 0},
      {"32767", 32767, 0},
      {"-32768", -32768, 0},
      {"-32768.5", -32768, 0},
      {"32768", 0, err::kOverflow},
      {"-32769", 0, err::kOverflow},
      {"32767.5", 0, err::kOverflow},
      {"40000", 0, err::kOverflow},
      {"1e5", 0, err::kOverflow},
      {"1e400", 0, err::kOverflow},
      {"99999999999999999999999", 0, err::kOverflow},
      {"ERROR", 0, err::kTypeMismatch},
      {"", 0, err::kTypeMismatch},
      {"  ", 0, err::kTypeMismatch},
      {"12a", 0, err::kTypeMismatch},
      {"1 2", 0, err::kTypeMismatch},
      {".", 0, err::kTypeMismatch},
      {"-", 0, err::kTypeMismatch},
      {"1e", 0, err::kTypeMismatch},
      {"e3", 0, err::kTypeMismatch},
      {"0x10", 0, err::kTypeMismatch},
      {"１２", 0, err::kTypeMismatch},
  };
  for (const Int16Case& c : cases) {
    const Int16Result r = TextToInt16(c.text);
    EXPECT_EQ(r.error, c.error) << '"' << c.text << '"';
    if (c.error == 0) {
      EXPECT_EQ(r.value, c.value) << '"' << c.text << '"';
    }
  }
  EXPECT_EQ(TextToInt16OrThrow(" 380"), 380);
  EXPECT_THROW(TextToInt16OrThrow("ERROR"), Error);
}

}  // namespace
}  // namespace mirelo::app
