#include "filelist/preview_panel.h"

#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <system_error>
#include <new>
#include <thread>
#include <utility>

#include "app/utilities.h"
#include "app/window/image_view.h"
#include "app/window/main_controls.h"
#include "app/window/main_window.h"
#include "app/window/twips.h"
#include "filelist/video_view.h"
#include "platform/error.h"
#include "platform/imaging/imaging_control.h"
#include "platform/shell/shell.h"
#include "platform/video/mpv_player.h"
#include "platform/video/video_errors.h"
#include "production/batch_texts.h"
#include "production/extensions.h"
#include "production/video_capture.h"

namespace mirelo::filelist {
namespace {

// A frame time for clips that state no frame rate, so the step buttons still move.
constexpr double kFallbackFrameStep = 1.0 / 25.0;
// Design measures of Shape1 in twips.
constexpr double kShapeWidthTwips = 3000.0;

QString Q(const std::string& text) { return QString::fromStdString(text); }

std::filesystem::path FilePath(const std::string& path) { return std::filesystem::path(path); }

// A stored scene read back as a number: blanks around it allowed; anything else is 13.
double SceneSeconds(const std::string& text) {
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(begin, &end);
  while (end && *end == ' ') ++end;
  if (end == begin || !end || *end != '\0' || !std::isfinite(value)) throw Error(err::kTypeMismatch);
  return value;
}

int WholeSeconds(double seconds) {
  const double rounded = app::RoundHalfEven(seconds);
  if (!(rounded >= 0.0) || rounded > std::numeric_limits<int>::max()) return 0;
  return static_cast<int>(rounded);
}

}  // namespace

PreviewFailure PreviewFailureFor(std::int32_t number, const QString& path, bool selected) {
  const QString digits = Q(app::SignedNumberText(number));
  if (video::err::IsFormatOrCodecError(number) && selected) {
    return {path + QStringLiteral(u" は正しいビデオフォーマットでないか、再生に必要なコーデックがインストールされていません。(") +
                digits + QStringLiteral(u")"),
            true};
  }
  switch (number) {
    case err::kFileCannotBeRead: return {path + QStringLiteral(u" は読み込めません。"), false};
    case err::kInvalidFileFormat: return {path + QStringLiteral(u" のファイルフォーマットが不正です。"), false};
    default: return {QStringLiteral(u"Error code:") + digits, false};
  }
}

std::string SceneText(double seconds) {
  char text[40];
  std::snprintf(text, sizeof text, "%.15g", seconds);
  std::string result = text;
  if (result == "-0") result = "0";
  return seconds >= 0.0 || result == "0" ? " " + result : result;
}

PreviewPanel::PreviewPanel(window::MainWindow& window, const window::MainControls& controls, shell::Shell& shell,
                           bool silentPlayer)
    : QObject(&window), window_(window), c_(controls), shell_(shell), silentPlayer_(silentPlayer) {
  view_ = new VideoView(c_.Video_Frame->parentWidget());
  view_->hide();
  loader_ = new StillLoader(this);
  loader_->onDecoded = [this](const std::shared_ptr<const StillPreview>& still) { OnStillDecoded(still); };
  readAheadTimer_ = new QTimer(this);
  readAheadTimer_->setSingleShot(true);
  connect(readAheadTimer_, &QTimer::timeout, this, &PreviewPanel::ReadAhead);

  connect(c_.V_Play, &QPushButton::clicked, this, &PreviewPanel::V_Play_Click);
  connect(c_.V_Pause, &QPushButton::clicked, this, &PreviewPanel::V_Pause_Click);
  connect(c_.V_Stop, &QPushButton::clicked, this, &PreviewPanel::V_Stop_Click);
  connect(c_.V_PF, &QPushButton::clicked, this, &PreviewPanel::V_PF_Click);
  connect(c_.V_PR, &QPushButton::clicked, this, &PreviewPanel::V_PR_Click);
  connect(c_.Chk_Mute, &QCheckBox::clicked, this, &PreviewPanel::Chk_Mute_Click);
  connect(c_.Bt_Select, &QPushButton::clicked, this, &PreviewPanel::Bt_Select_Click);
  connect(c_.Timer1, &QTimer::timeout, this, &PreviewPanel::Timer1_Timer);
  // A stalled clip sends no more wakeups: the timer's ticks give it up.
  connect(c_.Timer1, &QTimer::timeout, this, &PreviewPanel::ReportPlayerFailure);
  // A drag ends with the release; a click on the groove or a key moves the value first, so the
  // handler runs once the new value is in place.
  connect(c_.SL1, &QSlider::sliderReleased, this, &PreviewPanel::SL1_Click);
  connect(c_.SL1, &QSlider::actionTriggered, this, [this](int action) {
    if (action == QAbstractSlider::SliderMove) return;  // dragging: wait for the release
    QTimer::singleShot(0, this, &PreviewPanel::SL1_Click);
  });
}

// One thread that looks for the auto scene of the clip asked for last; the panel owns it and
// joins it before it goes, so a result it posts never outlives the panel.
class PreviewPanel::AutoSceneSearch {
 public:
  explicit AutoSceneSearch(PreviewPanel& panel) : panel_(panel), thread_([this] { Run(); }) {}
  ~AutoSceneSearch() {
    {
      const std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }
  AutoSceneSearch(const AutoSceneSearch&) = delete;
  AutoSceneSearch& operator=(const AutoSceneSearch&) = delete;

  void Ask(std::string path, std::uint64_t ticket) {
    {
      const std::lock_guard lock(mutex_);
      asked_ = {std::move(path), ticket};
    }
    wake_.notify_one();
  }

 private:
  void Run() {
    for (;;) {
      std::pair<std::string, std::uint64_t> job;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return stop_ || asked_; });
        if (stop_) return;
        job = std::move(*asked_);
        asked_.reset();
      }
      double position = 0.0;
      try {
        position = production::CapturePosition(job.first, "", true);
      } catch (const Error&) {
        // The capture reports what is wrong with the clip; the player stays at its start.
      }
      QMetaObject::invokeMethod(
          &panel_, [panel = &panel_, ticket = job.second, position] { panel->OnAutoScene(ticket, position); },
          Qt::QueuedConnection);
    }
  }

  PreviewPanel& panel_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::optional<std::pair<std::string, std::uint64_t>> asked_;
  bool stop_ = false;
  std::thread thread_;  // last: starts once the rest is made
};

