// libFuzzer target for the video layer read from memory: probing and the exact frame capture at
// the start, the middle, past the end and at a position taken from the input. Any bytes either
// give consistent figures and pictures or fail with a program error; the time arithmetic behind
// a capture (frame step from the rate, start times, durations, positions) must hold for absurd
// values too (UBSan checks its overflows).

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <span>

#include "platform/error.h"
#include "platform/imaging/image.h"
#include "platform/video/frame_capture.h"
#include "platform/video/media_probe.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void Capture(std::span<const std::uint8_t> bytes, double seconds) {
  using namespace mirelo::imaging;
  Image image;
  try {
    image = mirelo::video::CaptureFrame(bytes, seconds, {.threads = 1});
  } catch (const mirelo::Error&) {
    return;
  }
  Check(image.width > 0 && image.height > 0 && image.width <= kMaxSide && image.height <= kMaxSide);
  Check(image.format == PixelFormat::Rgb24);
  Check(image.pixels.size() == image.stride() * static_cast<std::size_t>(image.height));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  mirelo::video::MediaInfo info;
  try {
    info = mirelo::video::ProbeMedia(bytes);
  } catch (const mirelo::Error&) {
    return 0;
  }
  Check(std::isfinite(info.duration) && info.duration >= 0.0);
  Check(std::isfinite(info.frameRate) && info.frameRate >= 0.0);
  Check(std::isfinite(info.frameDuration) && info.frameDuration >= 0.0);
  Check(info.sampleAspectNum > 0 && info.sampleAspectDen > 0);
  Check(info.rotation % 90 == 0 && info.rotation >= 0 && info.rotation < 360);
  Check(info.shownWidth >= 0 && info.shownHeight >= 0);
  if (!info.hasVideo) {
    Check(info.width == 0 && info.height == 0 && info.shownWidth == 0 && info.shownHeight == 0 &&
          info.frameRate == 0.0 && !info.mirrored);
    return 0;
  }
  if (!info.decoderAvailable) return 0;

  Capture(bytes, 0.0);
  Capture(bytes, info.duration / 2);
  Capture(bytes, info.duration + 1.0);
  // The last eight bytes as a position: negative, NaN, infinite and huge ones included.
  if (size >= sizeof(double)) {
    double seconds = 0.0;
    std::memcpy(&seconds, data + size - sizeof seconds, sizeof seconds);
    Capture(bytes, seconds);
  }
  return 0;
}
