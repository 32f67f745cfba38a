// The video layer read from memory (the fuzz target's entry) against the same clip read from its
// file: the same figures and the same frames, and the same refusals.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "platform/error.h"
#include "platform/video/frame_capture.h"
#include "platform/video/media_probe.h"
#include "platform/video/test_clips.h"
#include "platform/video/video_errors.h"

namespace {

using mirelo::video::CaptureFrame;
using mirelo::video::ProbeMedia;

std::vector<std::uint8_t> Bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::int32_t MemoryProbeError(const std::string& text) {
  const std::vector<std::uint8_t> bytes(text.begin(), text.end());
  try {
    ProbeMedia(bytes);
  } catch (const mirelo::Error& error) {
    return error.number();
  }
  return 1;
}

class MemoryInput : public ::testing::TestWithParam<mirelo::test::ClipKind> {};

TEST_P(MemoryInput, GivesTheFileFiguresAndFrames) {
  const auto clip = mirelo::test::CachedCounterClip(GetParam());
  const std::vector<std::uint8_t> bytes = Bytes(clip);
  const auto fromFile = ProbeMedia(clip);
  const auto fromMemory = ProbeMedia(bytes);
  EXPECT_EQ(fromMemory.width, fromFile.width);
  EXPECT_EQ(fromMemory.height, fromFile.height);
  EXPECT_DOUBLE_EQ(fromMemory.duration, fromFile.duration);
  EXPECT_DOUBLE_EQ(fromMemory.frameRate, fromFile.frameRate);
  EXPECT_EQ(fromMemory.hasAudio, fromFile.hasAudio);
  EXPECT_EQ(fromMemory.shownWidth, fromFile.shownWidth);
  EXPECT_EQ(fromMemory.shownHeight, fromFile.shownHeight);
  EXPECT_EQ(fromMemory.rotation, fromFile.rotation);
  EXPECT_EQ(fromMemory.mirrored, fromFile.mirrored);
  // The start, a seek into the middle, and past the end.
  for (double seconds : {0.0, 7.3, 1.0e9}) {
    EXPECT_EQ(mirelo::test::CounterIndex(CaptureFrame(bytes, seconds), GetParam()),
              mirelo::test::CounterIndex(CaptureFrame(clip, seconds), GetParam()))
        << seconds;
  }
}

INSTANTIATE_TEST_SUITE_P(Containers, MemoryInput, ::testing::ValuesIn(mirelo::test::ContainerClips()));

TEST(MemoryInputRefuses, WhatTheFilePathRefuses) {
  namespace err = mirelo::video::err;
  EXPECT_EQ(MemoryProbeError(""), err::kUnsupportedFormat);
  EXPECT_EQ(MemoryProbeError("hello\n"), err::kUnsupportedFormat);
  // A playlist must not make FFmpeg open the files it names, from memory either.
  EXPECT_EQ(MemoryProbeError("#EXTM3U\n#EXTINF:1,\nfile:///etc/passwd\n"), err::kUnsupportedFormat);
  EXPECT_EQ(MemoryProbeError("ffconcat version 1.0\nfile /etc/passwd\n"), err::kUnsupportedFormat);
}

}  // namespace
