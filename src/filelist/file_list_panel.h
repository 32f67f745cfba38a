#pragma once

// The file list: List1 with a check box per entry, the hidden List2 of scene positions beside it,
// drops from the desktop's file manager, the delete buttons and the file manager button.

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "production/batch_engine.h"

class QEvent;
class QMimeData;
class QTimer;

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

class PreviewPanel;

// The local paths a drop carries (file URLs of text/uri-list); anything else gives nothing.
std::vector<std::string> DroppedLocalPaths(const QMimeData& data);

class FileListPanel : public QObject {
  Q_OBJECT

 public:
  FileListPanel(window::MainWindow& window, const window::MainControls& controls, shell::Shell& shell,
                PreviewPanel& preview, app::LogBuffer& log);
  ~FileListPanel() override;

  // List1_OLEDragDrop with the dropped paths in drop order. Ignored while a batch runs. With
  // FolderDrop 1 a drop that holds a folder is read off the window's thread: its entries are
  // listed as they are found, the count following, and the drop ends when the last is listed.
  void List1_OLEDragDrop(const std::vector<std::string>& paths);
  // A folder drop is still being read.
  bool Reading() const { return reader_.joinable() || !queuedDrops_.empty(); }
  void UpdateListExtent();

  // The entries as the batch engine takes them (path, check box, scene).
  std::vector<production::BatchEntry> Entries() const;
  int Count() const;
  // Makes entry index current without running the selection handler.
  void SetCurrent(int index);
  void SetSelected(int index, bool selected);

 public slots:
  void Bt_Del_Click();
  void Bt_All_Del_Click();
  void Bt_Expl_Click();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // A click, a key or a check box change of the user: the selection handler runs once.
  void RequestClick();
  // Folder drops: the reader thread, the window's share of its findings, its end.
  void StartFolderDrop(std::vector<std::string> paths);
  void DrainFound();
  void StopReader();
  int IndicatorWidth() const;
  int ListedWidest() const;
  void SetListExtent(int widest);
  void AppendEntry(const std::string& path, const QString& root);

  window::MainWindow& window_;
  const window::MainControls& c_;
  shell::Shell& shell_;
  PreviewPanel& preview_;
  app::LogBuffer& log_;
  bool clickPending_ = false;
  int programmatic_ = 0;

  // What the reader found and the window has not listed yet: path and root.
  struct Found {
    std::string path;
    std::string root;
  };
  std::mutex foundMutex_;
  std::deque<Found> found_;
  bool readerDone_ = false;
  std::atomic<bool> readerCancel_{false};
  std::thread reader_;
  QTimer* drainTimer_ = nullptr;
  std::unordered_set<std::string> listed_;  // the listed paths, for drops onto a long list
  int firstAdded_ = -1;                     // first entry the folder drop added
  QElapsedTimer countShown_;                // when the count was last shown during a folder drop
  int drainWidest_ = 0;                     // the widest entry text the folder drop added
  std::string drainRoot_;                   // the root of the entries being listed, and its text
  QString drainRootText_;
  std::deque<std::vector<std::string>> queuedDrops_;  // drops made while a folder was read
};

}  // namespace mirelo::filelist
