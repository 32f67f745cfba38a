#include "frames/frame_panel.h"

#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <exception>

#include "app/settings_store.h"
#include "app/utilities.h"
#include "app/window/image_view.h"
#include "app/window/main_controls.h"
#include "frames/frame_editor.h"
#include "platform/imaging/imaging_control.h"

namespace mirelo::frames {
namespace {

void SetEnabled(std::initializer_list<QWidget*> widgets, bool enabled) {
  for (QWidget* w : widgets) w->setEnabled(enabled);
}

}  // namespace

FramePanel::FramePanel(const window::MainControls& controls, app::ThumbSettings& settings,
                       std::filesystem::path settingsFile, std::string& frameEditFile, shell::Shell& shell,
                       QWidget* owner)
    : QObject(owner),
      c_(controls),
      settings_(settings),
      settingsFile_(std::move(settingsFile)),
      frameEditFile_(frameEditFile),
      shell_(shell),
      owner_(owner) {
  connect(c_.OpThumbWaku1, &QAbstractButton::clicked, this, &FramePanel::OpThumbWaku1_Click);
  connect(c_.OpThumbWaku2, &QAbstractButton::clicked, this, &FramePanel::OpThumbWaku2_Click);
  connect(c_.Bt_SWaku, &QAbstractButton::clicked, this, &FramePanel::Bt_SWaku_Click);
  connect(c_.Bt_VWaku, &QAbstractButton::clicked, this, &FramePanel::Bt_VWaku_Click);
  connect(c_.Bt_Waku_Save, &QAbstractButton::clicked, this, &FramePanel::Bt_Waku_Save_Click);
  c_.LEAD3->installEventFilter(this);
  c_.LEAD4->installEventFilter(this);
}

void FramePanel::OpThumbWaku1_Click() {
  settings_.FrameMode = 0;
  SetEnabled({c_.CbSize, c_.Bt_SizeSave, c_.Bt_SizeDel}, true);
  // "0" in the width box is the preset "元画像と同じ", whose boxes stay off.
  if (c_.SizeWidth->text() != QStringLiteral(u"0")) {
    SetEnabled({c_.SizeWidth, c_.SizeHeight, c_.Lb_WakuX, c_.Lb_WakuY}, true);
  }
  SetEnabled({c_.Lb_SWaku, c_.Lb_VWaku, c_.Bt_SWaku, c_.Bt_VWaku, c_.LEAD3, c_.LEAD4, c_.Bt_Waku_Save}, false);
}

void FramePanel::OpThumbWaku2_Click() {
  settings_.FrameMode = 1;
  SetEnabled({c_.CbSize, c_.Bt_SizeSave, c_.Bt_SizeDel, c_.SizeWidth, c_.SizeHeight, c_.Lb_WakuX, c_.Lb_WakuY},
             false);
  SetEnabled({c_.Lb_SWaku, c_.Lb_VWaku, c_.Bt_SWaku, c_.Bt_VWaku, c_.LEAD3, c_.LEAD4, c_.Bt_Waku_Save}, true);
}

void FramePanel::OpenEditor(app::FrameKind kind) {
  FrameEditKind = kind == app::FrameKind::Still ? 0 : 1;
  {
    // A top-level window of its own: its control names (Bt_Cancel) must not shadow frmMain's.
    FrameEditor editor(kind, settings_, frameEditFile_, shell_);
    if (editorOpened) editorOpened(editor);
    editor.exec();
  }
  const std::optional<std::string>& file = kind == app::FrameKind::Still ? settings_.StillFrameFile
                                                                         : settings_.VideoFrameFile;
  if (!file || file->empty() || *file == app::kIniError) return;
  // A picture that no longer loads leaves the preview as it was; no message.
  try {
    imaging::ImagingControl control;
    control.Load(std::filesystem::path(*file));
    (kind == app::FrameKind::Still ? c_.LEAD3 : c_.LEAD4)->SetImage(control.GetImage());
  } catch (const std::exception&) {
  }
}

void FramePanel::Bt_SWaku_Click() { OpenEditor(app::FrameKind::Still); }

void FramePanel::Bt_VWaku_Click() { OpenEditor(app::FrameKind::Video); }

void FramePanel::Bt_Waku_Save_Click() { app::SaveFrameSettings(settingsFile_, settings_); }

bool FramePanel::eventFilter(QObject* watched, QEvent* event) {
  // A click on a preview opens its editor, as the "…" beside it does; in frame mode only, while
  // the previews are enabled (a filter sees the events of a disabled widget too).
  if (event->type() == QEvent::MouseButtonRelease) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    auto* view = qobject_cast<QWidget*>(watched);
    if (mouse->button() == Qt::LeftButton && view && view->isEnabled() &&
        view->rect().contains(mouse->position().toPoint())) {
      // After the release has been delivered, so the editor's modal loop does not run inside it.
      if (watched == c_.LEAD3) QMetaObject::invokeMethod(this, &FramePanel::Bt_SWaku_Click, Qt::QueuedConnection);
      if (watched == c_.LEAD4) QMetaObject::invokeMethod(this, &FramePanel::Bt_VWaku_Click, Qt::QueuedConnection);
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace mirelo::frames
