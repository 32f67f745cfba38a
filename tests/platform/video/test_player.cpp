// The preview player against the frame capture: at a position the player shows the frame the
// batch captures there, on every container, with B-frames, long key frame intervals and video
// that starts after the container.

#include <gtest/gtest.h>

#include <fstream>

#include "platform/video/frame_capture.h"
#include "platform/video/media_probe.h"
#include "platform/video/player_harness.h"
#include "platform/video/test_clips.h"
#include "support/temp_dir.h"

namespace mirelo::video {
namespace {

using test::ClipKind;

constexpr double kPositions[] = {0.0, 1.0, 2.0, 3.0, 7.0, 12.0, 14.0, 15.0, 1.5, 7.49, 14.97};

// `kind` tells how the clip is shown (turned, mirrored) so that its frames can be read.
void ExpectPlayerAgreesWithCapture(const std::filesystem::path& clip, const ClipKind& kind = {}) {
  const MediaInfo info = ProbeMedia(clip);
  test::PlayerHarness harness;
  ASSERT_TRUE(harness.Open(clip, 0.0, info)) << clip;
  // Both show the clip in the same shape.
  const imaging::Image first = CaptureFrame(clip, 0.0);
  EXPECT_EQ(harness.player().ShownSize().width, first.width) << clip.filename();
  EXPECT_EQ(harness.player().ShownSize().height, first.height) << clip.filename();
  EXPECT_EQ(info.shownWidth, first.width) << clip.filename();
  EXPECT_EQ(info.shownHeight, first.height) << clip.filename();
  const auto grab = [&] { return test::CounterIndex(harness.Grab(info.shownWidth, info.shownHeight), kind); };
  for (double seconds : kPositions) {
    ASSERT_TRUE(harness.Seek(seconds)) << "seek to " << seconds;
    const int shown = grab();
    const int captured = test::CounterIndex(CaptureFrame(clip, seconds), kind);
    EXPECT_NE(shown, -1) << clip.filename() << " at " << seconds << " s";
    EXPECT_EQ(shown, captured) << clip.filename() << " at " << seconds << " s, time-pos " << harness.player().Position();
  }
  // Opening at a stored scene shows the same frame as seeking there.
  for (double seconds : {3.0, 12.5}) {
    ASSERT_TRUE(harness.Open(clip, seconds, info));
    EXPECT_EQ(grab(), test::CounterIndex(CaptureFrame(clip, seconds), kind))
        << clip.filename() << " opened at " << seconds << " s";
  }
}

class PlayerByContainer : public testing::TestWithParam<ClipKind> {};

TEST_P(PlayerByContainer, ShowsTheFrameTheCaptureTakes) {
  ExpectPlayerAgreesWithCapture(test::CachedCounterClip(GetParam()), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Containers, PlayerByContainer, testing::ValuesIn(test::ContainerClips()),
                         [](const testing::TestParamInfo<ClipKind>& info) {
                           std::string name = info.param.file;
                           for (char& c : name) c = c == '.' ? '_' : c;
                           return name;
                         });

TEST(Player, AgreesOnClipsWhoseFramesMissTheWholeSeconds) {
  test::TempDir dir;
  // 29.97 frames a second: no frame starts at 1 s, 2 s, ...; and a key frame only every 10 s.
  const auto ntsc = test::MakeCounterClip(
      dir.path(), {"ntsc.mpg", "-r 30000/1001 -c:v mpeg2video -q:v 2 -g 300 -bf 2 -f vob -packetsize 256", ""});
  ExpectPlayerAgreesWithCapture(ntsc);
  const auto ntscAvi = test::MakeCounterClip(
      dir.path(), {"ntsc.avi", "-r 30000/1001 -c:v mpeg4 -q:v 2 -g 300 -sc_threshold 1000000000", ""});
  ExpectPlayerAgreesWithCapture(ntscAvi);
  // ASF whose video starts half a second after the container.
  const auto late = test::MakeCounterClip(
      dir.path(), {"late.asf", "-c:v wmv2 -q:v 2 -g 250 -output_ts_offset 0.5", "-c:a wmav2 -b:a 64k"});
  ExpectPlayerAgreesWithCapture(late);
}

TEST(Player, FrameStepsMoveOneFrame) {
  const auto clip = test::CachedCounterClip(test::ContainerClips()[3]);  // H.264 with B-frames
  const MediaInfo info = ProbeMedia(clip);
  test::PlayerHarness harness;
  ASSERT_TRUE(harness.Open(clip, 5.0, info));
  auto& player = harness.player();
  const int start = test::CounterIndex(harness.Grab(info.width, info.height));
  for (int step = 1; step <= 3; ++step) {
    ASSERT_TRUE(harness.Seek(player.Position() + info.frameDuration));
    EXPECT_EQ(test::CounterIndex(harness.Grab(info.width, info.height)), start + step);
  }
  ASSERT_TRUE(harness.Seek(player.Position() - info.frameDuration));
  EXPECT_EQ(test::CounterIndex(harness.Grab(info.width, info.height)), start + 2);
}

TEST(Player, NotMediaFailsWithoutHanging) {
  test::TempDir dir;
  const auto text = dir.path() / "notes.avi";
  std::ofstream(text) << "#EXTM3U\nfile:///etc/passwd\n";
  test::PlayerHarness harness;
  EXPECT_FALSE(harness.Open(text, 0.0, {.frameDuration = 0.04}));
  EXPECT_TRUE(harness.player().Failed());
}

TEST(Player, VolumeMapsHundredthsOfDecibelsOntoCubicPercent) {
  struct Row {
    std::int32_t hundredths;
    double percent;
  };
  for (const Row row : {Row{0, 100.0}, Row{-10000, 0.0}, Row{-6000, 10.0}, Row{-1806, 50.0}, Row{500, 100.0}}) {
    EXPECT_NEAR(VolumePercentFromHundredthsDb(row.hundredths), row.percent, 0.05) << row.hundredths;
    if (row.hundredths <= 0) {
      EXPECT_NEAR(HundredthsDbFromVolumePercent(row.percent), row.hundredths, 1);
    }
  }
}

}  // namespace
}  // namespace mirelo::video
