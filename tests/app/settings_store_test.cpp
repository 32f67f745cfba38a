// Settings store: first start golden bytes, LoadSettings through a recording sink, the
// save functions.

#include "app/settings_store.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <set>

#include "app/size_presets.h"
#include "app/test_files.h"
#include "app/utilities.h"
#include "platform/error.h"
#include "platform/ini/ini_file.h"
#include "support/temp_dir.h"

namespace mirelo::app {
namespace {

using testing::ReadBytes;
using testing::WriteBytes;
using Effects = std::vector<std::string>;

// Records every control effect as a line; refuses what the real controls refuse.
class RecordingSink : public SettingsSink {
 public:
  int sizeCount = 7;
  std::set<std::string> unloadable;  // frame pictures whose load fails (20009)
  Effects effects;

  void SetWindowTop(std::int16_t top) override { Add("top " + std::to_string(top)); }
  void SetWindowLeft(std::int16_t left) override { Add("left " + std::to_string(left)); }
  void SelectSizePreset(std::int16_t index) override { Select("size", index, sizeCount); }
  void SelectOption(OptionButton button) override {
    static const char* const names[] = {"ThumbWaku1", "ThumbWaku2", "ThumbOut1", "ThumbOut2"};
    Add(std::string("option ") + names[static_cast<int>(button)]);
  }
  void SelectFormat(std::int16_t index) override { Select("format", index, kFormatCount); }
  void HideQuality() override { Add("hide quality"); }
  void SetQualitySlider(std::int16_t quality) override { Select("slider", quality, 101); }
  void SetQualityLabel(const std::string& caption) override { Add("label " + caption); }
  void ShowOutputFolder(const std::string& path) override { Add("folder " + path); }
  void SelectNamingRule(std::int16_t index) override { Select("naming", index, 3); }
  void SetNameText(const std::string& text) override { Add("text " + text); }
  void SetFrameEditFile(const std::string& text) override { Add("edit " + text); }
  void LoadFramePicture(FrameKind kind, const std::string& path) override {
    if (unloadable.count(path)) throw Error(err::kInvalidFileFormat);
    Add(std::string(kind == FrameKind::Still ? "load still " : "load video ") + path);
  }

