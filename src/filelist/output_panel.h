#pragma once

// The output settings of frmMain: the format with its quality, the naming rule with its text and
// the output folder. Every change goes into ThumbSettings at once; nothing is written to
// thumb.ini here. Lb_Out's caption is the memory of the last chosen folder.

#include <QObject>
#include <QString>

#include "app/thumb_settings.h"

namespace mirelo::shell {
class Shell;
}
namespace mirelo::window {
struct MainControls;
}

namespace mirelo::filelist {

// The prompt of the output folder picker.
QString OutputFolderPrompt();

class OutputPanel : public QObject {
  Q_OBJECT

 public:
  // initialFolder: where the picker opens while no folder is in use (the home folder).
  OutputPanel(const window::MainControls& controls, app::ThumbSettings& settings, shell::Shell& shell,
              QWidget* owner, QString initialFolder);

 public slots:
  void CbFormat_Click();
  void SL_Q_Change();
  void CbFName_Click();
  void FNameStr_Change();
  void OpThumbOut1_Click();
  void OpThumbOut2_Click();
  void Bt_V_Out_Click();

 private:
  void ShowQualityLabel();

  const window::MainControls& c_;
  app::ThumbSettings& settings_;
  shell::Shell& shell_;
  QWidget* owner_;
  QString initialFolder_;
};

}  // namespace mirelo::filelist
