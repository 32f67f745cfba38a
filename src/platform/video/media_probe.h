#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>

// Probing a clip: what the preview player and the frame capture both need to know before they
// show or decode anything. Free of capture concerns; decodes no picture.

namespace mirelo::video {

struct MediaInfo {
  // Whether the clip has a video stream (cover pictures of audio files do not count). All
  // fields below that describe the picture are 0 when it has none.
  bool hasVideo = false;
  // A decoder for that stream is available in this build of FFmpeg.
  bool decoderAvailable = false;

  // Native (coded) size of the picture in pixels, as the decoder outputs it.
  int width = 0;
  int height = 0;
  // Sample (pixel) aspect ratio as num/den (the container's, else the stream's own); 1/1 when
  // the file says nothing.
  int sampleAspectNum = 1;
  int sampleAspectDen = 1;
  // The size the clip is shown and captured at: the sample aspect ratio applied as players do
  // (above 1 the width grows, below 1 the height, truncated), then the rotation (90 and 270
  // swap the sides). A stored 720x480 clip with 32/27 pixels is shown 853x480.
  int shownWidth = 0;
  int shownHeight = 0;

  // Length of the clip in seconds; 0 when the file does not say.
  double duration = 0.0;
  // Average frame rate (frames per second) and its inverse, the step of one frame forward or
  // back. 0 when unknown.
  double frameRate = 0.0;
  double frameDuration = 0.0;
  // How the stored picture is turned for showing (the display matrix phones write), applied by
  // the player and the capture alike: first mirrored left to right when `mirrored`, then turned
  // clockwise by `rotation` degrees (0, 90, 180, 270).
  int rotation = 0;
  bool mirrored = false;
  // The stream is tagged with an HDR transfer (PQ or HLG) or with BT.2020 primaries. The capture
  // converts only the matrix and range and so shows the coded values as SDR BT.709, as simple
  // players do; the player is told to do the same rather than convert the light and the gamut.
  bool hdrOrWideGamut = false;
  // Whether the clip has an audio stream (the player's mute control needs one).
  bool hasAudio = false;
};

// Opens the file and reads its stream headers. Throws mirelo::Error with a number of
// video_errors.h: kFileNotFound / kAccessDenied / kReadFault for the file itself,
// kUnsupportedFormat when FFmpeg cannot read it as media. A clip without video is not an error:
// hasVideo is false. Thread-safe (no shared state).
MediaInfo ProbeMedia(const std::filesystem::path& path);
// The same for a clip held in memory, read by the same demuxers and no protocol.
MediaInfo ProbeMedia(std::span<const std::uint8_t> bytes);

// FFmpeg prints nothing below errors on stderr from the first use of this layer on; callers
// that want it quieter or louder set it once here. Idempotent, thread-safe.
void QuietFfmpegLog();

// The FFmpeg demuxers clips are opened with (comma-separated): real media containers only, so a
// playlist or concat script named .avi never makes FFmpeg read other files. The player uses it too.
const char* AllowedDemuxers();

}  // namespace mirelo::video
