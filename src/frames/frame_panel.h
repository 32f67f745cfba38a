#pragma once

// The frame side of frmMain's "■画像の設定": the choice between sized thumbnails ("枠なし") and
// framed ones ("枠付き"), the two frame previews with their "…" buttons that open the frame
// editor, and "保存", which writes both frames to thumb.ini.

#include <QObject>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "app/thumb_settings.h"

namespace mirelo::shell {
class Shell;
}
namespace mirelo::window {
struct MainControls;
}

namespace mirelo::frames {

class FrameEditor;

class FramePanel : public QObject {
  Q_OBJECT

 public:
  FramePanel(const window::MainControls& controls, app::ThumbSettings& settings, std::filesystem::path settingsFile,
             std::string& frameEditFile, shell::Shell& shell, QWidget* owner);

  // 0: the editor edits the still frame, 1: the video frame. Set before the editor opens.
  std::int16_t FrameEditKind = 0;

  // Called with the editor after it is created and before it is shown modally (tests drive it
  // from here). Unset: nothing.
  std::function<void(FrameEditor&)> editorOpened;

 public slots:
  void OpThumbWaku1_Click();
  void OpThumbWaku2_Click();
  void Bt_SWaku_Click();
  void Bt_VWaku_Click();
  void Bt_Waku_Save_Click();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OpenEditor(app::FrameKind kind);

  const window::MainControls& c_;
  app::ThumbSettings& settings_;
  std::filesystem::path settingsFile_;
  std::string& frameEditFile_;
  shell::Shell& shell_;
  QWidget* owner_;
};

}  // namespace mirelo::frames