PreviewPanel::~PreviewPanel() {
  if (player_) player_->SetWakeup({});
}

video::MpvPlayer& PreviewPanel::Player() {
  if (!player_) {
    player_ = std::make_unique<video::MpvPlayer>(video::PlayerOptions{.nullAudio = silentPlayer_});
    player_->SetWakeup([this] {
      // From libmpv's threads: one pending call is enough, it drains everything.
      if (!wakeupPosted_.exchange(true)) {
        QMetaObject::invokeMethod(this, &PreviewPanel::OnPlayerWakeup, Qt::QueuedConnection);
      }
    });
  }
  return *player_;
}

bool PreviewPanel::VideoUsable() const { return videoOpen_ && player_ && player_->IsOpen() && !player_->Failed(); }

void PreviewPanel::OnPlayerWakeup() {
  wakeupPosted_.store(false);
  if (!player_) return;
  player_->ProcessEvents();
  ReportPlayerFailure();
  ApplyAutoScene();
  if (player_->FrameWaiting()) {
    if (videoOpen_) {
      view_->RenderFrom(*player_);
      Q_EMIT frameShown();
    } else {
      // Drop the frame of a clip already released.
      std::uint32_t pixel = 0;
      player_->Render(1, 1, 4, &pixel);
    }
  }
}

// libmpv gives up on a clip (or it stalls) after the open has returned, where the original's
// graph failed inside the open: the failure is handled as the open's would have been, once per
// clip, so the user learns why nothing shows and the batch run skips the entry.
void PreviewPanel::ReportPlayerFailure() {
  if (!videoOpen_ || !player_ || failureShown_) return;
  player_->CheckStalled();
  if (!player_->Failed()) return;
  failureShown_ = true;
  if (CurrentIndex < 0 || CurrentIndex >= c_.List1->count()) return;
  QListWidgetItem* item = c_.List1->item(CurrentIndex);
  const PreviewFailure failure =
      PreviewFailureFor(video::err::kUnsupportedFormat, item->text(), item->checkState() == Qt::Checked);
  shell_.ShowError(&window_, failure.text);
  if (failure.deselect) Deselect(*item);
  c_.List1->update();
}

