#include "production/pipeline.h"

#include <algorithm>
#include <new>

#include "app/utilities.h"
#include "platform/error.h"

namespace mirelo::production {
namespace {

constexpr std::int32_t kOutOfMemory = 7;

bool FramesOn(const app::ThumbSettings& settings) { return settings.FrameMode == 1; }

// The size the pipeline computes with. A JPEG decoded reduced keeps its full size in
// sourceWidth/sourceHeight; every other image is taken as it is.
imaging::Size FullSizeOf(const imaging::Image& image) {
  if (image.sourceWidth > 0 && image.sourceHeight > 0 && image.sourceWidth >= image.width &&
      image.sourceHeight >= image.height) {
    return {image.sourceWidth, image.sourceHeight};
  }
  return {image.width, image.height};
}

Composition Canvas(double width, double height) {
  Composition c;
  c.createCanvas = true;
  c.canvasWidth = static_cast<float>(width);
  c.canvasHeight = static_cast<float>(height);
  return c;
}

void SetRect(Composition& c, double left, double top, double width, double height) {
  c.destLeft = static_cast<float>(left);
  c.destTop = static_cast<float>(top);
  c.destWidth = static_cast<float>(width);
  c.destHeight = static_cast<float>(height);
}

}  // namespace

std::int16_t Nearest(double value) { return app::RoundToInt16(value); }

std::int16_t QualityFactorFor(std::int16_t quality) {
  // 253 * quality is exact and so is a quotient with a half, which then rounds to even as it
  // should (quality 50 gives 128.5 and so 128); 2.53 as a double would not be.
  return Nearest(255.0 - (253.0 * quality) / 100.0);
}

Fit ApplyFitRule(std::int16_t fitMode, double sw, double sh, double bw, double bh) {
  if (bw == 0.0) throw Error(err::kDivisionByZero, "box width 0");
  const double boxRatio = bh / bw;
  if (sw == 0.0) throw Error(err::kDivisionByZero, "source width 0");
  const double sourceRatio = sh / sw;

  Fit fit;
  switch (fitMode) {
    case 0:
      fit = {bw, bh, 0};
      break;
    case 1:
      if (boxRatio == sourceRatio) {
        fit = {bw, bh, 0};
      } else if (boxRatio > sourceRatio) {
        fit = {bw, (bw * sh) / sw, 1};
      } else {
        fit = {(sw * bh) / sh, bh, 2};
      }
      break;
    case 2:
      if (boxRatio == sourceRatio) {
        fit = {bw, bh, 0};
      } else if (boxRatio > sourceRatio) {
        fit = {(sw * bh) / sh, bh, 1};
      } else {
        fit = {bw, (bw * sh) / sw, 2};
      }
      break;
    default:
      break;  // no rule: a zero size, refused by the resize
  }
  return fit;
}

Composition ComposeWithoutFrame(bool sameAsSource, const Fit& fit, std::int16_t fitMode, double bw,
                                double bh) {
  if (sameAsSource) {
    Composition c;
    c.copyWhole = true;
    return c;
  }
  Composition c;
  if (fit.placementCase == 1 && fitMode == 1) {
    c = Canvas(bw, Nearest(fit.fh));
    SetRect(c, 0, 0, bw, fit.fh);
  } else if (fit.placementCase == 2 && fitMode == 1) {
    c = Canvas(Nearest(fit.fw), bh);
    SetRect(c, 0, 0, fit.fw, bh);
  } else if (fit.placementCase == 1 && fitMode == 2) {
    c = Canvas(bw, bh);
    SetRect(c, 0, 0, bw, bh);
    c.sourceLeft = Nearest((fit.fw - bw) / 2);
  } else if (fit.placementCase == 2 && fitMode == 2) {
    c = Canvas(bw, bh);
    SetRect(c, 0, 0, bw, bh);
    c.sourceTop = Nearest((fit.fh - bh) / 2);
  } else {
    c = Canvas(bw, bh);
    SetRect(c, 0, 0, fit.fw, fit.fh);
  }
  return c;
}

Composition ComposeInFrame(const Fit& fit, std::int16_t fitMode, double bw, double bh, std::int16_t left,
                           std::int16_t top, std::int16_t width, std::int16_t height) {
  Composition c;
  double destLeft = left;
  if (fit.placementCase == 1 && fitMode == 1) {
    c.sourceTop = Nearest((fit.fh - bh) / 2);
  } else if (fit.placementCase == 2 && fitMode == 1) {
    // A 16-bit addition, as every other whole number of the pipeline.
    const std::int32_t sum = std::int32_t{left} + Nearest((bw - fit.fw) / 2);
    if (sum < -32768 || sum > 32767) throw Error(err::kOverflow, "frame offset out of range");
    destLeft = sum;
  } else if (fit.placementCase == 1 && fitMode == 2) {
    c.sourceLeft = Nearest((fit.fw - bw) / 2);
  } else if (fit.placementCase == 2 && fitMode == 2) {
    c.sourceTop = Nearest((fit.fh - bh) / 2);
  }
  SetRect(c, destLeft, top, width, height);
  return c;
}

app::FrameTemplate FrameFor(EntryKind kind, const app::ThumbSettings& settings) {
  return settings.Frame(kind == EntryKind::Still ? app::FrameKind::Still : app::FrameKind::Video);
}

TargetBox TargetBoxFor(EntryKind kind, const app::ThumbSettings& settings, const SizeTexts& sizes) {
  TargetBox box;
  if (FramesOn(settings)) {
    // The size boxes play no part with frames, so their text is not even read.
    const app::FrameTemplate frame = FrameFor(kind, settings);
    box.bw = frame.Width;
    box.bh = frame.Height;
    return box;
  }
  const std::int16_t width = app::TextToInt16OrThrow(sizes.width);
  if (width == 0) {
    box.sameAsSource = true;
    return box;
  }
  box.bw = width;
  box.bh = app::TextToInt16OrThrow(sizes.height);
  return box;
}

imaging::Size MinimumDecodeSize(imaging::Size fullSize, EntryKind kind, const app::ThumbSettings& settings,
                                const SizeTexts& sizes) {
  // Trimming decides the picture's size from its content, so it needs every pixel.
  if (settings.AutoTrimOn == 1) return fullSize;
  try {
    const TargetBox box = TargetBoxFor(kind, settings, sizes);
    if (box.sameAsSource) return fullSize;
    const Fit fit = ApplyFitRule(settings.FitMode, fullSize.width, fullSize.height, box.bw, box.bh);
    const int w = Nearest(fit.fw);
    const int h = Nearest(fit.fh);
    if (w <= 0 || h <= 0) return fullSize;
    return {std::min(fullSize.width, 2 * w), std::min(fullSize.height, 2 * h)};
  } catch (const Error&) {
    return fullSize;  // BuildThumbnail reports it
  }
}

std::string LoadFailureMessage(std::int32_t errorNumber) {
  switch (errorNumber) {
    case err::kFileCannotBeRead:
      return "→ERROR:ファイルが読み込めません。";
    case err::kInvalidFileFormat:
      return "→ERROR:ファイルフォーマットが不正です。";
    default:
      return "→ERROR:" + app::SignedNumberText(errorNumber);
  }
}

bool LoadFailureDeselects(std::int32_t errorNumber) {
  return errorNumber != err::kFileCannotBeRead && errorNumber != err::kInvalidFileFormat;
}

LoadOutcome LoadStillImage(imaging::ImagingControl& work, std::string_view path,
                           const app::ThumbSettings& settings, const SizeTexts& sizes, bool allowShrink,
                           const std::function<void(const imaging::Image&)>& onLoaded) {
  LoadOutcome outcome;
  outcome.path = std::string(path);
  bool loaded = false;
  try {
    imaging::LoadOptions options;
    if (allowShrink && settings.AutoTrimOn != 1) {
      options.minimumSize = [&settings, &sizes](imaging::Size full) {
        return MinimumDecodeSize(full, EntryKind::Still, settings, sizes);
      };
    }
    work.Load(std::filesystem::path(outcome.path), options);
    loaded = true;
    outcome.fullSize = FullSizeOf(work.GetImage());
    if (onLoaded) onLoaded(work.GetImage());
    if (settings.AutoTrimOn == 1) {
      work.Trim(settings.AutoTrimThreshold);
      const imaging::Image& trimmed = work.GetImage();
      if (trimmed.sourceWidth != trimmed.width || trimmed.sourceHeight != trimmed.height) {
        // The trimmed picture is the source from here on; a stale full size would be taken for a
        // reduced decode.
        imaging::Image copy = trimmed;
        copy.sourceWidth = copy.width;
        copy.sourceHeight = copy.height;
        work.PutImage(std::move(copy));
      }
    }
    outcome.ok = true;
    return outcome;
  } catch (const Error& e) {
    outcome.errorNumber = e.number();
  } catch (const std::bad_alloc&) {
    outcome.errorNumber = kOutOfMemory;
  }
  outcome.failedInLoad = !loaded;
  outcome.message = LoadFailureMessage(outcome.errorNumber);
  outcome.deselect = LoadFailureDeselects(outcome.errorNumber);
  return outcome;
}

void BuildThumbnail(EntryKind kind, imaging::ImagingControl& work, imaging::ImagingControl& output,
                    const app::ThumbSettings& settings, const SizeTexts& sizes) {
  // Taken before the contrast step, which keeps the size, so a reduced decode's full size is not
  // lost whatever the operation does with it.
  const imaging::Size full = FullSizeOf(work.GetImage());
  if (settings.AutoContrastOn == 1) work.StretchContrast();
  const double sw = full.width;
  const double sh = full.height;

  const TargetBox box = TargetBoxFor(kind, settings, sizes);
  const app::FrameTemplate frame = FrameFor(kind, settings);
  double bw = sw;
  double bh = sh;
  Fit fit{sw, sh, 0};
  if (!box.sameAsSource) {
    bw = box.bw;
    bh = box.bh;
    if (FramesOn(settings)) output.Load(std::filesystem::path(frame.File.value_or(std::string())));
    fit = ApplyFitRule(settings.FitMode, sw, sh, bw, bh);
    work.Resize(Nearest(fit.fw), Nearest(fit.fh), 1);
  }

  if (settings.SharpOn == 1) work.Sharpen(settings.SharpValue);
  if (settings.MonoOn == 1) {
    work.Grayscale(8);
    work.ColorResolution(24, imaging::palette::kFixed, 0, 0);
  }
  work.ColorResolution(24, imaging::palette::kFixed4, 0, 0);

  const Composition c =
      FramesOn(settings)
          ? ComposeInFrame(fit, settings.FitMode, bw, bh, frame.Left, frame.Top, frame.Width, frame.Height)
          : ComposeWithoutFrame(box.sameAsSource, fit, settings.FitMode, bw, bh);
  if (c.copyWhole) {
    output.PutImage(work.GetImage());
    return;
  }
  if (c.createCanvas) output.CreateBlank(c.canvasWidth, c.canvasHeight, 24);
  output.Combine(c.destLeft, c.destTop, c.destWidth, c.destHeight, work.GetImage(), c.sourceLeft, c.sourceTop,
                 imaging::kCombineCopy);
}

std::optional<PreparedThumbnail> PrepareThumbnail(imaging::ImagingControl& output,
                                                  const app::ThumbSettings& settings) {
  PreparedThumbnail prepared;
  prepared.qualityFactor = QualityFactorFor(settings.Quality);
  output.SetDpiX(settings.DpiValue);
  output.SetDpiY(settings.DpiValue);
  switch (settings.FormatIndex) {
    case 0:
      output.SetProgressive(0);
      prepared.formatCode = imaging::format::kJpeg;
      prepared.bitsPerPixel = 24;
      break;
    case 1:
      output.SetProgressive(8);
      prepared.formatCode = imaging::format::kJpeg;
      prepared.bitsPerPixel = 24;
      break;
    case 2:
      prepared.formatCode = imaging::format::kPng;
      prepared.bitsPerPixel = 24;
      break;
    case 3:
      output.ColorResolution(8, imaging::palette::kFixed, 0, 0);
      prepared.formatCode = imaging::format::kGif;
      prepared.bitsPerPixel = 8;
      break;
    case 4:
      output.ColorResolution(8, imaging::palette::kOptimized, 0, 0);
      prepared.formatCode = imaging::format::kGif;
      prepared.bitsPerPixel = 8;
      break;
    case 5:
      prepared.formatCode = imaging::format::kPict;
      prepared.bitsPerPixel = 24;
      break;
    case 6:
      prepared.formatCode = imaging::format::kBmp;
      prepared.bitsPerPixel = 24;
      break;
    case app::kWebpFormatIndex:
      prepared.formatCode = imaging::format::kWebp;
      prepared.bitsPerPixel = 24;
      break;
    default:
      return std::nullopt;
  }
  prepared.bytes = output.Encode(prepared.formatCode, prepared.bitsPerPixel, prepared.qualityFactor);
  return prepared;
}

void WriteThumbnail(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  imaging::WriteFileBytes(path, bytes, imaging::CreateMode::Exclusive);
}

bool SaveThumbnail(imaging::ImagingControl& output, const std::filesystem::path& path,
                   const app::ThumbSettings& settings) {
  const std::optional<PreparedThumbnail> prepared = PrepareThumbnail(output, settings);
  if (!prepared) return false;
  WriteThumbnail(path, prepared->bytes);
  return true;
}

}  // namespace mirelo::production
