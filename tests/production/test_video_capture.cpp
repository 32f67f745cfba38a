// CaptureVideoFrame: the scene position, the frame handed over as the working image, and the
// results and log lines of every kind of failure.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "platform/error.h"
#include "platform/video/test_clips.h"
#include "production/video_capture.h"
#include "support/temp_dir.h"

namespace mirelo::production {
namespace {

TEST(ScenePosition, WholeSecondsNearestHalvesToEven) {
  const struct {
    const char* text;
    std::int32_t seconds;
  } rows[] = {
      {"", 0},       {" 0", 0},         {" 12.4", 12},   {" 12.5", 12},         {"13.5", 14},
      {"12.6", 13},  {" 0.5", 0},       {"1.5", 2},      {"-0.5", 0},           {"-1.5", -2},
      {"\t7 ", 7},   {"+3", 3},         {"1e2", 100},    {" 2147483647", 2147483647},
      {"2147483647.4", 2147483647},     {" 3600.49999", 3600},
  };
  for (const auto& row : rows) EXPECT_EQ(ScenePosition(row.text), row.seconds) << '"' << row.text << '"';
}

TEST(ScenePosition, TextThatIsNoNumberOrTooLarge) {
  const struct {
    const char* text;
    std::int32_t number;
  } rows[] = {
      {" ", 13},   {"abc", 13}, {"12,5", 13}, {"1 2", 13},        {"nan", 13},
      {"0x10", 13}, {"inf", 6}, {"1e400", 6}, {"2147483648", 6}, {"-2147483649", 6},
  };
  for (const auto& row : rows) {
    try {
      ScenePosition(row.text);
      ADD_FAILURE() << '"' << row.text << "\" was accepted";
    } catch (const Error& error) {
      EXPECT_EQ(error.number(), row.number) << '"' << row.text << '"';
    }
  }
}

// Every supported container at the first frame (no scene chosen) and at later scenes, where the
// stored text is rounded to whole seconds before the capture.
TEST(CaptureVideoFrame, CapturesTheFrameAtTheRoundedScene) {
  const char* scenes[] = {"", " 12.5", " 12.4", "13.5", " 14.9"};
  for (const auto& kind : test::ContainerClips()) {
    const auto clip = test::CachedCounterClip(kind);
    const double lead = test::VideoLead(clip);
    for (const char* scene : scenes) {
      SCOPED_TRACE(kind.file + " at \"" + scene + "\"");
      imaging::ImagingControl working;
      const VideoCaptureResult result = CaptureVideoFrame(clip.string(), scene, working);
      ASSERT_TRUE(result.ok);
      EXPECT_FALSE(result.deselect);
      EXPECT_EQ(result.number, 0);
      EXPECT_TRUE(result.logLines.empty());
      // Shown as players show it: turned upright, pixels made square.
      const imaging::Size shown = test::ShownSize(kind);
      EXPECT_EQ(result.videoSize, shown);
      EXPECT_EQ(working.Width(), shown.width);
      EXPECT_EQ(working.Height(), shown.height);
      EXPECT_EQ(test::CounterIndex(working.GetImage(), kind), test::ExpectedIndex(ScenePosition(scene), lead));
    }
  }
}

TEST(CaptureVideoFrame, WorkingImageTakesTheShownSize) {
  test::TempDir dir;
  const auto clip = test::MakeCounterClip(dir.path(), {"size.wmv", "-c:v wmv2 -q:v 2 -t 2", ""}, 320, 240);
  imaging::ImagingControl working;
  working.PutImage(imaging::Image::blank(10, 10));
  const VideoCaptureResult result = CaptureVideoFrame(clip.string(), " 1", working);
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.videoSize, (imaging::Size{320, 240}));
  EXPECT_EQ(working.GetImage().width, 320);
  EXPECT_EQ(working.GetImage().height, 240);
  EXPECT_EQ(working.GetImage().format, imaging::PixelFormat::Rgb24);
  EXPECT_EQ(test::CounterIndex(working.GetImage()), test::kClipFps);
}

// The option takes an entry without a scene at its first frame that shows something, exactly
// (not rounded to a whole second); a chosen scene, and the option off, are as before.
TEST(CaptureVideoFrame, AutoSceneOnlyForEntriesWithoutAScene) {
  test::TempDir dir;
  const auto clip = dir / "leader.mp4";
  test::RunFfmpeg("-f lavfi -i 'color=black:s=96x72:r=25:d=2.2[a];testsrc2=s=96x72:r=25:d=28[b];[a][b]concat=n=2:v=1:a=0' "
                  "-c:v libx264 -g 50 -pix_fmt yuv420p '" + clip.string() + "'");
  const struct {
    const char* scene;
    bool autoScene;
    double position;
  } rows[] = {{"", true, 2.2}, {"", false, 0.0}, {" 1", true, 1.0}, {" 0", true, 0.0}};
  for (const auto& row : rows) {
    imaging::ImagingControl working;
    const VideoCaptureResult result = CaptureVideoFrame(clip.string(), row.scene, working, {.autoScene = row.autoScene});
    ASSERT_TRUE(result.ok);
    EXPECT_NEAR(result.position, row.position, 1e-9) << '"' << row.scene << "\" auto " << row.autoScene;
  }
}

TEST(CaptureVideoFrame, ClipCutShortStillGivesAFrame) {
  test::TempDir dir;
  const auto& kinds = test::ContainerClips();
  const auto wmv = std::find_if(kinds.begin(), kinds.end(), [](const auto& kind) { return kind.file == "wmv2.wmv"; });
  ASSERT_NE(wmv, kinds.end());
  const auto source = test::CachedCounterClip(*wmv);
  const auto cut = dir / "cut.wmv";
  test::CopyPrefix(source, cut, std::filesystem::file_size(source) / 3);
  imaging::ImagingControl working;
  const VideoCaptureResult result = CaptureVideoFrame(cut.string(), " 12", working);
  ASSERT_TRUE(result.ok);
  const int index = test::CounterIndex(working.GetImage());
  EXPECT_GT(index, 0);
  EXPECT_LT(index, 12 * test::kClipFps);
}

// Failures: the result, the number and the exact log messages; the working image is untouched.
TEST(CaptureVideoFrame, FailuresAreLoggedAndDeselect) {
  test::TempDir dir;
  std::ofstream(dir / "text.avi") << "Not a clip at all.\n";
  test::RunFfmpeg("-f lavfi -i sine=frequency=440:duration=2 -c:a wmav2 '" + (dir / "sound.wmv").string() + "'");
  test::RunFfmpeg("-f lavfi -i sine=frequency=440:duration=2 -c:a mp2 '" + (dir / "sound.avi").string() + "'");
  const auto source = test::CachedCounterClip(test::ContainerClips().front());
  test::CopyPrefix(source, dir / "header.avi", 200);
  const auto clip = test::CachedCounterClip(test::ContainerClips().front()).string();

  const std::string codecText =
      "→ERROR:正しいビデオフォーマットでないか、再生に必要なコーデックがインストールされていません。(";
  const struct {
    std::string path;
    const char* scene;
    std::int32_t number;
    std::vector<std::string> lines;
  } rows[] = {
      {(dir / "sound.wmv").string(), "", 0, {(dir / "sound.wmv").string(), "→ERROR: 0"}},
      {(dir / "sound.avi").string(), " 1", 0, {(dir / "sound.avi").string(), "→ERROR: 0"}},
      {(dir / "text.avi").string(), "", -2147220891, {(dir / "text.avi").string() + "\r\n" + codecText + "-2147220891)"}},
      {(dir / "header.avi").string(), "", -2147220891,
       {(dir / "header.avi").string() + "\r\n" + codecText + "-2147220891)"}},
      {(dir / "gone.flv").string(), "", -2147024894, {(dir / "gone.flv").string(), "→ERROR:-2147024894"}},
      {clip, "twelve", 13, {clip, "→ERROR: 13"}},
      {clip, "9e9", 6, {clip, "→ERROR: 6"}},
      // The clip is opened before the scene text is read.
      {(dir / "text.avi").string(), "twelve", -2147220891,
       {(dir / "text.avi").string() + "\r\n" + codecText + "-2147220891)"}},
      {(dir / "gone.flv").string(), "twelve", -2147024894, {(dir / "gone.flv").string(), "→ERROR:-2147024894"}},
      {(dir / "sound.wmv").string(), "twelve", 13, {(dir / "sound.wmv").string(), "→ERROR: 13"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path);
    imaging::ImagingControl working;
    working.PutImage(imaging::Image::blank(3, 2));
    const VideoCaptureResult result = CaptureVideoFrame(row.path, row.scene, working);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.deselect);
    EXPECT_EQ(result.number, row.number);
    EXPECT_EQ(result.logLines, row.lines);
    EXPECT_EQ(working.Width(), 3);
    EXPECT_EQ(working.Height(), 2);
  }
}

}  // namespace
}  // namespace mirelo::production