void PreviewPanel::Deselect(QListWidgetItem& item) {
  // The handler's own deselection is no click on the entry: it must not run the handler again,
  // which would grey the player the failed open has just enabled.
  const QSignalBlocker quiet(c_.List1);
  item.setCheckState(Qt::Unchecked);
}

void PreviewPanel::ClearStill(bool keepPicture) {
  // Whatever the decode under way brings, this pass no longer waits for it.
  pending_.reset();
  if (!keepPicture) c_.LEAD1->Clear();
}

void PreviewPanel::NotePass() {
  constexpr qint64 kRepeatMs = 100;
  // Two passes of one event (the end of a run) are no key's pace: the first one's stands.
  constexpr qint64 kSameEventMs = 5;
  const qint64 sinceLast = sinceLastPass_.isValid() ? sinceLastPass_.elapsed() : kRepeatMs;
  sinceLastPass_.start();
  const int row = c_.List1->currentRow();
  if (sinceLast < kSameEventMs) return;
  passRepeats_ = sinceLast < kRepeatMs;
  if (passRepeats_) {
    passMs_ = passMs_ > 0 ? (3.0 * passMs_ + sinceLast) / 4 : sinceLast;
    if (row != lastPassRow_ && lastPassRow_ >= 0) passStep_ = row - lastPassRow_;
  } else {
    passMs_ = 0;
    passStep_ = 1;
  }
  lastPassRow_ = row;
}

bool PreviewPanel::CheckedStillAt(int row) const {
  if (row < 0 || row >= c_.List1->count() || window_.DropInProgress != 0 || window_.BatchRunning != 0) {
    return false;
  }
  const QListWidgetItem* item = c_.List1->item(row);
  return item->checkState() == Qt::Checked &&
         production::KindOf(QFile::encodeName(item->text()).toStdString()) == production::EntryKind::Still;
}

std::vector<std::string> PreviewPanel::StillsAfterCurrent(int count) const {
  std::vector<std::string> stills;
  for (int row = CurrentIndex + 1; row < c_.List1->count() && row <= CurrentIndex + 8; ++row) {
    if (static_cast<int>(stills.size()) == count) break;
    if (CheckedStillAt(row)) stills.push_back(QFile::encodeName(c_.List1->item(row)->text()).toStdString());
  }
  return stills;
}

void PreviewPanel::ReleaseVideo() {
  if (!videoOpen_) return;
  videoOpen_ = false;
  ++autoSceneTicket_;
  autoScenePosition_.reset();
  if (player_) player_->Close();
  view_->Clear();
  view_->hide();
  c_.Chk_Mute->setEnabled(false);
}

void PreviewPanel::ShowStillInfo(bool on) {
  if (!on) c_.Lb_s_size->setText(QString());
  c_.Lb_s_size->setEnabled(on);
}

void PreviewPanel::EnablePlayer(bool on) {
  for (QWidget* control : {static_cast<QWidget*>(c_.V_Stop), static_cast<QWidget*>(c_.V_Play),
                           static_cast<QWidget*>(c_.V_PR), static_cast<QWidget*>(c_.V_PF),
                           static_cast<QWidget*>(c_.V_Pause), static_cast<QWidget*>(c_.SL1),
                           static_cast<QWidget*>(c_.Chk_Mute), static_cast<QWidget*>(c_.Bt_Select)}) {
    control->setEnabled(on);
  }
  if (!on) c_.Lb_v_size->setText(QString());
  c_.Lb_v_size->setEnabled(on);
}

void PreviewPanel::List1_Click() {
  NotePass();
  // While a key repeats, the last picture stays until the next one is ready rather than the box
  // flashing empty at every step; its size label is gone at once.
  ClearStill(passRepeats_ && CheckedStillAt(c_.List1->currentRow()));
  ReleaseVideo();
  if (window_.DropInProgress == 0 && window_.BatchRunning == 0) {
    CurrentIndex = static_cast<std::int16_t>(c_.List1->currentRow());
    if (CurrentIndex < 0) {
      shell_.ShowError(&window_, QStringLiteral(u"リストが選択されていません"));
      c_.Bt_Go->setEnabled(false);
    } else {
      c_.Bt_Go->setEnabled(true);
      const QListWidgetItem* item = c_.List1->item(CurrentIndex);
      CurrentFile = QFile::encodeName(item->text()).toStdString();
      const bool selected = item->checkState() == Qt::Checked;
      try {
        if (production::KindOf(CurrentFile) == production::EntryKind::Still) {
          if (!ShowStill(selected)) return;  // the pass goes on when the decode has finished
        } else if (!selected) {
          ShowStillInfo(false);
          EnablePlayer(false);
        } else {
          OpenVideo();
        }
      } catch (const Error& error) {
        Fail(error.number(), CurrentIndex, selected);
        return;
      } catch (const std::bad_alloc&) {
        Fail(7, CurrentIndex, selected);
        return;
      }
    }
  }
  EndPass();
}