 private:
  void Add(std::string effect) { effects.push_back(std::move(effect)); }
  // A list index or slider value the control does not have raises 380, as the original's did.
  void Select(const char* what, int value, int count) {
    if (value < 0 || value >= count) throw Error(err::kInvalidPropertyValue);
    Add(std::string(what) + " " + std::to_string(value));
  }
};

// CP932 bytes of the texts of a new file.
constexpr std::string_view kMirelo = "\x3b\x83\x7e\x83\x8c\x83\x8d";  // ";ミレロ"

const std::string kDefaultThumbIni =
    std::string(kMirelo) +
    "\r\n"
    ";\x96\x7b\x91\xcc\x97\x70\r\n"  // ";本体用"
    "\r\n"
    "[Program]\r\nVersion=1.10\r\n"
    "[Location]\r\nTop=4125\r\nLeft=2040\r\n"
    "[Thumbnail]\r\nMode=0\r\nSize=0\r\nFit=1\r\n"
    "[Image]\r\nMode=0\r\nQuality=100\r\n"
    "[Output]\r\nMode=0\r\nPath=\r\n"
    "[FileName]\r\nMode=1\r\nText=_thum\r\nChar=1\r\nJpeg=0\r\n"
    "[Filter]\r\nSharp=0\r\nSharpValue=340\r\nMono=0\r\n"
    "[Proc]\r\nAutoTrim=0\r\nAutoTrimTH=32\r\nAutoContrast=0\r\nDPI=1\r\nDPIValue=72\r\n";

const std::string kDefaultSizeIni = std::string(kMirelo) +
                                    "\r\n"
                                    ";\x83\x54\x83\x43\x83\x59\x97\x70\r\n"  // ";サイズ用"
                                    "\r\n"
                                    "[\x8c\xb3\x89\xe6\x91\x9c\x82\xc6\x93\xaf\x82\xb6]\r\nReserve="
                                    "1\r\nHeight=0\r\nWidth=0\r\n"  // 元画像と同じ
                                    "[100x75]\r\nReserve=1\r\nHeight=75\r\nWidth=100\r\n"
                                    "[120x90]\r\nReserve=1\r\nHeight=90\r\nWidth=120\r\n"
                                    "[160x120]\r\nReserve=1\r\nHeight=120\r\nWidth=160\r\n"
                                    "[200x150]\r\nReserve=1\r\nHeight=150\r\nWidth=200\r\n"
                                    "[240x180]\r\nReserve=1\r\nHeight=180\r\nWidth=240\r\n"
                                    "[280x210]\r\nReserve=1\r\nHeight=210\r\nWidth=280\r\n";

// A first start (size.ini, then thumb.ini) in a child process killed in its write number
// `write`, after `bytes` bytes of it (all of them when fewer). What the child leaves behind.
std::vector<std::pair<std::string, std::string>> FirstStartKilledAt(const std::filesystem::path& dir, int write,
                                                                    std::size_t bytes) {
  const pid_t child = ::fork();
  if (child == 0) {
    ini::SetWriteHookForTesting([write, bytes, writes = 0](int fd, std::string_view text) mutable {
      if (writes++ == write) {
        text = text.substr(0, std::min(bytes, text.size()));
        if (::write(fd, text.data(), text.size()) < 0) _exit(4);
        ::kill(::getpid(), SIGKILL);
      }
      return ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    });
    if (!CreateSizeFile(dir / kSizeFileName)) _exit(5);
    if (!CreateSettingsFile(dir / kSettingsFileName, 4125, 2040)) _exit(6);
    _exit(0);
  }
  int status = 0;
  EXPECT_EQ(::waitpid(child, &status, 0), child);
  std::vector<std::pair<std::string, std::string>> left;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    left.emplace_back(e.path().filename(), ReadBytes(e.path()));
  }
  std::sort(left.begin(), left.end());
  return left;
}

TEST(FirstStartTest, KilledAnywhereLeavesNoFileOrWholeFiles) {
  // Each key used to be a write of its own; the kill points cover those too.
  for (int write = 0; write < 45; ++write) {
    for (const std::size_t bytes : {std::size_t{0}, std::size_t{40}, std::size_t{10000}}) {
      test::TempDir dir;
      for (const auto& [name, content] : FirstStartKilledAt(dir.path(), write, bytes)) {
        SCOPED_TRACE("write " + std::to_string(write) + ", " + std::to_string(bytes) + " bytes: " + name);
        if (name == kSizeFileName) {
          EXPECT_EQ(content, kDefaultSizeIni);
        } else {
          EXPECT_EQ(name, kSettingsFileName);  // nor a temporary file
          EXPECT_EQ(content, kDefaultThumbIni);
        }
      }
    }
  }
}

class SettingsStoreTest : public ::testing::Test {
 protected:
  // A thumb.ini as WriteDefaultSettings leaves it, then the given lines appended or replaced.
  void WriteDefaults() { ASSERT_TRUE(CreateSettingsFile(ini_, 4125, 2040)); }
  void Set(const char* section, const char* key, std::optional<std::string_view> value) {
    WriteIni(value, key, section, ini_);
  }
  Effects Load() {
    LoadSettings(ini_, settings_, sink_);
    return sink_.effects;
  }
  std::string Frame(const char* name) {
    const auto path = dir_ / name;
    WriteBytes(path, "picture");
    return path.string();
  }

  test::TempDir dir_;
  std::filesystem::path ini_ = dir_ / kSettingsFileName;
  ThumbSettings settings_;
  RecordingSink sink_;
};

const Effects kDefaultGroup1 = {"top 4125",         "left 2040",  "size 0",      "option ThumbWaku1",
                                "format 0",         "slider 100", "label  100%", "folder ",
                                "option ThumbOut1", "naming 1",   "text _thum"};

TEST(FirstStartTest, EmptyFolderGetsGoldenSizeIniThenThumbIni) {
  test::TempDir dir;
  const auto sizeIni = dir / kSizeFileName;
  const auto thumbIni = dir / kSettingsFileName;
  ASSERT_TRUE(CreateSizeFile(sizeIni));
  EXPECT_FALSE(std::filesystem::exists(thumbIni));
  ASSERT_TRUE(CreateSettingsFile(thumbIni, 4125, 2040));
  EXPECT_EQ(ReadBytes(sizeIni), kDefaultSizeIni);
  EXPECT_EQ(ReadBytes(thumbIni), kDefaultThumbIni);
  std::vector<std::string> entries;
  for (const auto& e : std::filesystem::directory_iterator(dir.path()))
    entries.push_back(e.path().filename());
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{"size.ini", "thumb.ini"}));  // no temporary left behind
}

