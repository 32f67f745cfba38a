#pragma once

// The preview player: libmpv behind one small class, without any GUI toolkit. libmpv decodes on
// its own threads and renders each new frame in software into memory the caller owns; the
// caller is told through the wakeup callback (from any thread) that events or a frame wait, and
// then calls ProcessEvents and Render on its own thread.
//
// Every seek is exact and shows the frame that is on screen at the position asked for (the frame
// whose display interval holds it), which is also the frame CaptureFrame returns.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "platform/video/media_probe.h"

struct mpv_handle;
struct mpv_render_context;

namespace mirelo::video {

struct PlayerOptions {
  // No sound output at all (tests, machines without sound).
  bool nullAudio = false;
};

// Volume in hundredths of a decibel (0 full, -10000 silence) and libmpv's cubic percent.
double VolumePercentFromHundredthsDb(std::int32_t hundredths);
std::int32_t HundredthsDbFromVolumePercent(double percent);

class MpvPlayer {
 public:
  explicit MpvPlayer(const PlayerOptions& options = {});
  ~MpvPlayer();
  MpvPlayer(const MpvPlayer&) = delete;
  MpvPlayer& operator=(const MpvPlayer&) = delete;

  // Called from libmpv's threads whenever ProcessEvents or Render has something to do. Must not
  // call back into the player; set before Open.
  void SetWakeup(std::function<void()> wakeup);

  // Starts loading the clip paused at `start` seconds (exact). frameStep is the clip's frame
  // time, used to make seeks land on the frame on screen at a position. `info` is the clip's
  // probe: its mirroring and rotation are applied here exactly as the capture applies them
  // (libmpv's own reading of the display matrix knows no mirroring), and libmpv applies the
  // sample aspect ratio as the capture does. Loading goes on in the background; Loaded() tells
  // when the first frame is there.
  void Open(const std::filesystem::path& path, double start, double frameStep, const MediaInfo& info);
  // Stops and forgets the clip; the player shows nothing.
  void Close();
  bool IsOpen() const { return open_; }
  // The clip has been loaded (false while loading and after a load failed).
  bool Loaded() const { return loaded_; }
  // libmpv gave up on the clip, or it stalled (see CheckStalled).
  bool Failed() const { return failed_; }
  // A load or seek that has shown no frame after this long is given up: a clip cut after its
  // headers opens in libmpv, which then waits for frames that never come and says nothing.
  static constexpr std::chrono::seconds kStallBound{10};
  // Marks the clip failed when a seek, or the first frame, has waited longer than kStallBound; true when it
  // has just been given up. Also done by ProcessEvents; callers with a timer call it on ticks,
  // since a stalled clip sends no more wakeups.
  bool CheckStalled();

  void Play();
  // Pausing a playing clip shows the frame at the position it stops at (an exact seek there), so
  // that the picture and the position agree.
  void Pause();
  // Exact seek: the frame on screen at `seconds` (the first frame before it, the last after the
  // end). The picture follows once the seek is done.
  void Seek(double seconds);
  // One frame forward (frames > 0) or back (< 0) from the frame on screen, paused, as many
  // frames as asked: steps asked for while one is under way are carried out after it, so quick
  // presses each count. The next frame is the first one after the frame shown, whatever the
  // clip's frame rate says (variable rates, dropped frames). At the last frame a step forward
  // stays there and the position is the duration; at the first a step back stays there and the
  // position is 0.
  void Step(int frames);
  // Steps asked for and not yet shown (the one under way included).
  int StepsLeft() const { return stepsWaiting_ + stepping_; }
  // The position of the frame on screen in seconds (while a seek is under way, the position
  // asked for); 0 when nothing is open or known yet.
  double Position() const;
  // The size the current frame is shown at (aspect and turn applied); 0 x 0 before the first.
  struct Size {
    int width = 0;
    int height = 0;
  };
  Size ShownSize() const;
  double Duration() const;
  // Number of seeks and steps (the load included) that have completed with their frame shown.
  std::uint64_t SeeksDone() const { return seeksDone_; }

  void SetVolume(std::int32_t hundredthsDb);
  std::int32_t Volume() const;

  // Drains libmpv's events and updates the state above.
  void ProcessEvents();
  // Whether a new frame is waiting to be rendered.
  bool FrameWaiting();
  // Renders the current frame scaled into width x height RGBX pixels (4 bytes each, stride a
  // multiple of 4, 64 recommended). False when nothing could be rendered.
  bool Render(int width, int height, std::size_t stride, void* pixels);

 private:
  void Command(std::initializer_list<const char*> args);
  double Property(const char* name) const;
  bool Flag(const char* name) const;

  mpv_handle* mpv_ = nullptr;
  mpv_render_context* render_ = nullptr;
  std::function<void()> wakeup_;
  bool open_ = false;
  bool loaded_ = false;
  bool failed_ = false;
  bool frameWaiting_ = false;
  double frameStep_ = 0.0;
  double duration_ = 0.0;  // the probe's
  std::uint64_t seeksDone_ = 0;
  // The position asked for while libmpv is still seeking there (its time-pos is the shifted
  // target until the frame is shown).
  std::optional<double> pending_;
  std::chrono::steady_clock::time_point pendingSince_;
  bool frameSeen_ = false;  // a frame of the open clip has been rendered
  bool correcting_ = false;
  void StartStep();
  void EndStep();
  void ForgetSteps();
  int stepsWaiting_ = 0;  // steps asked for and not yet begun, with their direction
  int stepping_ = 0;      // the direction of the step under way, 0 for none
  double stepFrom_ = 0.0;  // the position of the frame on screen when it began
  // The position a step that could not move reports (the duration, or 0).
  std::optional<double> held_;
};

}  // namespace mirelo::video