void PreviewPanel::EndPass() {
  c_.Lb_fi->setText(Q(app::SignedNumberText(c_.List1->count())));
  c_.List1->viewport()->update();
}

void PreviewPanel::Fail(std::int32_t number, int index, bool selected) {
  QListWidgetItem* item = c_.List1->item(index);
  const PreviewFailure failure = PreviewFailureFor(number, item->text(), selected);
  c_.LEAD1->Clear();  // an earlier entry's picture left up while a key repeated
  shell_.ShowError(&window_, failure.text);
  if (failure.deselect) Deselect(*c_.List1->item(index));
  c_.List1->update();
}

QSize PreviewPanel::StillBox() const { return c_.LEAD1->contentsRect().size() * c_.LEAD1->devicePixelRatioF(); }

bool PreviewPanel::ShowStill(bool selected) {
  if (!selected) {
    ShowStillInfo(false);
    EnablePlayer(false);
    return true;
  }
  ShowStillInfo(true);
  // The label never shows another picture's size: it stays empty until this one is decoded,
  // and after a failure.
  c_.Lb_s_size->setText(QString());
  EnablePlayer(false);
  const QSize box = StillBox();
  if (const auto kept = loader_->Find(CurrentFile, box)) {
    ShowPreview(*kept);
    AskForDecodes();
    return true;
  }
  pending_ = PendingStill{CurrentIndex, CurrentFile, box, selected};
  AskForDecodes();
  return false;
}

void PreviewPanel::ShowPreview(const StillPreview& still) {
  if (still.error != 0) throw Error(still.error);
  const imaging::Image& image = still.picture;
  c_.LEAD1->SetImage(image);
  const int width = image.sourceWidth > 0 ? image.sourceWidth : image.width;
  const int height = image.sourceHeight > 0 ? image.sourceHeight : image.height;
  c_.Lb_s_size->setText(Q(production::SizeCaptionFor(production::EntryKind::Still, width, height)));
}

// Passes closer together than a decode takes (a held arrow key): decoding the current entry
// would finish after the key has moved on. The stills the selection will have reached when a
// decode finishes are decoded instead, so the preview shows some of the photos passed over, each
// when its own entry is current. Once the passes pause, the current entry comes first.
void PreviewPanel::AskForDecodes() {
  if (!passRepeats_) {
    readAheadTimer_->stop();
    ReadAhead();
    return;
  }
  readAheadTimer_->start(100);
  if (window_.DropInProgress != 0 || window_.BatchRunning != 0) return;
  const double decodeMs = decodeMs_ > 0 ? decodeMs_ : 150.0;
  // A decode quicker than the key's pace is done before the next step: the current entry first.
  // Otherwise the steps the key will have made when a decode begun now ends, and one more; rows
  // on the key's own grid, so that a held Page Down lands on them too.
  const int stepsAhead =
      decodeMs < passMs_ ? 0 : std::min(16, static_cast<int>(std::ceil(decodeMs / passMs_)) + 1);
  std::vector<std::string> wanted;
  for (int steps : {stepsAhead, stepsAhead + 1}) {
    const int row = CurrentIndex + steps * passStep_;
    if (CheckedStillAt(row)) wanted.push_back(QFile::encodeName(c_.List1->item(row)->text()).toStdString());
  }
  loader_->Want(wanted, StillBox());
}

bool PreviewPanel::StillsBusy() const { return pending_ || readAheadTimer_->isActive() || !loader_->Idle(); }

// The current entry alone while the user waits for it (on a busy machine its own read-ahead
// would slow it down), then the next two stills the user will step to.
void PreviewPanel::ReadAhead() {
  if (window_.DropInProgress != 0 || window_.BatchRunning != 0) return;
  if (pending_) {
    loader_->Want({pending_->path}, pending_->box);
    return;
  }
  loader_->Want(StillsAfterCurrent(2), StillBox());
}

