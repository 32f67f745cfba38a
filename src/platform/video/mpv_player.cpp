#include "platform/video/mpv_player.h"

#include <mpv/client.h>
#include <mpv/render.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <string>

#include "platform/error.h"
#include "platform/video/media_probe.h"
#include "platform/video/video_errors.h"

namespace mirelo::video {
namespace {

// libmpv's precise seek shows the first frame whose time is not more than this before the
// target; the rest of the seek arithmetic depends on it.
constexpr double kMpvSeekSlack = 0.005;
// Positions within a millisecond of a frame's start count as that frame (sums of frame times
// are not exact in binary).
constexpr double kFrameTolerance = 0.001;

void SetOption(mpv_handle* mpv, const char* name, const char* value) {
  const int ret = mpv_set_option_string(mpv, name, value);
  if (ret < 0) {
    throw Error(err::kUnexpected, std::string("libmpv option ") + name + ": " + mpv_error_string(ret));
  }
}

// libavfilter's filters that show a stored picture mirrored left to right (when asked) and then
// turned clockwise: the capture's turn, pixel for pixel.
const char* TurnFilters(int rotation, bool mirrored) {
  switch (rotation) {
    case 90: return mirrored ? "lavfi-transpose=dir=clock_flip" : "lavfi-transpose=dir=clock";
    case 180: return mirrored ? "lavfi-vflip" : "lavfi-hflip,lavfi-vflip";
    case 270: return mirrored ? "lavfi-transpose=dir=cclock_flip" : "lavfi-transpose=dir=cclock";
    default: return mirrored ? "lavfi-hflip" : "";
  }
}

}  // namespace

double VolumePercentFromHundredthsDb(std::int32_t hundredths) {
  if (hundredths >= 0) return 100.0;
  if (hundredths <= -10000) return 0.0;
  // libmpv's volume is cubic: gain = (percent / 100)^3, so dB = 60 log10(percent / 100).
  return 100.0 * std::pow(10.0, hundredths / 100.0 / 60.0);
}

std::int32_t HundredthsDbFromVolumePercent(double percent) {
  if (!(percent > 0.0)) return -10000;
  if (percent >= 100.0) return 0;
  const double hundredths = 6000.0 * std::log10(percent / 100.0);
  return static_cast<std::int32_t>(std::max(-10000.0, std::nearbyint(hundredths)));
}

MpvPlayer::MpvPlayer(const PlayerOptions& options) {
  // libmpv refuses to start unless numbers are formatted the C way.
  std::setlocale(LC_NUMERIC, "C");
  mpv_ = mpv_create();
  if (!mpv_) throw Error(err::kUnexpected, "libmpv could not be created");
  try {
    SetOption(mpv_, "config", "no");
    SetOption(mpv_, "load-scripts", "no");
    SetOption(mpv_, "osc", "no");
    SetOption(mpv_, "input-default-bindings", "no");
    SetOption(mpv_, "input-vo-keyboard", "no");
    SetOption(mpv_, "terminal", "no");
    SetOption(mpv_, "msg-level", "all=no");
    SetOption(mpv_, "ytdl", "no");
    SetOption(mpv_, "vo", "libmpv");
    SetOption(mpv_, "hwdec", "no");
    // The display matrix is applied by our own filters (see Open), never a second time by libmpv.
    SetOption(mpv_, "video-rotate", "no");
    SetOption(mpv_, "hr-seek", "yes");
    SetOption(mpv_, "hr-seek-framedrop", "no");
    // Demuxers without an index (MPEG program streams) land after the target when asked to seek
    // right to it; starting two seconds earlier lets the exact seek decode up to the frame.
    SetOption(mpv_, "hr-seek-demuxer-offset", "2");
    SetOption(mpv_, "keep-open", "always");
    SetOption(mpv_, "idle", "yes");
    SetOption(mpv_, "pause", "yes");
    SetOption(mpv_, "osd-level", "0");
    SetOption(mpv_, "audio-display", "no");
    SetOption(mpv_, "sub-auto", "no");
    SetOption(mpv_, "audio-file-auto", "no");
    SetOption(mpv_, "cover-art-auto", "no");
    SetOption(mpv_, "load-unsafe-playlists", "no");
    SetOption(mpv_, "access-references", "no");
    SetOption(mpv_, "ordered-chapters", "no");
    SetOption(mpv_, "save-position-on-quit", "no");
    SetOption(mpv_, "resume-playback", "no");
    // Only FFmpeg's demuxers of real media containers read the file, with the same protocol and
    // format restrictions as the frame capture: a playlist named .avi plays nothing.
    SetOption(mpv_, "demuxer", "lavf");
    {
      // A map node: the demuxer list holds commas, which the text form would split at.
      char protocolKey[] = "protocol_whitelist";
      char formatKey[] = "format_whitelist";
      char file[] = "file";
      std::string demuxers = AllowedDemuxers();
      mpv_node values[2];
      values[0].format = MPV_FORMAT_STRING;
      values[0].u.string = file;
      values[1].format = MPV_FORMAT_STRING;
      values[1].u.string = demuxers.data();
      char* keys[2] = {protocolKey, formatKey};
      mpv_node_list list{2, values, keys};
      mpv_node map;
      map.format = MPV_FORMAT_NODE_MAP;
      map.u.list = &list;
      const int set = mpv_set_option(mpv_, "demuxer-lavf-o", MPV_FORMAT_NODE, &map);
      if (set < 0) throw Error(err::kUnexpected, std::string("libmpv option demuxer-lavf-o: ") + mpv_error_string(set));
    }
    SetOption(mpv_, "demuxer-lavf-probe-info", "yes");
    SetOption(mpv_, "video-timing-offset", "0");
    if (options.nullAudio) SetOption(mpv_, "ao", "null");
    const int ret = mpv_initialize(mpv_);
    if (ret < 0) throw Error(err::kUnexpected, std::string("libmpv: ") + mpv_error_string(ret));

    char sw[] = "sw";
    mpv_render_param params[] = {{MPV_RENDER_PARAM_API_TYPE, sw}, {MPV_RENDER_PARAM_INVALID, nullptr}};
    const int created = mpv_render_context_create(&render_, mpv_, params);
    if (created < 0) throw Error(err::kUnexpected, std::string("libmpv renderer: ") + mpv_error_string(created));
  } catch (...) {
    if (render_) mpv_render_context_free(render_);
    mpv_terminate_destroy(mpv_);
    throw;
  }
  mpv_observe_property(mpv_, 0, "pause", MPV_FORMAT_FLAG);
}

MpvPlayer::~MpvPlayer() {
  // The callbacks must be gone before the state they use.
  mpv_render_context_set_update_callback(render_, nullptr, nullptr);
  mpv_set_wakeup_callback(mpv_, nullptr, nullptr);
  mpv_render_context_free(render_);
  mpv_terminate_destroy(mpv_);
}

void MpvPlayer::SetWakeup(std::function<void()> wakeup) {
  mpv_render_context_set_update_callback(render_, nullptr, nullptr);
  mpv_set_wakeup_callback(mpv_, nullptr, nullptr);
  wakeup_ = std::move(wakeup);
  if (!wakeup_) return;
  auto call = [](void* self) { static_cast<MpvPlayer*>(self)->wakeup_(); };
  mpv_set_wakeup_callback(mpv_, call, this);
  mpv_render_context_set_update_callback(render_, call, this);
}

void MpvPlayer::Command(std::initializer_list<const char*> args) {
  const char* argv[8] = {};
  std::size_t n = 0;
  for (const char* arg : args) {
    if (n + 1 < std::size(argv)) argv[n++] = arg;
  }
  // Asynchronous: a slow clip never blocks the caller's thread.
  mpv_command_async(mpv_, 0, argv);
}

bool MpvPlayer::Flag(const char* name) const {
  int value = 0;
  return mpv_get_property(mpv_, name, MPV_FORMAT_FLAG, &value) >= 0 && value != 0;
}

double MpvPlayer::Property(const char* name) const {
  double value = 0.0;
  if (mpv_get_property(mpv_, name, MPV_FORMAT_DOUBLE, &value) < 0 || !std::isfinite(value)) return 0.0;
  return value;
}

void MpvPlayer::Open(const std::filesystem::path& path, double start, double frameStep, const MediaInfo& info) {
  Close();
  std::string vf = TurnFilters(info.rotation, info.mirrored);
  // libmpv's software renderer would take PQ and HLG to display light and clip it (a 40 % grey of
  // an HLG clip became white) and map BT.2020 onto BT.709: re-tagged, the coded values are shown
  // as SDR BT.709, as the capture shows them.
  if (info.hdrOrWideGamut) vf = "format=gamma=bt.1886:primaries=bt.709" + (vf.empty() ? "" : "," + vf);
  const int filters = mpv_set_property_string(mpv_, "vf", vf.c_str());
  if (filters < 0) throw Error(err::kUnexpected, std::string("libmpv filters: ") + mpv_error_string(filters));
  frameStep_ = frameStep > 0.0 && std::isfinite(frameStep) ? frameStep : 0.0;
  duration_ = info.duration > 0.0 && std::isfinite(info.duration) ? info.duration : 0.0;
  const double target = std::max(0.0, start + kFrameTolerance + kMpvSeekSlack - frameStep_);
  char options[64];
  std::snprintf(options, sizeof options, "start=%.6f,pause=yes", start > 0.0 ? target : 0.0);
  // Every clip starts at full volume, as a new graph did; set now so that it reads so at once.
  double full = 100.0;
  mpv_set_property(mpv_, "volume", MPV_FORMAT_DOUBLE, &full);
  // An absolute path never reads as a URL or an option.
  const std::string file = std::filesystem::absolute(path).string();
  const char* argv[] = {"loadfile", file.c_str(), "replace", options, nullptr};
  mpv_command(mpv_, argv);
  open_ = true;
  pending_ = std::max(0.0, start);
  pendingSince_ = std::chrono::steady_clock::now();
  frameSeen_ = false;
  correcting_ = false;
  ForgetSteps();
}

bool MpvPlayer::CheckStalled() {
  if (!open_ || failed_ || (!pending_ && stepping_ == 0 && frameSeen_)) return false;
  if (std::chrono::steady_clock::now() - pendingSince_ < kStallBound) return false;
  // Stop libmpv reading on; the clip stays "open" and failed until it is closed.
  const char* argv[] = {"stop", nullptr};
  mpv_command(mpv_, argv);
  failed_ = true;
  loaded_ = false;
  pending_.reset();
  ForgetSteps();
  return true;
}

void MpvPlayer::Close() {
  if (!open_) return;
  const char* argv[] = {"stop", nullptr};
  mpv_command(mpv_, argv);
  open_ = false;
  loaded_ = false;
  failed_ = false;
  frameWaiting_ = false;
  pending_.reset();
  ForgetSteps();
}

void MpvPlayer::ForgetSteps() {
  stepsWaiting_ = 0;
  stepping_ = 0;
  held_.reset();
}

void MpvPlayer::Play() {
  if (!loaded_) return;
  // Steps not yet begun are dropped; one under way lands and playing goes on from there.
  stepsWaiting_ = 0;
  held_.reset();
  int no = 0;
  mpv_set_property(mpv_, "pause", MPV_FORMAT_FLAG, &no);
}

void MpvPlayer::Pause() {
  if (!loaded_) return;
  int paused = 1;
  mpv_get_property(mpv_, "pause", MPV_FORMAT_FLAG, &paused);
  int yes = 1;
  mpv_set_property(mpv_, "pause", MPV_FORMAT_FLAG, &yes);
  if (paused || pending_ || stepping_ != 0) return;
  // While playing, libmpv's position is that of the frame handed to the renderer ahead of its
  // time; paused before that time, the screen keeps the frame before. The frame at the position
  // is shown, so that the picture, the steps from it and the scene stored agree.
  Seek(Property("time-pos"));
}

void MpvPlayer::Seek(double seconds) {
  if (!loaded_ || !std::isfinite(seconds)) return;
  // libmpv lands on the first frame at or after the target; the frame on screen at `seconds`
  // starts at most one frame time before it.
  const double target = std::max(0.0, seconds + kFrameTolerance + kMpvSeekSlack - frameStep_);
  char text[32];
  std::snprintf(text, sizeof text, "%.6f", target);
  Command({"seek", text, "absolute+exact"});
  if (!pending_) pendingSince_ = std::chrono::steady_clock::now();
  pending_ = std::max(0.0, seconds);
  correcting_ = false;
  // A seek replaces the steps: the one under way, if any, is overtaken by it.
  ForgetSteps();
}

void MpvPlayer::Step(int frames) {
  if (!loaded_ || frames == 0) return;
  Pause();
  stepsWaiting_ += frames;
  if (stepping_ == 0 && !pending_) StartStep();
}

// Steps are made from the frame on screen as libmpv times it, not as position + frame time: a
// clip whose frames are not evenly spaced (a dropped frame, a variable rate) would otherwise
// step onto the frame already shown and stay there.
void MpvPlayer::StartStep() {
  if (stepsWaiting_ == 0) return;
  const int direction = stepsWaiting_ > 0 ? 1 : -1;
  const bool atEnd = Flag("eof-reached");
  if ((held_ && (direction > 0) == (*held_ > 0.0)) || (direction > 0 && atEnd)) {
    // Already at that end: nothing further that way.
    if (!held_ && atEnd) held_ = std::max(duration_ > 0.0 ? duration_ : Duration(), Property("time-pos"));
    stepsWaiting_ = 0;
    return;
  }
  stepsWaiting_ -= direction;
  stepFrom_ = Property("time-pos");
  stepping_ = direction;
  pendingSince_ = std::chrono::steady_clock::now();
  if (direction > 0) {
    // libmpv shows the first frame not more than its slack before the target: the first frame
    // that starts after the one on screen.
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", stepFrom_ + kFrameTolerance + kMpvSeekSlack);
    Command({"seek", text, "absolute+exact"});
  } else {
    // An exact seek to the last frame that starts before the one on screen.
    Command({"frame-back-step"});
  }
}

void MpvPlayer::EndStep() {
  const double now = Property("time-pos");
  held_.reset();
  if (stepping_ > 0 && now <= stepFrom_ + kFrameTolerance) {
    // No frame after the last: it stays, at the clip's end.
    held_ = std::max(duration_ > 0.0 ? duration_ : Duration(), stepFrom_);
  } else if (stepping_ < 0 && now >= stepFrom_ - kFrameTolerance) {
    held_ = 0.0;
  }
  stepping_ = 0;
  ++seeksDone_;
  StartStep();
}

double MpvPlayer::Position() const {
  if (!open_) return 0.0;
  if (pending_) return *pending_;
  // While a step is under way its frame is not shown yet.
  if (stepping_ != 0) return stepFrom_;
  if (held_) return *held_;
  return Property("time-pos");
}

MpvPlayer::Size MpvPlayer::ShownSize() const {
  if (!open_) return {};
  std::int64_t width = 0;
  std::int64_t height = 0;
  if (mpv_get_property(mpv_, "video-out-params/dw", MPV_FORMAT_INT64, &width) < 0 ||
      mpv_get_property(mpv_, "video-out-params/dh", MPV_FORMAT_INT64, &height) < 0) {
    return {};
  }
  return {static_cast<int>(width), static_cast<int>(height)};
}

double MpvPlayer::Duration() const { return open_ ? Property("duration") : 0.0; }

void MpvPlayer::SetVolume(std::int32_t hundredthsDb) {
  double percent = VolumePercentFromHundredthsDb(hundredthsDb);
  mpv_set_property(mpv_, "volume", MPV_FORMAT_DOUBLE, &percent);
}

std::int32_t MpvPlayer::Volume() const { return HundredthsDbFromVolumePercent(Property("volume")); }

void MpvPlayer::ProcessEvents() {
  for (;;) {
    const mpv_event* event = mpv_wait_event(mpv_, 0);
    if (event->event_id == MPV_EVENT_NONE) break;
    switch (event->event_id) {
      case MPV_EVENT_FILE_LOADED:
        if (open_) loaded_ = true;
        break;
      case MPV_EVENT_PLAYBACK_RESTART:
        if (!open_) break;
        if (stepping_ != 0 && !pending_) {
          EndStep();
          break;
        }
        if (pending_ && !correcting_ && frameStep_ > 0.0 && Property("time-pos") > *pending_ + kFrameTolerance) {
          // libmpv went one frame too far (it happens with AVI timing): the frame on screen at the
          // position is the one before. A first frame that starts after the position stays.
          correcting_ = true;
          Command({"frame-back-step"});
          break;
        }
        correcting_ = false;
        ++seeksDone_;
        pending_.reset();
        // Steps asked for while the seek ran start from its frame.
        StartStep();
        break;
      case MPV_EVENT_END_FILE: {
        const auto* end = static_cast<const mpv_event_end_file*>(event->data);
        if (open_ && end->reason == MPV_END_FILE_REASON_ERROR) {
          failed_ = true;
          loaded_ = false;
        }
        break;
      }
      default:
        break;
    }
  }
  CheckStalled();
}

bool MpvPlayer::FrameWaiting() {
  if (mpv_render_context_update(render_) & MPV_RENDER_UPDATE_FRAME) frameWaiting_ = true;
  return frameWaiting_;
}

bool MpvPlayer::Render(int width, int height, std::size_t stride, void* pixels) {
  if (width <= 0 || height <= 0 || !pixels) return false;
  int size[2] = {width, height};
  char format[] = "rgb0";
  mpv_render_param params[] = {{MPV_RENDER_PARAM_SW_SIZE, size},
                               {MPV_RENDER_PARAM_SW_FORMAT, format},
                               {MPV_RENDER_PARAM_SW_STRIDE, &stride},
                               {MPV_RENDER_PARAM_SW_POINTER, pixels},
                               {MPV_RENDER_PARAM_INVALID, nullptr}};
  frameWaiting_ = false;
  const bool rendered = mpv_render_context_render(render_, params) >= 0;
  if (rendered && open_) frameSeen_ = true;
  return rendered;
}

}  // namespace mirelo::video
