// Probing: the facts the preview player and the capture rely on.

#include <gtest/gtest.h>

#include <fstream>

#include "platform/error.h"
#include "platform/video/media_probe.h"
#include "platform/video/test_clips.h"
#include "platform/video/video_errors.h"
#include "support/temp_dir.h"

namespace mirelo::video {
namespace {

TEST(ProbeMedia, EveryContainerReportsSizeDurationAndRate) {
  for (const auto& kind : test::ContainerClips()) {
    SCOPED_TRACE(kind.file);
    const MediaInfo info = ProbeMedia(test::CachedCounterClip(kind));
    EXPECT_TRUE(info.hasVideo);
    EXPECT_TRUE(info.decoderAvailable);
    EXPECT_EQ(info.width, test::kClipWidth);
    EXPECT_EQ(info.height, test::kClipHeight);
    EXPECT_EQ(info.shownWidth, test::ShownSize(kind).width);
    EXPECT_EQ(info.shownHeight, test::ShownSize(kind).height);
    EXPECT_EQ(info.rotation, kind.rotation);
    EXPECT_EQ(info.mirrored, kind.mirrored);
    EXPECT_NEAR(info.duration, 15.0, 0.3);
    EXPECT_NEAR(info.frameRate, test::kClipFps, 1e-6);
    EXPECT_NEAR(info.frameDuration, 1.0 / test::kClipFps, 1e-9);
    EXPECT_EQ(info.hasAudio, !kind.audioArgs.empty());
  }
}

TEST(ProbeMedia, AudioOnlyClipHasNoVideo) {
  test::TempDir dir;
  const auto clip = dir / "audio.wmv";
  test::RunFfmpeg("-f lavfi -i sine=frequency=440:duration=3 -c:a wmav2 '" + clip.string() + "'");
  const MediaInfo info = ProbeMedia(clip);
  EXPECT_FALSE(info.hasVideo);
  EXPECT_TRUE(info.hasAudio);
  EXPECT_EQ(info.width, 0);
  EXPECT_NEAR(info.duration, 3.0, 0.2);
}

TEST(ProbeMedia, ShownSizeAppliesTheSampleAspectThenTheRotation) {
  test::TempDir dir;
  const auto wide = test::MakeCounterClip(dir.path(), {"wide.avi", "-c:v mpeg4 -q:v 2 -t 1 -vf setsar=4/3", ""});
  const MediaInfo info = ProbeMedia(wide);
  EXPECT_EQ(info.width, test::kClipWidth);
  EXPECT_EQ(info.sampleAspectNum, 4);
  EXPECT_EQ(info.sampleAspectDen, 3);
  EXPECT_EQ(info.shownWidth, 85);  // 64 * 4 / 3, truncated as mpv does
  EXPECT_EQ(info.shownHeight, test::kClipHeight);

  const auto turned = dir / "turned.mov";
  test::RunFfmpeg("-i '" + wide.string() + "' -c:v copy -metadata:s:v rotate=90 '" + turned.string() + "'");
  // ffprobe reports this matrix as 90 degrees counter-clockwise; players turn it by 270 clockwise.
  const MediaInfo turnedInfo = ProbeMedia(turned);
  EXPECT_EQ(turnedInfo.rotation, 270);
  EXPECT_FALSE(turnedInfo.mirrored);
  EXPECT_EQ(turnedInfo.width, test::kClipWidth);
  EXPECT_EQ(turnedInfo.shownWidth, test::kClipHeight);
  EXPECT_EQ(turnedInfo.shownHeight, 85);
}

TEST(ProbeMedia, NotMediaThrowsTheFormatNumber) {
  test::TempDir dir;
  std::ofstream(dir / "notes.mpg") << "just text\n";
  try {
    ProbeMedia(dir / "notes.mpg");
    FAIL() << "no error";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), err::kUnsupportedFormat);
  }
}

}  // namespace
}  // namespace mirelo::video