void PreviewPanel::OnStillDecoded(const std::shared_ptr<const StillPreview>& still) {
  if (still->decodeMs > 0) {
    decodeMs_ = decodeMs_ > 0 ? (3 * decodeMs_ + still->decodeMs) / 4 : still->decodeMs;
  }
  // A decode whose entry is no longer current is dropped (it stays kept for a later visit).
  if (!pending_ || pending_->path != still->path || pending_->box != still->box) return;
  const PendingStill pass = *pending_;
  pending_.reset();
  if (pass.index >= c_.List1->count() || window_.DropInProgress != 0 || window_.BatchRunning != 0) return;
  try {
    ShowPreview(*still);
  } catch (const Error& error) {
    Fail(error.number(), pass.index, pass.selected);
    ReadAhead();
    Q_EMIT stillShown();
    return;
  }
  EndPass();
  ReadAhead();
  Q_EMIT stillShown();
}

void PreviewPanel::ShowRunStill(int index, const imaging::Image& picture) {
  if (window_.BatchRunning == 0 || index != c_.List1->currentRow()) return;
  c_.LEAD1->SetImage(picture);
  c_.Lb_s_size->setText(Q(production::SizeCaptionFor(production::EntryKind::Still, picture.sourceWidth,
                                                      picture.sourceHeight)));
  Q_EMIT stillShown();
  // The last entry's is kept for the preview at the end of the run, when it is as large as the
  // preview's own decode would be.
  if (index != c_.List1->count() - 1) return;
  const QSize box = StillBox();
  QSize fitted(picture.sourceWidth, picture.sourceHeight);
  if (fitted.width() > box.width() || fitted.height() > box.height()) fitted.scale(box, Qt::KeepAspectRatio);
  if (picture.width + 1 < fitted.width() || picture.height + 1 < fitted.height()) return;
  StillPreview still;
  still.path = QFile::encodeName(c_.List1->item(index)->text()).toStdString();
  still.box = box;
  still.picture = picture;
  loader_->Keep(std::move(still));
}

void PreviewPanel::OpenVideo() {
  ShowStillInfo(false);
  EnablePlayer(true);
  media_ = video::ProbeMedia(FilePath(CurrentFile));
  // What the original's media services refused to render: no picture, no decoder for it.
  if (!media_.hasVideo) throw Error(video::err::kUnsupportedFormat, "no video stream");
  if (!media_.decoderAvailable || media_.shownWidth <= 0 || media_.shownHeight <= 0) {
    throw Error(video::err::kNoDecoder);
  }
  // The size the clip is shown and captured at (aspect and rotation applied).
  c_.Lb_v_size->setText(
      Q(production::SizeCaptionFor(production::EntryKind::Video, media_.shownWidth, media_.shownHeight)));

  // Shape1 takes the clip's shown aspect ratio at its design width; a tall clip is held to the
  // room above the player's buttons and shown letterboxed there.
  const double shapeHeightTwips = kShapeWidthTwips * media_.shownHeight / media_.shownWidth;
  const int shapeHeight =
      std::clamp(static_cast<int>(app::RoundHalfEven(shapeHeightTwips / window::kTwipsPerPixel)), 1,
                 c_.V_Stop->y() - c_.Shape1->y() - 2);
  c_.Shape1->resize(c_.Shape1->width(), shapeHeight);
  view_->setGeometry(c_.Shape1->x() + c_.Video_Frame->x() + 1, c_.Shape1->y() + c_.Video_Frame->y(),
                     c_.Shape1->width(), c_.Shape1->height());

  const double duration = media_.duration > 0.0 && std::isfinite(media_.duration) ? media_.duration : 0.0;
  {
    const QSignalBlocker block(c_.SL1);
    c_.SL1->setRange(0, WholeSeconds(duration));
    c_.SL1->setTickInterval(WholeSeconds(duration / 10.0));
  }
  FrameStep = media_.frameDuration > 0.0 && std::isfinite(media_.frameDuration) ? media_.frameDuration
                                                                                 : kFallbackFrameStep;
  const std::string scene = c_.List2->item(CurrentIndex)->text().toStdString();
  double start = 0.0;
  int value = 0;
  if (!scene.empty()) {
    start = SceneSeconds(scene);
    value = WholeSeconds(std::clamp(start, 0.0, duration > 0.0 ? duration : start));
  }
  ++autoSceneTicket_;
  autoScenePosition_.reset();
  if (scene.empty() && window_.Settings().AutoScene == 1) {
    // Opened at its start, then moved to the frame the run will take once that is found (a clip
    // with sparse key frames may take seconds); the entry's scene stays unchosen.
    if (!autoScene_) autoScene_ = std::make_unique<AutoSceneSearch>(*this);
    autoScene_->Ask(FilePath(CurrentFile), autoSceneTicket_);
  }
  video::MpvPlayer& player = Player();
  seeksAtOpen_ = player.SeeksDone();
  player.Open(FilePath(CurrentFile), start, FrameStep, media_);
  videoOpen_ = true;
  failureShown_ = false;
  view_->show();
  view_->raise();
  SetSliderValue(value);
  if (!c_.Timer1->isActive()) c_.Timer1->start();
  c_.Chk_Mute->setEnabled(true);
  Chk_Mute_Click();
}

