#pragma once

// The right-hand side of the main window: the still preview LEAD1 with its size, and the video
// player in Video_Frame with scene choice. List1_Click, the selection handler, lives here.

#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include <QSize>

#include "platform/imaging/image.h"
#include "platform/video/media_probe.h"

class QListWidgetItem;

namespace mirelo::shell {
class Shell;
}
namespace mirelo::video {
class MpvPlayer;
}
namespace mirelo::window {
class MainWindow;
struct MainControls;
}  // namespace mirelo::window

namespace mirelo::filelist {

class VideoView;

// The message of the selection handler for an error number, and whether the entry's check box
// is cleared (the format-or-codec numbers, for a selected entry only).
struct PreviewFailure {
  QString text;
  bool deselect = false;
};
PreviewFailure PreviewFailureFor(std::int32_t number, const QString& path, bool selected);

// A scene position as List2 keeps it: sign-reserving, point as decimal separator, up to 15
// significant digits (12.5 -> " 12.5").
std::string SceneText(double seconds);

class PreviewPanel : public QObject {
  Q_OBJECT

 public:
  PreviewPanel(window::MainWindow& window, const window::MainControls& controls, shell::Shell& shell,
               bool silentPlayer);
  ~PreviewPanel() override;

  // The selection handler.
  void List1_Click();
  void ClearStill();
  void ReleaseVideo();
  void ShowStillInfo(bool on);
  void EnablePlayer(bool on);

  std::int16_t CurrentIndex = -1;
  std::string CurrentFile;
  std::int16_t IsPlaying = 0;
  double FrameStep = 0.0;

  video::MpvPlayer& Player();
  VideoView* View() const { return view_; }
  // A clip is open and libmpv has loaded it.
  bool VideoUsable() const;
  const video::MediaInfo& OpenMedia() const { return media_; }

 public slots:
  void V_Play_Click();
  void V_Pause_Click();
  void V_Stop_Click();
  void V_PF_Click();
  void V_PR_Click();
  void SL1_Click();
  void Timer1_Timer();
  void Chk_Mute_Click();
  void Bt_Select_Click();

 signals:
  // A new frame is painted in the video window (tests and benchmarks wait on it).
  void frameShown();

 private:
  void ShowStill(bool selected);
  void OpenVideo();
  void OnPlayerWakeup();
  void ReportPlayerFailure();
  void Deselect(QListWidgetItem& item);
  void SetSliderValue(int value);

  window::MainWindow& window_;
  const window::MainControls& c_;
  shell::Shell& shell_;
  bool silentPlayer_;
  std::unique_ptr<video::MpvPlayer> player_;  // made on first use: libmpv starts threads
  VideoView* view_ = nullptr;
  video::MediaInfo media_;
  // The last still shown, kept while its file is unchanged: the end of a run shows the last
  // entry twice, and a 24-megapixel photo takes a tenth of a second to decode even shrunk.
  struct ShownStill {
    std::string path;
    std::uintmax_t size = 0;
    std::int64_t modified = 0;
    QSize box;
    imaging::Image image;
  };
  ShownStill lastStill_;
  bool videoOpen_ = false;
  bool failureShown_ = false;  // the player's failure of the open clip has been reported
  std::atomic<bool> wakeupPosted_{false};
};

}  // namespace mirelo::filelist
