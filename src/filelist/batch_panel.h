#pragma once

// "処理の開始" and "キャンセル": the batch engine run from the window. The engine works on a thread
// of its own; every call it makes on its front end is carried over to the window's thread, so the
// window repaints, the bar moves and "キャンセル" answers however long the run.

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "production/batch_engine.h"

namespace mirelo::app {
class LogBuffer;
}
namespace mirelo::shell {
class Shell;
}
namespace mirelo::window {
class MainWindow;
struct MainControls;
}  // namespace mirelo::window

namespace mirelo::filelist {

class FileListPanel;
class PreviewPanel;

class BatchPanel : public QObject {
  Q_OBJECT

 public:
  BatchPanel(window::MainWindow& window, const window::MainControls& controls, shell::Shell& shell,
             app::LogBuffer& log, FileListPanel& list, PreviewPanel& preview);
  ~BatchPanel() override;

  bool Running() const { return thread_.joinable(); }
  // The program ends: the run is cancelled after the entry in progress, whose file is written
  // whole or not at all, and the engine's thread is joined. Nothing more reaches the window.
  void Stop();
  // Worker threads of the engine; 0: one per core.
  void SetJobs(int jobs) { jobs_ = jobs; }
  // The result of the last run that ended.
  const std::optional<production::BatchResult>& LastResult() const { return lastResult_; }

 public slots:
  void Bt_Go_Click();
  void Bt_Cancel_Click();
  // "失敗したファイルだけを選択": the entries the last run failed on are checked, every other one
  // cleared, so that the next start runs only them.
  void M_Help_SelectFailed_Click();

 signals:
  // The run ended and the window is idle again (after the completion message, if any).
  void runEnded();

 private:
  class Forwarder;

  // On the window's thread, in the engine's order.
  void OnEntryStarted(int index);
  void OnRunFinished(const production::BatchResult& result);
  void OnMessage(const app::MessageText& message);
  bool OnAskCancel();
  void OnThreadDone();
  void LeaveRunningState();

  window::MainWindow& window_;
  const window::MainControls& c_;
  shell::Shell& shell_;
  app::LogBuffer& log_;
  FileListPanel& list_;
  PreviewPanel& preview_;
  int jobs_ = 0;

  std::unique_ptr<production::BatchEngine> engine_;
  std::unique_ptr<Forwarder> forwarder_;
  std::thread thread_;
  std::optional<production::BatchResult> lastResult_;
  std::vector<std::string> runPaths_;     // the entries of the run going or last run
  std::vector<std::string> failedPaths_;  // the entries the last run failed on
  bool stopping_ = false;

  // The cancel question: the engine's thread waits for the window's answer, or for Stop.
  std::mutex answerMutex_;
  std::condition_variable answerReady_;
  std::optional<bool> answer_;
  bool abandon_ = false;
  // "キャンセル" was pressed and not yet answered (a press before the engine starts counts too).
  std::atomic<bool> cancelPressed_{false};
  // Pictures of the run posted to the window and not yet shown.
  std::atomic<int> picturesQueued_{0};
};

}  // namespace mirelo::filelist
