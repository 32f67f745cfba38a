#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

#include "platform/imaging/image.h"

// Exact frame capture: the frame shown at a given time of a clip, decoded in memory.

namespace mirelo::video {

struct CaptureOptions {
  // Decoder threads; 0 lets FFmpeg choose (one per core).
  int threads = 0;
  // Decode every frame from the clip's start, without seeking or leaving frames undecoded: the
  // reference the fast path has to equal byte for byte (tests and the benchmark's check).
  bool fullDecode = false;
};

// The frame on screen at `seconds` from the start of the clip (from the container's start time,
// as players count): the decoded frame whose display interval [pts, next pts) holds the
// position. A position before the first frame gives the first frame; a position at or past the
// end gives the last frame that can be decoded (so does a position beyond the data of a clip cut
// short). The result is the frame as players show it, at the shown size of MediaInfo: the
// sample aspect ratio applied (resampled with Lanczos in the colour conversion) and the display
// matrix's mirroring and rotation applied, so a portrait phone clip is upright. Rgb24, 96 dpi,
// stored bits per pixel 24.
//
// Throws mirelo::Error with a number of video_errors.h; kNoVideoStream (0) when the clip has no
// video stream. Thread-safe (no shared state).
imaging::Image CaptureFrame(const std::filesystem::path& path, double seconds, const CaptureOptions& options = {});
// The same for a clip held in memory.
imaging::Image CaptureFrame(std::span<const std::uint8_t> bytes, double seconds, const CaptureOptions& options = {});

// A frame's luma on a 0..255 scale (video range expanded): mean and standard deviation.
struct LumaStats {
  double mean = 0.0;
  double spread = 0.0;
};
// Whether a frame shows something: not dark and not nearly one colour. A dark picture with
// detail in it (a night scene) does.
bool IsTelling(const LumaStats& luma);

// The scene of a clip whose scene was not chosen, when the option asks for one that shows
// something: the start of the first frame, at or after 0 s, that is neither dark nor nearly one
// colour (black leaders, fades from black, white flashes, plain title cards are passed over),
// looked for only within the first kAutoSceneShare of the clip and at most kAutoSceneMaxSeconds;
// 0 when the first frame already shows something, when none does, or when the clip's length is
// unknown. Key frames are judged first, then every frame after the last blank key frame, so
// the search decodes little. Deterministic; seconds from the container's start, as positions
// count, so that CaptureFrame at the result gives that frame. Throws as CaptureFrame does.
inline constexpr double kAutoSceneShare = 0.10;
inline constexpr double kAutoSceneMaxSeconds = 30.0;
double AutoScenePosition(const std::filesystem::path& path, const CaptureOptions& options = {});
// CaptureFrame at AutoScenePosition, without decoding the frame a second time; `position` gets
// the position.
imaging::Image CaptureAutoScene(const std::filesystem::path& path, double& position, const CaptureOptions& options = {});

// Whether a capture of the clip leaves frames that no other frame refers to undecoded while they
// lie well before the position: only where the clip reorders frames, each packet carries its own
// presentation time (not AVI, not raw streams) and the codec's notion of such frames is sound
// (HEVC with one temporal sub-layer). The frame handed over is the same either way.
bool SkipsNonReferenceFrames(const std::filesystem::path& path);

}  // namespace mirelo::video
