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

// Whether a capture of the clip leaves frames that no other frame refers to undecoded while they
// lie well before the position: only where the clip reorders frames, each packet carries its own
// presentation time (not AVI, not raw streams) and the codec's notion of such frames is sound
// (HEVC with one temporal sub-layer). The frame handed over is the same either way.
bool SkipsNonReferenceFrames(const std::filesystem::path& path);

}  // namespace mirelo::video
