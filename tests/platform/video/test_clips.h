#pragma once

// Clips generated with the ffmpeg command-line tool for the video tests. Every frame shows its
// own index as three base-8 digits in three vertical stripes of grey (lowest digit on the left),
// so a captured frame tells which frame it is.

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "platform/imaging/image.h"

namespace mirelo::test {

inline constexpr int kClipFps = 25;  // a rate every MPEG encoder accepts
inline constexpr int kClipFrames = 375;  // 15 s
inline constexpr int kClipWidth = 64;
inline constexpr int kClipHeight = 48;

struct ClipKind {
  std::string file;        // name in the clip folder; its extension is one the program accepts
  std::string videoArgs;   // codec options of the video stream, and the muxer where it matters
  std::string audioArgs;   // codec options of an audio stream, or empty for none
  bool bFrames = false;    // frames are reordered (exercises the display-order logic)
  // How players show the clip: mirrored left to right, then turned clockwise by `rotation`; and
  // the shown size, 0 x 0 for the stored size (turned).
  int rotation = 0;
  bool mirrored = false;
  int shownWidth = 0;
  int shownHeight = 0;
  // Options of a second pass that copies the streams (ffmpeg 5.1 writes a "rotate" display
  // matrix only when copying), or empty.
  std::string copyArgs;
  // The clip's track header gets a transposing display matrix (a mirror image; ffmpeg 5.1 has
  // no option that writes one). MP4 and MOV only.
  bool transposed = false;
  // Frames are reordered, but the capture has to decode every one of them (packet times in
  // decoding order, or temporal sub-layers).
  bool decodesAll = false;
};

// Test names show the clip's file name.
void PrintTo(const ClipKind& kind, std::ostream* out);

// One clip per supported container, with the codecs that container conventionally holds.
const std::vector<ClipKind>& ContainerClips();
// Further codecs and stream layouts for the capture only: HEVC (one and two temporal
// sub-layers, hvcC and Annex B headers), AV1, a raw H.264 stream.
const std::vector<ClipKind>& CodecClips();

// Runs ffmpeg with the arguments (shell syntax); throws std::runtime_error on failure.
void RunFfmpeg(const std::string& arguments);

// Makes the counter clip `kind` in `folder` (size, rate and length as above); returns its path.
std::filesystem::path MakeCounterClip(const std::filesystem::path& folder, const ClipKind& kind,
                                      int width = kClipWidth, int height = kClipHeight);

// The clip `kind` at the standard size, made once and kept in the build folder, so that test
// processes run side by side by CTest share it (each is written under a private name and then
// renamed into place).
std::filesystem::path CachedCounterClip(const ClipKind& kind);

// The first `bytes` bytes of `source` copied to `target` (a clip cut short).
void CopyPrefix(const std::filesystem::path& source, const std::filesystem::path& target, std::uintmax_t bytes);

// The frame index a captured counter frame shows, or -1 when the picture is no counter frame.
int CounterIndex(const imaging::Image& image);
// The same for a frame as `kind` is shown (turned, mirrored): read in the stored orientation.
int CounterIndex(const imaging::Image& shown, const ClipKind& kind);
// The size frames of `kind` are shown at.
imaging::Size ShownSize(const ClipKind& kind);

// How much later than the container's start the first video frame is shown, in seconds, as
// ffprobe reports it (muxers delay video by the audio encoder's priming samples).
double VideoLead(const std::filesystem::path& clip);

// Expected frame for a position in seconds: the frame whose display interval holds it, the first
// frame before the video starts, the last frame past the end.
int ExpectedIndex(double seconds, double lead = 0.0);

}  // namespace mirelo::test