TEST_F(SettingsStoreTest, FirstStartLoadsTheDefaults) {
  WriteDefaults();
  Effects expected = kDefaultGroup1;
  expected.insert(expected.end(), {"edit ERROR", "edit ERROR"});
  EXPECT_EQ(Load(), expected);
  EXPECT_EQ(settings_.FrameMode, 0);
  EXPECT_EQ(settings_.SizeIndex, 0);
  EXPECT_EQ(settings_.FitMode, 1);
  EXPECT_EQ(settings_.SharpOn, 0);
  EXPECT_EQ(settings_.SharpValue, 340);
  EXPECT_EQ(settings_.MonoOn, 0);
  EXPECT_EQ(settings_.LowerCaseName, 1);
  EXPECT_EQ(settings_.JpegExt, 0);
  EXPECT_EQ(settings_.AutoTrimOn, 0);
  EXPECT_EQ(settings_.AutoTrimThreshold, 32);
  EXPECT_EQ(settings_.AutoContrastOn, 0);
  EXPECT_EQ(settings_.DpiOn, 1);
  EXPECT_EQ(settings_.DpiValue, 72);
  EXPECT_EQ(settings_.FormatIndex, 0);
  EXPECT_EQ(settings_.Quality, 100);
  EXPECT_EQ(settings_.OutputMode, 0);
  EXPECT_EQ(settings_.OutputPath, "");
  EXPECT_EQ(settings_.NameMode, 1);
  EXPECT_EQ(settings_.NameText, "_thum");
  EXPECT_EQ(settings_.StillFrameTop, -1);
  EXPECT_EQ(settings_.StillFrameFile, std::nullopt);
  EXPECT_EQ(settings_.VideoFrameFile, std::nullopt);
}

TEST_F(SettingsStoreTest, SizeIndexBeyondTheListEndsGroupOne) {
  WriteDefaults();
  Set("Thumbnail", "Mode", "1");
  Set("Thumbnail", "Size", "9");
  const std::string still = Frame("s.png");
  Set("StillFrame", "File", still);
  Set("StillFrame", "Top", "1");
  Set("StillFrame", "Left", "2");
  Set("StillFrame", "Width", "3");
  Set("StillFrame", "Height", "4");
  EXPECT_EQ(Load(), (Effects{"top 4125", "left 2040", "edit " + still, "load still " + still, "edit ERROR"}));
  EXPECT_EQ(settings_.FrameMode, 1);
  EXPECT_EQ(settings_.SizeIndex, 9);
  EXPECT_EQ(settings_.FormatIndex, 0);  // not reached: before-loading values
  EXPECT_EQ(settings_.Quality, 0);
  EXPECT_EQ(settings_.NameText, std::nullopt);
  EXPECT_EQ(settings_.FitMode, 0);
  EXPECT_EQ(settings_.StillFrame().Height, 4);
}

TEST_F(SettingsStoreTest, WindowPositionAbove32767SkipsGroupOne) {
  WriteDefaults();
  Set("Location", "Top", "40000");
  EXPECT_EQ(Load(), (Effects{"edit ERROR", "edit ERROR"}));
  EXPECT_EQ(settings_.FitMode, 0);
}

TEST_F(SettingsStoreTest, LeftFailingAfterTopKeepsTheTop) {
  WriteDefaults();
  Set("Location", "Left", "x");
  EXPECT_EQ(Load(), (Effects{"top 4125", "edit ERROR", "edit ERROR"}));
}

TEST_F(SettingsStoreTest, MissingPathForcesOutputModeZero) {
  WriteDefaults();
  Set("Output", "Mode", "1");
  Set("Output", "Path", std::nullopt);
  Effects expected = kDefaultGroup1;
  expected.erase(std::find(expected.begin(), expected.end(), "folder "));
  expected.insert(expected.end(), {"edit ERROR", "edit ERROR"});
  EXPECT_EQ(Load(), expected);
  EXPECT_EQ(settings_.OutputMode, 0);
  EXPECT_EQ(settings_.OutputPath, std::nullopt);
}

TEST_F(SettingsStoreTest, OutputModeOneWithEmptyPathSelectsFolderOption) {
  WriteDefaults();
  Set("Output", "Mode", "1");
  Load();
  const Effects& e = sink_.effects;
  const auto folder = std::find(e.begin(), e.end(), "folder ");
  ASSERT_NE(folder, e.end());
  EXPECT_EQ(*(folder + 1), "option ThumbOut2");
  EXPECT_EQ(settings_.OutputMode, 1);
}

