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

// Three steps forward and two back show frames n+1, n+2, n+3, n+2, n+1 wherever the player stands
// (opened, at a stored scene, after the slider, after play and pause, after stop), quick presses
// each count, and the ends hold. The position read back captures the frame shown: it is what
// the scene button stores.
TEST_P(PlayerByContainer, FrameStepsWalkFromTheFrameOnScreen) {
  const ClipKind& kind = GetParam();
  const auto clip = test::CachedCounterClip(kind);
  const MediaInfo info = ProbeMedia(clip);
  test::PlayerHarness harness;
  auto& player = harness.player();
  const auto shown = [&] { return test::CounterIndex(harness.Grab(info.shownWidth, info.shownHeight), kind); };
  const auto walk = [&](const std::string& from) {
    const int n = shown();
    ASSERT_GE(n, 0) << from;
    int expected = n;
    for (const int step : {1, 1, 1, -1, -1}) {
      ASSERT_TRUE(harness.Step(step)) << from;
      expected += step;
      const int frame = shown();
      EXPECT_EQ(frame, expected) << from;
      EXPECT_EQ(test::CounterIndex(CaptureFrame(clip, player.Position()), kind), frame)
          << from << ", position " << player.Position();
    }
  };
  ASSERT_TRUE(harness.Open(clip, 0.0, info));
  walk("opened at 0");
  ASSERT_TRUE(harness.Open(clip, 2.7, info));
  walk("opened at 2.7 s");
  ASSERT_TRUE(harness.Seek(7.0));
  walk("after the slider");
  harness.PlayFor(std::chrono::milliseconds(400));
  walk("after play and pause");
  ASSERT_TRUE(harness.Seek(0.0));
  walk("after stop");

  // Quick presses: three steps asked for before the first is shown.
  const int before = shown();
  player.Step(1);
  player.Step(1);
  ASSERT_TRUE(harness.Step(1));
  EXPECT_EQ(shown(), before + 3) << "three quick presses";

  // The ends: back from the first frame stays at 0; forward from the last stays at the duration.
  ASSERT_TRUE(harness.Seek(0.0));
  ASSERT_TRUE(harness.Step(-1));
  EXPECT_EQ(shown(), 0);
  EXPECT_EQ(player.Position(), 0.0);
  ASSERT_TRUE(harness.Seek(info.duration));
  // libmpv notes the end a little after the frame is shown; a user's next press comes later.
  harness.WaitFor([] { return false; }, std::chrono::milliseconds(300));
  const int last = shown();
  ASSERT_TRUE(harness.Step(1));
  EXPECT_EQ(shown(), last);
  EXPECT_GE(player.Position(), info.duration);
  EXPECT_EQ(test::CounterIndex(CaptureFrame(clip, player.Position()), kind), last);
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
