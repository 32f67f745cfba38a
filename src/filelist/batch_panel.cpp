#include "filelist/batch_panel.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <unordered_set>

#include "app/window/main_controls.h"
#include "app/window/main_window.h"
#include "filelist/file_list_panel.h"
#include "filelist/preview_panel.h"
#include "platform/shell/shell.h"
#include "production/batch_texts.h"

namespace mirelo::filelist {
namespace {

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

// The engine's front end on its own thread: every call is posted to the window's thread in the
// order made. Only the cancel question waits, for the answer or for the program's end.
class BatchPanel::Forwarder final : public production::BatchFrontEnd {
 public:
  explicit Forwarder(BatchPanel& panel) : panel_(panel) {}

  void runStarted(int) override {
    // A press or a Stop that came before the engine reset its cancel flag still counts.
    std::lock_guard lock(panel_.answerMutex_);
    if (panel_.abandon_ || panel_.cancelPressed_.load()) panel_.engine_->RequestCancel();
  }
  void entryStarted(int index) override {
    Post([index](BatchPanel& p) { p.OnEntryStarted(index); });
  }
  void stillLoaded(int index, const imaging::Image& picture) override {
    // A window that lags behind a run of small pictures holds at most a few of them.
    if (panel_.picturesQueued_.load() >= kMaxQueuedPictures) return;
    ++panel_.picturesQueued_;
    Post([index, picture](BatchPanel& p) {
      --p.picturesQueued_;
      p.preview_.ShowRunStill(index, picture);
    });
  }
  void entryDeselected(int index) override {
    Post([index](BatchPanel& p) { p.list_.SetSelected(index, false); });
  }
  void pictureSized(int, production::EntryKind kind, int width, int height) override {
    Post([kind, width, height](BatchPanel& p) {
      QLabel* label = kind == production::EntryKind::Still ? p.c_.Lb_s_size : p.c_.Lb_v_size;
      label->setText(Q(production::SizeCaptionFor(kind, width, height)));
    });
  }
  void progress(int done, int) override {
    Post([done](BatchPanel& p) { p.c_.SL_Make->setValue(done); });
  }
  bool askCancel() override {
    {
      std::lock_guard lock(panel_.answerMutex_);
      if (panel_.abandon_) return true;
      panel_.answer_.reset();
    }
    Post([](BatchPanel& p) {
      const bool yes = p.OnAskCancel();
      std::lock_guard lock(p.answerMutex_);
      p.answer_ = yes;
      p.answerReady_.notify_all();
    });
    std::unique_lock lock(panel_.answerMutex_);
    panel_.answerReady_.wait(lock, [this] { return panel_.answer_.has_value() || panel_.abandon_; });
    return panel_.abandon_ || *panel_.answer_;
  }
  void showMessage(const app::MessageText& message) override {
    Post([message](BatchPanel& p) { p.OnMessage(message); });
  }
  void runFinished(const production::BatchResult& result) override {
    Post([result](BatchPanel& p) { p.OnRunFinished(result); });
  }

  template <typename F>
  void Post(F&& call) {
    BatchPanel* panel = &panel_;
    // The panel as context: a call still queued when the window is gone is dropped.
    QMetaObject::invokeMethod(
        panel, [panel, call = std::forward<F>(call)] { if (!panel->stopping_) call(*panel); }, Qt::QueuedConnection);
  }

