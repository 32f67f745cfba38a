#pragma once

// Drives an MpvPlayer without an event loop: waits on its wakeups, renders frames at the clip's
// native size.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

#include "platform/imaging/image.h"
#include "platform/video/mpv_player.h"

namespace mirelo::test {

class PlayerHarness {
 public:
  PlayerHarness() : player_({.nullAudio = true}) {
    player_.SetWakeup([this] {
      const std::lock_guard lock(mutex_);
      ++wakes_;
      cv_.notify_all();
    });
  }
  ~PlayerHarness() { player_.SetWakeup({}); }

  video::MpvPlayer& player() { return player_; }

  // Pumps events until done() holds; false after the timeout.
  bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      player_.ProcessEvents();
      if (done()) return true;
      std::unique_lock lock(mutex_);
      const auto now = std::chrono::steady_clock::now();
      if (now >= deadline) return false;
      cv_.wait_until(lock, std::min(deadline, now + std::chrono::milliseconds(20)));
    }
  }

  // Opens the clip at start and waits until its frame is shown.
  bool Open(const std::filesystem::path& clip, double start, const video::MediaInfo& info) {
    const std::uint64_t before = player_.SeeksDone();
    player_.Open(clip, start, info.frameDuration, info);
    return WaitFor([&] { return player_.Failed() || (player_.Loaded() && player_.SeeksDone() > before); }) &&
           !player_.Failed();
  }

  bool Seek(double seconds) {
    const std::uint64_t before = player_.SeeksDone();
    player_.Seek(seconds);
    return WaitFor([&] { return player_.SeeksDone() > before; });
  }

  // Steps `frames` frames (one Step call: quick presses) and waits until the last is shown.
  bool Step(int frames) {
    player_.Step(frames);
    return WaitFor([&] { return player_.StepsLeft() == 0; });
  }

  // Lets the clip play for a while, then pauses it.
  void PlayFor(std::chrono::milliseconds span) {
    player_.Play();
    WaitFor([] { return false; }, span);
    const std::uint64_t before = player_.SeeksDone();
    player_.Pause();
    WaitFor([&] { return player_.SeeksDone() > before; });
  }

  // The frame on screen, rendered at width x height, as Rgb24.
  imaging::Image Grab(int width, int height) {
    WaitFor([&] { return player_.FrameWaiting(); }, std::chrono::milliseconds(500));
    const std::size_t stride = static_cast<std::size_t>(width) * 4;
    std::vector<std::uint8_t> rgbx(stride * static_cast<std::size_t>(height));
    imaging::Image image = imaging::Image::blank(width, height);
    if (!player_.Render(width, height, stride, rgbx.data())) return {};
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        for (int c = 0; c < 3; ++c) image.row(y)[x * 3 + c] = rgbx[static_cast<std::size_t>(y) * stride + x * 4 + c];
      }
    }
    return image;
  }

 private:
  video::MpvPlayer player_;
  std::mutex mutex_;
  std::condition_variable cv_;
  int wakes_ = 0;
};

}  // namespace mirelo::test
