#pragma once

// The right-hand side of the main window: the still preview LEAD1 with its size, and the video
// player in Video_Frame with scene choice. List1_Click, the selection handler, lives here.

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include <QSize>

#include "filelist/still_loader.h"
#include "platform/imaging/image.h"
#include "platform/video/media_probe.h"

class QListWidgetItem;
class QTimer;

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

  // The selection handler. A still is decoded off the window's thread; the pass ends (size label,
  // failure message, Lb_fi) when its decode has finished, if its entry is still current.
  void List1_Click();
  // keepPicture: LEAD1 keeps its picture until the pass shows another (a repeating key).
  void ClearStill(bool keepPicture = false);
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

  // LEAD1's box in device pixels: still previews are decoded and kept at this size.
  QSize StillBox() const;
  // The batch run loaded entry index's still: shown while the entry is current, and kept for the
  // preview at the end of the run.
  void ShowRunStill(int index, const imaging::Image& picture);
  // A selection pass waits for its still's decode.
  bool StillPending() const { return pending_.has_value(); }
  StillLoader& Loader() { return *loader_; }
  // A pass waits for its still, or decodes are asked for or under way (tests and benchmarks).
  bool StillsBusy() const;

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
  // A still (or its failure) reached LEAD1 after its decode, or the batch run showed one.
  void stillShown();

 private:
  // False when the pass waits for the decode.
  bool ShowStill(bool selected);
  void ShowPreview(const StillPreview& still);
  void OnStillDecoded(const std::shared_ptr<const StillPreview>& still);
  void NotePass();
  bool CheckedStillAt(int row) const;
  // Up to count checked stills in the 8 rows after the current entry.
  std::vector<std::string> StillsAfterCurrent(int count) const;
  void AskForDecodes();
  void ReadAhead();
  void Fail(std::int32_t number, int index, bool selected);
  void EndPass();
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
  StillLoader* loader_ = nullptr;
  QTimer* readAheadTimer_ = nullptr;
  QElapsedTimer sinceLastPass_;
  bool passRepeats_ = false;  // this pass follows the last one closer than a key repeats
  double passMs_ = 0;         // the repeating passes' pace
  int passStep_ = 1;          // rows per repeating pass, with its direction
  int lastPassRow_ = -1;
  double decodeMs_ = 0;       // the stills' recent decode time
  // The selection pass waiting for its still.
  struct PendingStill {
    int index = -1;
    std::string path;
    QSize box;
    bool selected = true;
  };
  std::optional<PendingStill> pending_;
  bool videoOpen_ = false;
  bool failureShown_ = false;  // the player's failure of the open clip has been reported
  std::atomic<bool> wakeupPosted_{false};
  // The auto scene of the open clip is looked for beside the window; a result is used only while
  // its ticket is current (no other clip opened, no step, seek or play since).
  std::uint64_t autoSceneTicket_ = 0;
  std::optional<double> autoScenePosition_;  // found, waiting for the clip's first frame
  std::uint64_t seeksAtOpen_ = 0;
  void OnAutoScene(std::uint64_t ticket, double position);
  void ApplyAutoScene();
  class AutoSceneSearch;
  std::unique_ptr<AutoSceneSearch> autoScene_;  // last: its thread ends before the rest goes
};

}  // namespace mirelo::filelist