 private:
  BatchPanel& panel_;
  static constexpr int kMaxQueuedPictures = 8;
};

BatchPanel::BatchPanel(window::MainWindow& window, const window::MainControls& controls, shell::Shell& shell,
                       app::LogBuffer& log, FileListPanel& list, PreviewPanel& preview)
    : QObject(&window), window_(window), c_(controls), shell_(shell), log_(log), list_(list), preview_(preview) {
  connect(c_.Bt_Go, &QPushButton::clicked, this, &BatchPanel::Bt_Go_Click);
  connect(c_.Bt_Cancel, &QPushButton::clicked, this, &BatchPanel::Bt_Cancel_Click);
  connect(c_.M_Help_SelectFailed, &QAction::triggered, this, &BatchPanel::M_Help_SelectFailed_Click);
}

BatchPanel::~BatchPanel() { Stop(); }

void BatchPanel::Bt_Go_Click() {
  // One run at a time: a second start during a run is ignored, and so is one before a dropped
  // folder has been read to its end.
  if (Running() || window_.BatchRunning != 0 || list_.Reading()) return;
  c_.Bt_Save->setEnabled(false);
  const std::vector<production::BatchEntry> entries = list_.Entries();
  if (const auto refusal = production::CheckBatch(entries, window_.Settings())) {
    shell_.ShowError(&window_, Q(refusal->text));
    c_.Bt_Save->setEnabled(true);
    return;
  }

  window_.BatchRunning = -1;
  window_.CancelRequested = 0;
  c_.M_Help_SelectFailed->setEnabled(false);
  runPaths_.clear();
  runPaths_.reserve(entries.size());
  for (const production::BatchEntry& entry : entries) runPaths_.push_back(entry.path);
  c_.Fr_Set->setEnabled(false);
  preview_.ShowStillInfo(false);
  preview_.EnablePlayer(false);
  c_.Bt_Cancel->setEnabled(true);
  preview_.ClearStill();
  preview_.ReleaseVideo();
  c_.SL_Make->setEnabled(true);
  c_.SL_Make->setRange(0, static_cast<int>(entries.size()));
  c_.SL_Make->setValue(0);
  QApplication::setOverrideCursor(Qt::WaitCursor);

  production::BatchSettings snapshot{window_.Settings(),
                                     {c_.SizeWidth->text().toStdString(), c_.SizeHeight->text().toStdString()}};
  // Each still is shown as the run reaches it, from the run's own load reduced to the box.
  const QSize box = preview_.StillBox();
  engine_ = std::make_unique<production::BatchEngine>(
      production::BatchOptions{jobs_, &log_, {box.width(), box.height()}});
  forwarder_ = std::make_unique<Forwarder>(*this);
  {
    std::lock_guard lock(answerMutex_);
    abandon_ = false;
    answer_.reset();
  }
  stopping_ = false;
  cancelPressed_.store(false);
  picturesQueued_.store(0);
  thread_ = std::thread([this, entries, snapshot = std::move(snapshot)] {
    engine_->Run(entries, snapshot, *forwarder_);
    forwarder_->Post([](BatchPanel& p) { p.OnThreadDone(); });
  });
}

void BatchPanel::Bt_Cancel_Click() {
  if (!Running()) return;
  window_.CancelRequested = -1;
  cancelPressed_.store(true);
  engine_->RequestCancel();
}

bool BatchPanel::OnAskCancel() {
  shell_.Beep();
  const bool yes = shell_.AskYesNo(&window_, Q(production::kCancelQuestion));
  window_.CancelRequested = 0;
  cancelPressed_.store(false);
  if (yes) {
    c_.Bt_Cancel->setEnabled(false);
    c_.SL1->setValue(0);
    c_.SL1->setEnabled(false);
  }
  return yes;
}

void BatchPanel::OnEntryStarted(int index) {
  list_.SetCurrent(index);
  preview_.List1_Click();
  c_.List1->viewport()->update();
}

void BatchPanel::LeaveRunningState() {
  QApplication::restoreOverrideCursor();
  window_.BatchRunning = 0;
  c_.Fr_Set->setEnabled(true);
  preview_.ShowStillInfo(true);
  preview_.EnablePlayer(true);
  c_.Bt_Cancel->setEnabled(false);
  c_.Bt_Save->setEnabled(true);
}

void BatchPanel::M_Help_SelectFailed_Click() {
  if (Running() || failedPaths_.empty()) return;
  const std::unordered_set<std::string> failed(failedPaths_.begin(), failedPaths_.end());
  const std::vector<production::BatchEntry> entries = list_.Entries();
  for (int i = 0; i < static_cast<int>(entries.size()); ++i) {
    list_.SetSelected(i, failed.count(entries[static_cast<std::size_t>(i)].path) > 0);
  }
}

void BatchPanel::OnRunFinished(const production::BatchResult& result) {
  lastResult_ = result;
  // Entries are named by their paths, which stay unique in the list whatever is removed later.
  failedPaths_.clear();
  for (const int index : result.failed) {
    if (index >= 0 && static_cast<std::size_t>(index) < runPaths_.size()) {
      failedPaths_.push_back(runPaths_[static_cast<std::size_t>(index)]);
    }
  }
  c_.M_Help_SelectFailed->setEnabled(!failedPaths_.empty());
  LeaveRunningState();
  if (result.outcome == production::BatchOutcome::Failed) {
    // The failing entry's picture, if its load got that far, goes as the entry's end would take it.
    preview_.ClearStill();
    return;
  }
  list_.SetCurrent(list_.Count() - 1);
  preview_.List1_Click();
  preview_.List1_Click();
  shell_.Beep();
}

void BatchPanel::OnMessage(const app::MessageText& message) {
  if (message.title == production::kFinishedTitle) {
    shell_.ShowTitledMessage(&window_, Q(message.title), Q(message.text));
    c_.SL_Make->setValue(0);
    c_.SL_Make->setEnabled(false);
  } else {
    shell_.ShowError(&window_, Q(message.text));
  }
}

void BatchPanel::OnThreadDone() {
  if (thread_.joinable()) thread_.join();
  Q_EMIT runEnded();
}

void BatchPanel::Stop() {
  if (!thread_.joinable()) return;
  stopping_ = true;
  {
    std::lock_guard lock(answerMutex_);
    abandon_ = true;
  }
  engine_->RequestCancel();
  answerReady_.notify_all();
  thread_.join();
  if (window_.BatchRunning != 0) LeaveRunningState();
}

}  // namespace mirelo::filelist
