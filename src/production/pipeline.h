#pragma once

// The image pipeline of one list entry: load (stills), build the thumbnail, encode and write it.
// GUI-free and free of globals: every call gets its settings snapshot and its own image buffers,
// so parallel workers each own a pair of ImagingControl instances (working image and output
// image). Errors carry the program's numbers (mirelo::Error).

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/thumb_settings.h"
#include "platform/imaging/image.h"
#include "platform/imaging/imaging_control.h"
#include "production/extensions.h"

namespace mirelo::production {

// ---- Arithmetic of the pipeline, pure and exact --------------------------------------------

// nearest(): nearest integer, a half to the even neighbour; outside 16 bits throws Error 6.
std::int16_t Nearest(double value);

// QualityFactor = nearest(255 - 253/100 x quality): 100 -> 2, 75 -> 65, 50 -> 128, 0 -> 255.
std::int16_t QualityFactorFor(std::int16_t quality);

// Result of the fit rule.
struct Fit {
  double fw = 0;
  double fh = 0;
  std::int16_t placementCase = 0;  // 0, 1 or 2
};

// The fit rule for FitMode 0 (stretch), 1 (fit inside) and 2 (cover), with exact double
// comparisons of bh / bw and sh / sw and the products in the order of the table. A zero
// divisor throws Error 11. Any other FitMode leaves case 0 with a zero size.
Fit ApplyFitRule(std::int16_t fitMode, double sw, double sh, double bw, double bh);

// What the composition does with the output image.
struct Composition {
  bool copyWhole = false;     // output = copy of the working image (same-as-source)
  bool createCanvas = false;  // a blank 24-bit canvas of canvasWidth by canvasHeight first
  float canvasWidth = 0, canvasHeight = 0;
  float destLeft = 0, destTop = 0, destWidth = 0, destHeight = 0;
  float sourceLeft = 0, sourceTop = 0;
};

// Composition without a frame (copy when the same-as-source test held). Offsets may throw Error 6.
Composition ComposeWithoutFrame(bool sameAsSource, const Fit& fit, std::int16_t fitMode, double bw,
                                double bh);

// Composition into a frame rectangle L, T, W, H; the horizontal centring is a 16-bit addition
// (Error 6 on overflow).
Composition ComposeInFrame(const Fit& fit, std::int16_t fitMode, double bw, double bh, std::int16_t left,
                           std::int16_t top, std::int16_t width, std::int16_t height);

// ---- Settings of one entry ----------------------------------------------------------------

// The texts of the two size boxes, as typed.
struct SizeTexts {
  std::string width;
  std::string height;
};

// The target box of an entry: either the source size kept (sameAsSource) or bw by bh from the
// size texts or the frame in use. Throws Error 13 or 6 for a size text that is not a 16-bit
// number (only read without frames).
struct TargetBox {
  bool sameAsSource = false;
  double bw = 0;
  double bh = 0;
};
TargetBox TargetBoxFor(EntryKind kind, const app::ThumbSettings& settings, const SizeTexts& sizes);

// The frame in use for an entry kind.
app::FrameTemplate FrameFor(EntryKind kind, const app::ThumbSettings& settings);

// The smallest decoded size that still gives the same thumbnail: at least twice the fitted size
// (shrink-on-load). The full size when shrinking is not allowed (trim on, same-as-source, any
// arithmetic error, which then surfaces in BuildThumbnail).
imaging::Size MinimumDecodeSize(imaging::Size fullSize, EntryKind kind, const app::ThumbSettings& settings,
                                const SizeTexts& sizes);

// ---- The three stages ---------------------------------------------------------------------

// Outcome of LoadStillImage. On failure the caller appends logLines() to the error log (path,
// then the message) in list order, stores errorNumber as the last error and deselects the entry
// when deselect is set.
struct LoadOutcome {
  bool ok = false;
  std::int32_t errorNumber = 0;
  bool failedInLoad = false;  // the file load failed (rather than the trim)
  imaging::Size fullSize;     // upright size of the picture in its file (0 by 0 when not loaded)
  std::string path;           // the path exactly as passed
  std::string message;        // the second log line
  bool deselect = false;

  std::vector<std::string> logLines() const {
    return ok ? std::vector<std::string>{} : std::vector<std::string>{path, message};
  }
};

// Second log line of a failed still load: 20007, 20009 have their texts, any other number is
// "→ERROR:" and the number in sign-reserving form.
std::string LoadFailureMessage(std::int32_t errorNumber);
// Only a number other than 20007 and 20009 deselects the entry.
bool LoadFailureDeselects(std::int32_t errorNumber);

// Loads a still into the working image and trims it when asked. Never throws for the file; the
// outcome carries the failure. allowShrink lets a JPEG decode reduced (never changing the
// thumbnail's size). onLoaded, when set, sees the picture as loaded, before any trim.
LoadOutcome LoadStillImage(imaging::ImagingControl& work, std::string_view path,
                           const app::ThumbSettings& settings, const SizeTexts& sizes,
                           bool allowShrink = true,
                           const std::function<void(const imaging::Image&)>& onLoaded = {});

// Contrast, fit rule, resize, sharpen, monochrome, 24 bits, composition into output. Throws
// mirelo::Error (imaging numbers, 6, 11, 13). For a video capture, kind is EntryKind::Video.
void BuildThumbnail(EntryKind kind, imaging::ImagingControl& work, imaging::ImagingControl& output,
                    const app::ThumbSettings& settings, const SizeTexts& sizes);

// An encoded thumbnail ready to be written.
struct PreparedThumbnail {
  std::vector<std::uint8_t> bytes;
  int formatCode = 0;
  int bitsPerPixel = 0;
  std::int16_t qualityFactor = 0;
};

// SaveThumbnail's preparation and encoding in memory: resolution, format preparation, encode.
// nullopt for a FormatIndex outside 0..7 (nothing is saved). Changes output (resolution, colours).
std::optional<PreparedThumbnail> PrepareThumbnail(imaging::ImagingControl& output,
                                                  const app::ThumbSettings& settings);

// Writes encoded bytes to a new file (exclusive creation: Error 58 when the name is taken,
// 76 for a missing folder).
void WriteThumbnail(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// SaveThumbnail: PrepareThumbnail then WriteThumbnail. Returns false when nothing was saved
// (FormatIndex outside 0..7).
bool SaveThumbnail(imaging::ImagingControl& output, const std::filesystem::path& path,
                   const app::ThumbSettings& settings);

}  // namespace mirelo::production
