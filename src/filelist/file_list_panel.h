#pragma once

// The file list: List1 with a check box per entry, the hidden List2 of scene positions beside it,
// drops from the desktop's file manager, the delete buttons and the file manager button.

#include <QObject>
#include <QStringList>
#include <string>
#include <vector>

#include "production/batch_engine.h"

class QEvent;
class QMimeData;

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
                PreviewPanel& preview);

  // List1_OLEDragDrop with the dropped paths in drop order. Ignored while a batch runs.
  void List1_OLEDragDrop(const std::vector<std::string>& paths);
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

  window::MainWindow& window_;
  const window::MainControls& c_;
  shell::Shell& shell_;
  PreviewPanel& preview_;
  bool clickPending_ = false;
  int programmatic_ = 0;
};

}  // namespace mirelo::filelist
