// Size presets: the edge cases and the open cases decided here.

#include "app/size_presets.h"

#include <gtest/gtest.h>

#include "app/test_files.h"
#include "app/utilities.h"
#include "support/temp_dir.h"

namespace mirelo::app {
namespace {

using testing::ReadBytes;
using testing::WriteBytes;
using Names = std::vector<std::string>;

const Names kBuiltIns = {"元画像と同じ", "100x75", "120x90", "160x120", "200x150", "240x180", "280x210"};

void ExpectBoxes(const std::optional<SizeSelection>& s, const char* width, const char* height, bool enabled) {
  ASSERT_TRUE(s.has_value());
  EXPECT_EQ(s->widthText, width);
  EXPECT_EQ(s->heightText, height);
  EXPECT_EQ(s->boxesEnabled, enabled);
}

class SizePresetsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CreateSizeFile(file_));
    fresh_ = ReadBytes(file_);
  }
  SizeListState State(int selected, std::string edit, std::string width = "", std::string height = "") {
    return {LoadSizes(file_), selected, std::move(edit), std::move(width), std::move(height)};
  }

  test::TempDir dir_;
  std::filesystem::path file_ = dir_ / kSizeFileName;
  std::string fresh_;
};

TEST_F(SizePresetsTest, FreshFileListsBuiltInsAndSelectsTheSourceSize) {
  EXPECT_EQ(LoadSizes(file_), kBuiltIns);
  const SizeSelection s = CbSizeClick(file_, kBuiltIns, 0);
  EXPECT_EQ(s.sizeIndex, 0);
  ExpectBoxes(s, "0", "0", false);
  EXPECT_FALSE(s.beep);
}

TEST_F(SizePresetsTest, SelectingAPresetFillsTheBoxes) {
  const SizeSelection s = CbSizeClick(file_, kBuiltIns, 3);
  EXPECT_EQ(s.sizeIndex, 3);
  ExpectBoxes(s, "160", "120", true);
}

TEST_F(SizePresetsTest, SaveNewThenOverwrite) {
  PresetOutcome out = SizeSaveClick(file_, State(2, "my", "300", "200"));
  Names expected = kBuiltIns;
  expected.push_back("my");
  EXPECT_EQ(out.names, expected);
  EXPECT_EQ(out.selectedIndex, 2);
  EXPECT_FALSE(out.selection.has_value());
  EXPECT_FALSE(out.beep);
  EXPECT_EQ(ReadBytes(file_), fresh_ + "[my]\r\nReserve=0\r\nWidth=300\r\nHeight=200\r\n");

  out = SizeSaveClick(file_, State(7, "my", "320", "240"));
  EXPECT_EQ(out.names, expected);  // no second entry
  EXPECT_EQ(ReadBytes(file_), fresh_ + "[my]\r\nReserve=0\r\nWidth=320\r\nHeight=240\r\n");
  ExpectBoxes(CbSizeClick(file_, out.names, 7), "320", "240", true);
}

TEST_F(SizePresetsTest, SavingOverABuiltInBeepsAndRestoresTheBoxes) {
  const PresetOutcome out = SizeSaveClick(file_, State(1, "100x75", "500", "500"));
  EXPECT_TRUE(out.beep);
  ExpectBoxes(out.selection, "100", "75", true);
  EXPECT_EQ(ReadBytes(file_), fresh_);
}

TEST_F(SizePresetsTest, SavingWithoutANameShowsAMessage) {
  for (const char* name : {"", "  "}) {
    const PresetOutcome out = SizeSaveClick(file_, State(1, name, "500", "500"));
    ASSERT_TRUE(out.message.has_value());
    EXPECT_EQ(out.message->text, "名称がありません。");
    EXPECT_EQ(out.message->title, "エラーメッセージ");
    EXPECT_EQ(out.names, kBuiltIns);
  }
  const PresetOutcome bad = SizeSaveClick(file_, State(1, "a]b", "500", "500"));  // cannot be a section name
  EXPECT_TRUE(bad.beep);
  EXPECT_EQ(ReadBytes(file_), fresh_);
}

TEST_F(SizePresetsTest, DeletingTheSelectedUserPresetSelectsTheOneAbove) {
  SizeSaveClick(file_, State(0, "my", "300", "200"));
  const PresetOutcome out = SizeDeleteClick(file_, State(7, "my"));
  EXPECT_EQ(out.names, kBuiltIns);
  EXPECT_EQ(out.selectedIndex, 6);
  ExpectBoxes(out.selection, "280", "210", true);
  EXPECT_EQ(out.selection->sizeIndex, 6);
  EXPECT_EQ(ReadBytes(file_), fresh_);
}

TEST_F(SizePresetsTest, DeletingABuiltInOrAnUnknownNameBeeps) {
  for (const char* name : {"100x75", "nothing", ""}) {
    const PresetOutcome out = SizeDeleteClick(file_, State(1, name));
    EXPECT_TRUE(out.beep) << name;
    EXPECT_EQ(out.names, kBuiltIns);
    ExpectBoxes(out.selection, "100", "75", true);  // CbSize_Click runs in every case
  }
  EXPECT_EQ(ReadBytes(file_), fresh_);
}

TEST_F(SizePresetsTest, DeletingTheLastEntryShowsAMessage) {
  WriteBytes(file_, "[only]\r\nReserve=0\r\nWidth=50\r\nHeight=40\r\n");
  const PresetOutcome out = SizeDeleteClick(file_, State(0, "only"));
  ASSERT_TRUE(out.message.has_value());
  EXPECT_EQ(out.message->text, "これ以上、削除できません。");
  EXPECT_EQ(out.message->title, "エラーメッセージ");
  EXPECT_EQ(out.names, Names{"only"});
  ExpectBoxes(out.selection, "50", "40", true);
}

