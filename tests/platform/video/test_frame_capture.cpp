// Exact frame capture on generated clips of every supported container, and the error numbers of
// clips that cannot be captured.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "platform/error.h"
#include "platform/video/frame_capture.h"
#include "platform/video/test_clips.h"
#include "platform/video/video_errors.h"
#include "support/magick.h"
#include "support/temp_dir.h"

namespace mirelo::video {
namespace {

using test::ClipKind;

// Positions on key frames (0, 2, 4, ... with GOPs of 50 frames at 25 fps) and between them, inside
// a frame's interval, on the last frame, past the end and far past it.
constexpr double kPositions[] = {0.0,  0.02, 0.05, 1.25, 1.99, 2.0,  2.01,  7.49,
                                 9.99, 12.0, 12.5, 14.9, 14.97, 15.0, 100.0};

class CaptureByContainer : public testing::TestWithParam<ClipKind> {};

TEST_P(CaptureByContainer, FrameWhoseIntervalHoldsThePosition) {
  const auto clip = test::CachedCounterClip(GetParam());
  const double lead = test::VideoLead(clip);
  const imaging::Size shown = test::ShownSize(GetParam());
  for (double seconds : kPositions) {
    const imaging::Image image = CaptureFrame(clip, seconds);
    ASSERT_EQ(image.width, shown.width);
    ASSERT_EQ(image.height, shown.height);
    ASSERT_EQ(image.format, imaging::PixelFormat::Rgb24);
    ASSERT_EQ(image.pixels.size(), static_cast<std::size_t>(shown.width * shown.height * 3));
    EXPECT_EQ(test::CounterIndex(image, GetParam()), test::ExpectedIndex(seconds, lead)) << "at " << seconds << " s";
  }
}

TEST_P(CaptureByContainer, SingleThreadedDecodeGivesTheSamePixels) {
  const auto clip = test::CachedCounterClip(GetParam());
  EXPECT_EQ(CaptureFrame(clip, 7.3, {.threads = 1}).pixels, CaptureFrame(clip, 7.3).pixels);
}

// Seeking and leaving unreferenced frames undecoded give the very bytes of a decode of every
// frame from the start: on a key frame (every 2 s), just after one, on the last frame before
// the next, with many frames skipped before it, on the last frame and past the end.
TEST_P(CaptureByContainer, SameBytesAsAFullDecode) {
  const auto clip = test::CachedCounterClip(GetParam());
  EXPECT_EQ(SkipsNonReferenceFrames(clip), GetParam().bFrames && !GetParam().decodesAll);
  for (double seconds : {2.0, 2.05, 3.99, 7.3, 9.99, 14.97, 100.0}) {
    const imaging::Image full = CaptureFrame(clip, seconds, {.fullDecode = true});
    for (int threads : {1, 0}) {
      EXPECT_EQ(CaptureFrame(clip, seconds, {.threads = threads}).pixels, full.pixels)
          << "at " << seconds << " s, threads " << threads;
    }
  }
}

std::vector<ClipKind> AllClips() {
  std::vector<ClipKind> clips = test::ContainerClips();
  clips.insert(clips.end(), test::CodecClips().begin(), test::CodecClips().end());
  return clips;
}

INSTANTIATE_TEST_SUITE_P(Containers, CaptureByContainer, testing::ValuesIn(AllClips()),
                         [](const testing::TestParamInfo<ClipKind>& info) {
                           std::string name = info.param.file;
                           for (char& c : name) c = c == '.' ? '_' : c;
                           return name;
                         });

// ffmpeg turns a clip by its display matrix when it decodes it (it knows no mirroring in 5.1),
// and its scaler stretches non-square pixels: the capture gives the same upright picture.
TEST(CaptureFrame, TurnedAndStretchedClipsLookAsFfmpegMakesThem) {
  test::TempDir dir;
  for (const ClipKind& kind : test::ContainerClips()) {
    if ((kind.rotation == 0 && kind.shownWidth == 0) || kind.mirrored) continue;
    SCOPED_TRACE(kind.file);
    const auto clip = test::CachedCounterClip(kind);
    const auto reference = dir / (kind.file + ".png");
    const imaging::Size shown = test::ShownSize(kind);
    const std::string stretch = kind.shownWidth == 0 ? std::string() :
        " -vf scale=" + std::to_string(shown.width) + ":" + std::to_string(shown.height) + ":flags=lanczos";
    test::RunFfmpeg("-ss 7.3 -i '" + clip.string() + "'" + stretch + " -frames:v 1 '" + reference.string() + "'");
    const auto expected = test::MagickDecode(reference);
    ASSERT_TRUE(expected);
    // The middle of the frame ffmpeg gave.
    const int index = test::CounterIndex(*expected, kind);
    ASSERT_GT(index, 0);
    const imaging::Image image = CaptureFrame(clip, (index + 0.5) / test::kClipFps + test::VideoLead(clip));
    ASSERT_EQ(image.width, expected->width);
    ASSERT_EQ(image.height, expected->height);
    EXPECT_GT(test::Psnr(image, *expected), 30.0);
  }
}

TEST(CaptureFrame, PositionsCountFromTheContainerStart) {
  test::TempDir dir;
  const auto clip = test::MakeCounterClip(dir.path(), {"offset.mpg", "-c:v mpeg2video -q:v 2 -g 50 -bf 2 -f vob -packetsize 256 "
                                                                     "-output_ts_offset 7", ""});
  const double lead = test::VideoLead(clip);
  for (double seconds : {0.0, 3.05, 12.0}) {
    EXPECT_EQ(test::CounterIndex(CaptureFrame(clip, seconds)), test::ExpectedIndex(seconds, lead)) << "at " << seconds;
  }
}

// Frames far before the target that no other frame refers to are not decoded. When a long gap
// in a variable-rate clip makes such a frame the answer, it must still be found; the cut points
// put a B-frame and a P-frame last before the gap.
TEST(CaptureFrame, FrameBeforeALongGapIsFoundAfterSkippedFrames) {
  test::TempDir dir;
  for (int cut : {46, 47, 48, 49}) {
    const std::string name = "gap" + std::to_string(cut) + ".flv";
    const auto clip = test::MakeCounterClip(
        dir.path(), {name,
                     "-vf \"setpts='if(lt(N," + std::to_string(cut) + "),N,N+50)/(25*TB)'\" -fps_mode passthrough "
                     "-t 4 -c:v libx264 -preset veryfast -crf 10 -g 250 -bf 3 -x264-params scenecut=0 -pix_fmt yuv420p",
                     ""});
    // Frame cut - 1 is shown from its time until frame cut appears 2 s later.
    EXPECT_EQ(test::CounterIndex(CaptureFrame(clip, 3.5)), cut - 1) << name;
  }
}

TEST(CaptureFrame, NegativeOrInvalidPositionGivesTheFirstFrame) {
  const auto clip = test::CachedCounterClip(test::ContainerClips().front());
  EXPECT_EQ(test::CounterIndex(CaptureFrame(clip, -3.0)), 0);
  EXPECT_EQ(test::CounterIndex(CaptureFrame(clip, std::nan(""))), 0);
}

TEST(CaptureFrame, NativeSizeIsKept) {
  test::TempDir dir;
  const auto clip = test::MakeCounterClip(dir.path(), {"wide.avi", "-c:v mpeg4 -q:v 2 -t 2", ""}, 320, 240);
  const imaging::Image image = CaptureFrame(clip, 1.0);
  EXPECT_EQ(image.width, 320);
  EXPECT_EQ(image.height, 240);
  EXPECT_EQ(image.storedBitsPerPixel, 24);
  EXPECT_EQ(test::CounterIndex(image), 25);
}

TEST(CaptureFrame, ClipCutShortGivesTheLastDecodableFrame) {
  test::TempDir dir;
  const auto source = test::CachedCounterClip(test::ContainerClips().front());
  const auto cut = dir / "cut.avi";
  test::CopyPrefix(source, cut, std::filesystem::file_size(source) / 2);
  const int early = test::CounterIndex(CaptureFrame(cut, 1.0));
  EXPECT_EQ(early, test::ExpectedIndex(1.0, test::VideoLead(source)));
  const int late = test::CounterIndex(CaptureFrame(cut, 14.0));
  EXPECT_GT(late, 60);
  EXPECT_LT(late, test::kClipFrames - 1);
}

// Clips made with each kind of lead-in before a picture that shows something: the auto scene is
// the first frame after it (key frames every 2 s, so the exact frame lies between two), a dark
// but detailed night scene is kept, and a clip that shows nothing, or nothing within its first
// tenth, gives its first frame.
TEST(AutoScenePosition, FirstFrameThatShowsSomething) {
  test::TempDir dir;
  const std::string content = "testsrc2=s=96x72:r=25:d=30";
  const auto leadIn = [&](const std::string& source, const std::string& seconds) {
    return source + ":s=96x72:r=25:d=" + seconds + "[a];" + content + "[b];[a][b]concat=n=2:v=1:a=0";
  };
  // A dark street: near-black sky with noise, and lit windows.
  const std::string night = "color=0x0a0a14:s=96x72:r=25:d=30,noise=alls=6:allf=t,"
                            "drawbox=x=12:y=18:w=6:h=9:c=0xffe080:t=fill,drawbox=x=27:y=15:w=5:h=7:c=0xd0c070:t=fill,"
                            "drawbox=x=60:y=30:w=9:h=6:c=0xffffff:t=fill,drawbox=x=45:y=45:w=18:h=3:c=0x806040:t=fill";
  const struct {
    const char* name;
    std::string graph;
    const char* codec;
    int frame;
  } rows[] = {
      {"leader.mp4", leadIn("color=black", "2.2"), "-c:v libx264 -g 50 -x264-params scenecut=0", 55},
      {"leader.avi", leadIn("color=black", "2.2"), "-c:v mpeg4 -q:v 2 -g 50 -bf 2", 55},
      {"leader.webm", leadIn("color=black", "2.2"), "-c:v libvpx-vp9 -g 50 -deadline realtime -cpu-used 8", 55},
      {"flash.mp4", leadIn("color=white", "0.4"), "-c:v libx264 -g 50 -x264-params scenecut=0", 10},
      {"card.mp4", leadIn("color=0x2040a0", "1.5"), "-c:v libx264 -g 50 -x264-params scenecut=0", 38},
      {"fade.mp4", content + ",fade=in:st=0:d=2", "-c:v libx264 -g 50 -x264-params scenecut=0", 20},
      {"night.mp4", night, "-c:v libx264 -g 50 -x264-params scenecut=0", 0},
      {"plain.mp4", content, "-c:v libx264 -g 50 -x264-params scenecut=0", 0},
      {"black.mp4", "color=black:s=96x72:r=25:d=30", "-c:v libx264 -g 50 -x264-params scenecut=0", 0},
      // Black for 5 s: beyond the first tenth (3 s) of the clip.
      {"long_leader.mp4", leadIn("color=black", "5"), "-c:v libx264 -g 50 -x264-params scenecut=0", 0},
  };
  for (const auto& row : rows) {
    const auto clip = dir / row.name;
    test::RunFfmpeg("-f lavfi -i '" + row.graph + "' -t 30 -pix_fmt yuv420p " + row.codec + " '" + clip.string() + "'");
    const double position = AutoScenePosition(clip);
    EXPECT_NEAR(position, row.frame / 25.0, 1e-6) << row.name;
    EXPECT_EQ(AutoScenePosition(clip, {.threads = 1}), position) << row.name << ": the same on one thread";
    double captured = -1;
    EXPECT_EQ(CaptureAutoScene(clip, captured).pixels, CaptureFrame(clip, position).pixels) << row.name;
    EXPECT_EQ(captured, position) << row.name;
  }
}

std::int32_t NumberOf(const std::filesystem::path& path) {
  try {
    CaptureFrame(path, 0.0);
  } catch (const Error& error) {
    return error.number();
  }
  return 1;  // no error
}

TEST(CaptureFrame, FailuresMapToTheProgramsNumbers) {
  test::TempDir dir;
  std::ofstream(dir / "text.avi") << "This is not a video clip, only some text.\n";
  std::ofstream(dir / "empty.wmv");
  // Playlists and concat scripts are refused before they can open other files.
  std::ofstream(dir / "list.avi") << "ffconcat version 1.0\nfile '"
                                  << test::CachedCounterClip(test::ContainerClips().front()).string() << "'\n";
  std::ofstream(dir / "playlist.flv") << "#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:10,\n"
                                      << test::CachedCounterClip(test::ContainerClips().front()).string()
                                      << "\n#EXT-X-ENDLIST\n";
  test::RunFfmpeg("-f lavfi -i sine=frequency=440:duration=2 -c:a wmav2 '" + (dir / "audio.wmv").string() + "'");
  const auto source = test::CachedCounterClip(test::ContainerClips().front());
  test::CopyPrefix(source, dir / "header.avi", 300);
  std::filesystem::create_directory(dir / "folder.avi");

  const struct {
    const char* file;
    std::int32_t number;
  } rows[] = {
      {"text.avi", err::kUnsupportedFormat},  {"empty.wmv", err::kUnsupportedFormat},
      {"list.avi", err::kUnsupportedFormat},  {"playlist.flv", err::kUnsupportedFormat},
      {"audio.wmv", err::kNoVideoStream},     {"header.avi", err::kUnsupportedFormat},
      {"missing.avi", err::kFileNotFound},    {"folder.avi", err::kAccessDenied},
  };
  for (const auto& row : rows) EXPECT_EQ(NumberOf(dir / row.file), row.number) << row.file;
}

}  // namespace
}  // namespace mirelo::video
