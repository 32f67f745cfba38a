#include "production/video_capture.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <new>
#include <system_error>
#include <utility>

#include "app/utilities.h"
#include "platform/error.h"
#include "platform/video/frame_capture.h"
#include "platform/video/media_probe.h"
#include "platform/video/video_errors.h"

namespace mirelo::production {

namespace {

constexpr std::int32_t kOutOfMemory = 7;

constexpr const char* kFormatOrCodecMessage =
    "→ERROR:正しいビデオフォーマットでないか、再生に必要なコーデックがインストールされていません。(";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::int32_t ScenePosition(std::string_view sceneText) {
  if (sceneText.empty()) return 0;
  while (!sceneText.empty() && IsBlank(sceneText.front())) sceneText.remove_prefix(1);
  while (!sceneText.empty() && IsBlank(sceneText.back())) sceneText.remove_suffix(1);
  if (!sceneText.empty() && sceneText.front() == '+') sceneText.remove_prefix(1);

  double seconds = 0.0;
  const char* first = sceneText.data();
  const char* last = first + sceneText.size();
  const auto [end, error] = std::from_chars(first, last, seconds, std::chars_format::general);
  if (sceneText.empty() || end != last || (error != std::errc{} && error != std::errc::result_out_of_range) ||
      std::isnan(seconds)) {
    throw Error(err::kTypeMismatch, "scene position is not a number");
  }
  const double whole = app::RoundHalfEven(seconds);
  if (error == std::errc::result_out_of_range || !(whole >= std::numeric_limits<std::int32_t>::min()) ||
      !(whole <= std::numeric_limits<std::int32_t>::max())) {
    throw Error(err::kOverflow, "scene position out of range");
  }
  return static_cast<std::int32_t>(whole);
}

double CapturePosition(const std::string& path, std::string_view sceneText, bool autoScene, int threads) {
  if (sceneText.empty() && autoScene) return video::AutoScenePosition(path, {.threads = threads});
  return static_cast<double>(ScenePosition(sceneText));
}

VideoCaptureResult CaptureVideoFrame(const std::string& path, std::string_view sceneText,
                                     imaging::ImagingControl& working, const VideoCaptureOptions& options) {
  VideoCaptureResult result;
  try {
    double position = 0.0;
    try {
      if (!(sceneText.empty() && options.autoScene)) position = ScenePosition(sceneText);
    } catch (const Error&) {
      // The clip is opened before its scene is read: a clip that cannot be played reports that.
      const video::MediaInfo info = video::ProbeMedia(path);
      if (info.hasVideo && !info.decoderAvailable) throw Error(video::err::kNoDecoder, "no decoder for " + path);
      throw;
    }
    imaging::Image frame = sceneText.empty() && options.autoScene
                               ? video::CaptureAutoScene(path, position, {.threads = options.threads})
                               : video::CaptureFrame(path, position, {.threads = options.threads});
    result.videoSize = {frame.width, frame.height};
    result.position = position;
    working.PutImage(std::move(frame));
    result.ok = true;
    return result;
  } catch (const Error& error) {
    result.number = error.number();
  } catch (const std::bad_alloc&) {
    result.number = kOutOfMemory;
  }

  // A clip without a video stream is logged like any other number: "→ERROR:" and " 0".
  result.deselect = true;
  if (video::err::IsFormatOrCodecError(result.number)) {
    result.logLines.push_back(path + "\r\n" + kFormatOrCodecMessage + app::SignedNumberText(result.number) + ")");
  } else {
    result.logLines.push_back(path);
    result.logLines.push_back("→ERROR:" + app::SignedNumberText(result.number));
  }
  return result;
}

}  // namespace mirelo::production