TEST_F(SettingsStoreTest, MissingTextGivesError) {
  WriteDefaults();
  Set("FileName", "Text", std::nullopt);
  Load();
  EXPECT_EQ(settings_.NameText, "ERROR");
  EXPECT_NE(std::find(sink_.effects.begin(), sink_.effects.end(), "text ERROR"), sink_.effects.end());
  EXPECT_EQ(settings_.DpiValue, 72);  // the group goes on: a text is never a failure
}

TEST_F(SettingsStoreTest, NumbersWithLeadingBlankLoadTheSame) {
  WriteDefaults();
  Set("Image", "Mode", "1");
  Set("Image", "Quality", "85");
  Set("Filter", "SharpValue", "-200");
  RecordingSink plainSink;
  ThumbSettings plain;
  LoadSettings(ini_, plain, plainSink);

  // Written back in sign-reserving form by the two save commands.
  SaveMainSettings(ini_, plain, 4125, 2040);
  SaveOptionSettings(ini_, plain);
  const std::string bytes = ReadBytes(ini_);
  EXPECT_NE(bytes.find("Quality= 85\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("SharpValue=-200\r\n"), std::string::npos);
  const Effects effects = Load();
  EXPECT_EQ(effects, plainSink.effects);
  EXPECT_EQ(settings_.Quality, 85);
  EXPECT_EQ(settings_.SharpValue, -200);
  EXPECT_EQ(settings_.FormatIndex, 1);
  EXPECT_EQ(settings_.DpiValue, plain.DpiValue);
}

TEST_F(SettingsStoreTest, FormatBeyondJpegHidesQualityAndOtherFrameModeSelectsNeither) {
  WriteDefaults();
  Set("Image", "Mode", "3");
  Set("Thumbnail", "Mode", "2");
  Load();
  const Effects expected = {"top 4125",     "left 2040",  "size 0",           "format 3",
                            "hide quality", "folder ",    "option ThumbOut1", "naming 1",
                            "text _thum",   "edit ERROR", "edit ERROR"};
  EXPECT_EQ(sink_.effects, expected);

  // WebP, the last entry, takes the quality and ends nothing.
  sink_.effects.clear();
  Set("Image", "Mode", "7");
  Load();
  EXPECT_EQ(sink_.effects, (Effects{"top 4125", "left 2040", "size 0", "format 7", "slider 100", "label  100%",
                                    "folder ", "option ThumbOut1", "naming 1", "text _thum", "edit ERROR",
                                    "edit ERROR"}));
  // One past it is refused as the list box would refuse it.
  sink_.effects.clear();
  Set("Image", "Mode", "8");
  Load();
  EXPECT_EQ(sink_.effects.back(), "edit ERROR");
  EXPECT_EQ(std::count(sink_.effects.begin(), sink_.effects.end(), "naming 1"), 0);
}

TEST_F(SettingsStoreTest, QualityTheSliderRefusesEndsGroupOne) {
  WriteDefaults();
  Set("Image", "Quality", "150");
  Load();
  EXPECT_EQ(sink_.effects, (Effects{"top 4125", "left 2040", "size 0", "option ThumbWaku1", "format 0",
                                    "edit ERROR", "edit ERROR"}));
  EXPECT_EQ(settings_.Quality, 150);
  EXPECT_EQ(settings_.OutputMode, 0);
}

TEST_F(SettingsStoreTest, FrameFileThatVanishedClearsTheFrame) {
  WriteDefaults();
  const std::string gone = (dir_ / "gone.png").string();
  const std::string video = Frame("v.png");
  for (const auto& [section, file] : {std::pair{"StillFrame", gone}, std::pair{"VideoFrame", video}}) {
    Set(section, "File", file);
    Set(section, "Top", " 10");
    Set(section, "Left", " 11");
    Set(section, "Width", " 12");
    Set(section, "Height", " 13");
  }
  settings_.StillFrameTop = 5;  // whatever the record held is cleared
  Effects expected = kDefaultGroup1;
  expected.insert(expected.end(), {"edit " + gone, "edit " + video, "load video " + video});
  EXPECT_EQ(Load(), expected);
  EXPECT_EQ(settings_.StillFrameFile, std::nullopt);
  EXPECT_EQ(settings_.StillFrameTop, -1);
  EXPECT_EQ(settings_.StillFrameHeight, -1);
  EXPECT_EQ(settings_.VideoFrameFile, video);
  EXPECT_EQ(settings_.VideoFrame().Top, 10);
  EXPECT_EQ(settings_.VideoFrame().Left, 11);
  EXPECT_EQ(settings_.VideoFrame().Width, 12);
  EXPECT_EQ(settings_.VideoFrame().Height, 13);

  // The next frame save leaves the vanished frame's keys as they are in the file.
  const std::string before = ReadBytes(ini_);
  SaveFrameSettings(ini_, settings_);
  EXPECT_EQ(ReadBytes(ini_), before);
}

TEST_F(SettingsStoreTest, FrameFileThatCannotBeLoadedKeepsNameAndClearsNumbers) {
  WriteDefaults();
  const std::string broken = Frame("broken.png");
  const std::string folder = (dir_.path()).string();  // a folder is not an ordinary file
  Set("StillFrame", "File", broken);
  Set("StillFrame", "Top", "1");
  Set("VideoFrame", "File", folder);
  sink_.unloadable.insert(broken);
  Effects expected = kDefaultGroup1;
  expected.insert(expected.end(), {"edit " + broken, "edit " + folder});
  EXPECT_EQ(Load(), expected);
  EXPECT_EQ(settings_.StillFrameFile, broken);
  EXPECT_EQ(settings_.StillFrameTop, -1);
  EXPECT_EQ(settings_.VideoFrameFile, std::nullopt);
}

TEST_F(SettingsStoreTest, FrameNumberThatFailsKeepsTheEarlierOnes) {
  WriteDefaults();
  const std::string still = Frame("s.png");
  Set("StillFrame", "File", still);
  Set("StillFrame", "Top", "7");
  Set("StillFrame", "Left", "x");
  Set("StillFrame", "Width", "9");
  Load();
  EXPECT_EQ(settings_.StillFrameTop, 7);
  EXPECT_EQ(settings_.StillFrameLeft, -1);
  EXPECT_EQ(settings_.StillFrameWidth, -1);
  EXPECT_EQ(sink_.effects.back(), "edit ERROR");  // the video group still ran
}

TEST_F(SettingsStoreTest, MissingFileLoadsNothing) {
  EXPECT_EQ(Load(), (Effects{"edit ERROR", "edit ERROR"}));
  EXPECT_FALSE(std::filesystem::exists(ini_));
}

TEST_F(SettingsStoreTest, SaveMainSettingsWritesSignReservingForms) {
  WriteDefaults();
  ThumbSettings s;
  s.FrameMode = 0;
  s.SizeIndex = 3;
  s.FormatIndex = 2;
  s.Quality = 85;
  s.OutputMode = 1;
  s.OutputPath = "/home/u/写真";
  s.NameMode = 2;
  s.NameText = "_小";
  s.StillFrameTop = 4;  // FrameMode 0: frames are not written
  SaveMainSettings(ini_, s, 300, -15);
  std::string expected = kDefaultThumbIni;
  auto replace = [&](std::string_view from, std::string_view to) {
    const auto at = expected.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    expected.replace(at, from.size(), to);
  };
  replace("Top=4125\r\nLeft=2040", "Top=300\r\nLeft=-15");
  replace("Mode=0\r\nSize=0", "Mode= 0\r\nSize= 3");
  replace("Mode=0\r\nQuality=100", "Mode= 2\r\nQuality= 85");
  replace("[Output]\r\nMode=0\r\nPath=", "[Output]\r\nMode= 1\r\nPath=/home/u/\x8e\xca\x90\x5e");
  replace("Mode=1\r\nText=_thum", "Mode= 2\r\nText=_\x8f\xac");
  EXPECT_EQ(ReadBytes(ini_), expected);

  s.OutputPath.reset();  // an unset text removes its key
  s.NameText = "";
  SaveMainSettings(ini_, s, 300, -15);
  const std::string bytes = ReadBytes(ini_);
  EXPECT_NE(bytes.find("[Output]\r\nMode= 1\r\n[FileName]"), std::string::npos);
  EXPECT_NE(bytes.find("Text=\r\n"), std::string::npos);
}

TEST_F(SettingsStoreTest, FrameSaveAppendsSectionsInKeyOrder) {
  WriteDefaults();
  ThumbSettings s;
  s.FrameMode = 1;
  s.SetFrame(FrameKind::Still, FrameTemplate{34, 12, 160, 120, "/w/frame.png"});
  SaveMainSettings(ini_, s, 4125, 2040);
  const std::string bytes = ReadBytes(ini_);
  const std::string expectedTail =
      "[StillFrame]\r\nFile=/w/frame.png\r\nTop= 34\r\nLeft= 12\r\nWidth= 160\r\nHeight= 120\r\n";
  ASSERT_GE(bytes.size(), expectedTail.size());
  EXPECT_EQ(bytes.substr(bytes.size() - expectedTail.size()), expectedTail);
  EXPECT_EQ(bytes.find("[VideoFrame]"), std::string::npos);
  EXPECT_NE(bytes.find("[Thumbnail]\r\nMode= 1\r\nSize= 0\r\nFit=1\r\n"), std::string::npos);

  s.SetFrame(FrameKind::Video, FrameTemplate{-5, 0, 1, 2, "/w/v.png"});
  SaveFrameSettings(ini_, s);
  EXPECT_NE(
      ReadBytes(ini_).find("[VideoFrame]\r\nFile=/w/v.png\r\nTop=-5\r\nLeft= 0\r\nWidth= 1\r\nHeight= 2\r\n"),
      std::string::npos);
}

TEST_F(SettingsStoreTest, OptionSaveWritesTenKeys) {
  WriteDefaults();
  ThumbSettings s;
  s.FitMode = 2;
  s.SharpOn = 1;
  s.SharpValue = -200;
  s.MonoOn = 1;
  s.LowerCaseName = 0;
  s.JpegExt = 1;
  s.AutoTrimOn = 1;
  s.AutoTrimThreshold = 40;
  s.AutoContrastOn = 1;
  s.DpiOn = 0;  // DPI is never written after creation
  s.DpiValue = 300;
  s.FolderDrop = 1;
  s.SkipDone = 1;
  s.AutoScene = 1;
  SaveOptionSettings(ini_, s);
  const std::string bytes = ReadBytes(ini_);
  for (const char* line :
       {"Fit= 2\r\n", "[Filter]\r\nSharp= 1\r\nSharpValue=-200\r\nMono= 1\r\n", "Char= 0\r\nJpeg= 1\r\n",
        "[Proc]\r\nAutoTrim= 1\r\nAutoTrimTH= 40\r\nAutoContrast= 1\r\nDPI=1\r\nDPIValue= 300\r\n"}) {
    EXPECT_NE(bytes.find(line), std::string::npos) << line;
  }
  // The section of our own comes last, after the original's keys.
  const std::string batch = "[Batch]\r\nFolderDrop= 1\r\nKeepTree= 0\r\nSkipDone= 1\r\nKeepGoing= 0\r\nAutoScene= 1\r\n";
  EXPECT_EQ(bytes.substr(bytes.size() - batch.size()), batch);
}

// [Batch] keys read each on its own: missing or unreadable is 0, and a failing original group
// does not keep them from loading.
TEST_F(SettingsStoreTest, BatchKeysReadOnTheirOwn) {
  WriteDefaults();
  Load();
  for (auto field : {&ThumbSettings::FolderDrop, &ThumbSettings::KeepTree, &ThumbSettings::SkipDone,
                     &ThumbSettings::KeepGoing, &ThumbSettings::AutoScene}) {
    EXPECT_EQ(settings_.*field, 0);
  }
  Set("Location", "Top", "99999");  // group 1 fails at its first key
  Set("Batch", "FolderDrop", " 1");
  Set("Batch", "KeepTree", "yes");
  Set("batch", "skipdone", "1");
  Set("Batch", "KeepGoing", "1");
  settings_ = ThumbSettings{};
  settings_.KeepTree = 1;  // an unreadable key does not keep an earlier value
  settings_.AutoScene = 1;
  Load();
  EXPECT_EQ(settings_.FolderDrop, 1);
  EXPECT_EQ(settings_.KeepTree, 0);
  EXPECT_EQ(settings_.SkipDone, 1);
  EXPECT_EQ(settings_.KeepGoing, 1);
  EXPECT_EQ(settings_.AutoScene, 0);
  EXPECT_EQ(settings_.FitMode, 0);  // group 1 was abandoned
}

TEST_F(SettingsStoreTest, ExitPositionReplacesTheLocationEntries) {
  WriteDefaults();
  SaveWindowPosition(ini_, 1500, 1000);
  std::string expected = kDefaultThumbIni;
  const std::string from = "Top=4125\r\nLeft=2040";
  expected.replace(expected.find(from), from.size(), "Top=1000\r\nLeft=1500");
  EXPECT_EQ(ReadBytes(ini_), expected);
  Load();
  EXPECT_EQ(sink_.effects.front(), "top 1000");
}

}  // namespace
}  // namespace mirelo::app