void PreviewPanel::OnAutoScene(std::uint64_t ticket, double position) {
  if (ticket != autoSceneTicket_ || !VideoUsable() || IsPlaying == -1) return;
  autoScenePosition_ = position;
  SetSliderValue(WholeSeconds(position));
  ApplyAutoScene();
}

// The clip's opening seek would undo one made before its first frame is shown.
void PreviewPanel::ApplyAutoScene() {
  if (!autoScenePosition_ || !VideoUsable() || player_->SeeksDone() <= seeksAtOpen_) return;
  player_->Seek(*autoScenePosition_);
  autoScenePosition_.reset();
}

void PreviewPanel::SetSliderValue(int value) {
  const QSignalBlocker block(c_.SL1);
  c_.SL1->setValue(value);
}

void PreviewPanel::V_Play_Click() {
  if (!VideoUsable()) return;
  ++autoSceneTicket_;
  autoScenePosition_.reset();
  player_->Play();
  IsPlaying = -1;
}

void PreviewPanel::V_Pause_Click() {
  if (!VideoUsable()) return;
  ++autoSceneTicket_;
  autoScenePosition_.reset();
  player_->Pause();
  IsPlaying = 0;
}

void PreviewPanel::V_Stop_Click() {
  if (!VideoUsable()) return;
  ++autoSceneTicket_;
  autoScenePosition_.reset();
  IsPlaying = 0;
  player_->Pause();
  player_->Seek(0.0);
  SetSliderValue(0);
}

// One frame from the frame on screen; presses quicker than the steps are queued, not lost.
void PreviewPanel::V_PF_Click() {
  if (!VideoUsable()) return;
  ++autoSceneTicket_;
  autoScenePosition_.reset();
  player_->Step(1);
}

void PreviewPanel::V_PR_Click() {
  if (!VideoUsable()) return;
  ++autoSceneTicket_;
  autoScenePosition_.reset();
  player_->Step(-1);
}

void PreviewPanel::SL1_Click() {
  if (!VideoUsable()) return;
  ++autoSceneTicket_;
  autoScenePosition_.reset();
  player_->Pause();
  player_->Seek(c_.SL1->value());
}

void PreviewPanel::Timer1_Timer() {
  if (IsPlaying != -1 || !VideoUsable()) return;
  SetSliderValue(WholeSeconds(player_->Position()));
}

void PreviewPanel::Chk_Mute_Click() {
  if (!VideoUsable()) return;
  if (!media_.hasAudio) {
    // The clip has no sound to control.
    c_.Chk_Mute->setEnabled(false);
    return;
  }
  if (c_.Chk_Mute->isChecked()) {
    window_.SavedVolume = static_cast<std::int16_t>(player_->Volume());
    player_->SetVolume(-10000);
  } else {
    player_->SetVolume(window_.SavedVolume);
  }
}

void PreviewPanel::Bt_Select_Click() {
  if (!VideoUsable() || CurrentIndex < 0 || CurrentIndex >= c_.List2->count()) return;
  player_->Pause();
  c_.List2->item(CurrentIndex)->setText(Q(SceneText(player_->Position())));
}

}  // namespace mirelo::filelist