// Open case: two entries left. The entry the file lost leaves the list; the selection stays on
// its entry, or moves to the one above (entry 0 when the first was removed).
TEST_F(SizePresetsTest, DeletingWithTwoEntriesLeft) {
  const std::string two =
      "[a]\r\nReserve=0\r\nWidth=50\r\nHeight=40\r\n[b]\r\nReserve=0\r\nWidth=60\r\nHeight=30\r\n";
  struct Case {
    int selected;
    const char* edit;
    Names names;
    int selectedAfter;
    const char* width;
  } cases[] = {
      {1, "b", {"a"}, 0, "50"},  // the selected last entry
      {0, "a", {"b"}, 0, "60"},  // entry 0 itself
      {0, "b", {"a"}, 0, "50"},  // edit text names the other entry
      {1, "A", {"b"}, 0, "60"},  // names match without regard to case
  };
  for (const Case& c : cases) {
    WriteBytes(file_, two);
    const PresetOutcome out = SizeDeleteClick(file_, State(c.selected, c.edit));
    EXPECT_EQ(out.names, c.names) << c.edit;
    EXPECT_EQ(out.selectedIndex, c.selectedAfter) << c.edit;
    ASSERT_TRUE(out.selection.has_value());
    EXPECT_EQ(out.selection->widthText, c.width) << c.edit;
    EXPECT_EQ(LoadSizes(file_), c.names);
  }
}

TEST_F(SizePresetsTest, DeletingAnEntryAboveTheSelectionKeepsTheSelectedEntry) {
  SizeSaveClick(file_, State(0, "x", "300", "200"));
  SizeSaveClick(file_, State(0, "y", "400", "300"));
  const PresetOutcome out = SizeDeleteClick(file_, State(8, "x"));
  Names expected = kBuiltIns;
  expected.push_back("y");
  EXPECT_EQ(out.names, expected);
  EXPECT_EQ(out.selectedIndex, 7);
  ExpectBoxes(out.selection, "400", "300", true);
}

// Open case: a preset without numeric Width or Height beeps and acts as the source-size preset.
TEST_F(SizePresetsTest, PresetWithoutNumericSize) {
  WriteBytes(file_,
             "[noW]\r\nHeight=10\r\n[text]\r\nWidth=abc\r\nHeight=10\r\n[huge]\r\nWidth=99999\r\nHeight=5\r\n"
             "[blank]\r\nWidth= 120 \r\nHeight= 90\r\n[half]\r\nWidth=300\r\nHeight=0\r\n");
  const Names names = LoadSizes(file_);
  for (int i = 0; i < 3; ++i) {
    const SizeSelection s = CbSizeClick(file_, names, i);
    EXPECT_TRUE(s.beep) << names[i];
    EXPECT_EQ(s.sizeIndex, i);
    ExpectBoxes(s, "0", "0", false);
  }
  ExpectBoxes(CbSizeClick(file_, names, 3), "120", "90", true);
  ExpectBoxes(CbSizeClick(file_, names, 4), "300", "0", false);  // stored values, boxes disabled
  const SizeSelection none = CbSizeClick(file_, names, 9);
  EXPECT_TRUE(none.beep);
  ExpectBoxes(none, "0", "0", false);
}

// Open case: a size.ini without any section gets the built-in presets.
TEST_F(SizePresetsTest, FileWithoutSectionsGetsTheBuiltIns) {
  const std::string comments = ";\x83\x7e\x83\x8c\x83\x8d\r\n;just comments\r\n\r\n";
  WriteBytes(file_, comments);
  EXPECT_EQ(LoadSizes(file_), kBuiltIns);
  EXPECT_EQ(ReadBytes(file_), comments + fresh_.substr(fresh_.find('[')));
  WriteBytes(file_, "");
  EXPECT_EQ(LoadSizes(file_), kBuiltIns);
  EXPECT_EQ(LoadSizes(dir_ / "missing.ini"), Names{});
}

TEST_F(SizePresetsTest, SectionLinesAreTakenByPosition) {
  // CP932 bytes; the name "テスト‐" ends in 0x81 0x5D, whose trail byte is "]".
  WriteBytes(file_,
             "[abc\r\n [indented]\r\n[\x83\x65\x83\x58\x83\x67\x81\x5d]\r\n[dup]\r\n[dup]\r\n[\r\n[x]y\r\n");
  EXPECT_EQ(LoadSizes(file_), (Names{"ab", "テスト‐", "dup", "dup", "", "x]"}));
}

struct BoxCase {
  const char* text;
  const char* result;
  bool beep;
};

TEST(SizeBoxLostFocusTest, LimitsTenTo1024) {
  const BoxCase cases[] = {
      {"5000", "1024", true},
      {"3", "10", true},
      {"1024", "1024", true},
      {"1023", "1023", false},
      {"10", "10", false},
      {"9", "10", true},
      {"0", "10", true},
      {"160", "160", false},
      {" 200", "200", false},
      // Open cases (design.md section 8): empty or non-numeric -> 10; beyond 16 bits -> the limit.
      {"", "10", true},
      {"abc", "10", true},
      {"99999", "1024", true},
      {"-99999", "10", true},
  };
  for (const BoxCase& c : cases) {
    const SizeBoxCheck r = SizeBoxLostFocus(c.text);
    EXPECT_EQ(r.text, c.result) << '"' << c.text << '"';
    EXPECT_EQ(r.beep, c.beep) << '"' << c.text << '"';
  }
}

}  // namespace
}  // namespace mirelo::app
