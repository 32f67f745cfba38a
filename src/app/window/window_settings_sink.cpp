#include "app/window/window_settings_sink.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QWidget>

#include "app/window/image_view.h"
#include "app/window/main_controls.h"
#include "app/window/size_preset_panel.h"
#include "app/window/twips.h"
#include "platform/error.h"
#include "platform/imaging/imaging_control.h"

namespace mirelo::window {

void SelectEntry(QComboBox* box, int index) {
  if (index < 0 || index >= box->count()) throw Error(err::kInvalidPropertyValue);
  {
    const QSignalBlocker block(box);
    box->setCurrentIndex(index);
  }
  Q_EMIT box->activated(index);
}

void SelectOptionButton(QRadioButton* button) {
  button->setChecked(true);
  Q_EMIT button->clicked(true);
}

WindowSettingsSink::WindowSettingsSink(QWidget& window, const MainControls& controls, SizePresetPanel& presets,
                                       std::string& frameEditFile)
    : window_(window), c_(controls), presets_(presets), frameEditFile_(frameEditFile) {}

void WindowSettingsSink::SetWindowTop(std::int16_t top) { window_.move(window_.x(), Px(top)); }

void WindowSettingsSink::SetWindowLeft(std::int16_t left) { window_.move(Px(left), window_.y()); }

void WindowSettingsSink::SelectSizePreset(std::int16_t index) { presets_.Select(index); }

void WindowSettingsSink::SelectOption(app::OptionButton button) {
  switch (button) {
    case app::OptionButton::ThumbWaku1: SelectOptionButton(c_.OpThumbWaku1); break;
    case app::OptionButton::ThumbWaku2: SelectOptionButton(c_.OpThumbWaku2); break;
    case app::OptionButton::ThumbOut1: SelectOptionButton(c_.OpThumbOut1); break;
    case app::OptionButton::ThumbOut2: SelectOptionButton(c_.OpThumbOut2); break;
  }
}

void WindowSettingsSink::SelectFormat(std::int16_t index) { SelectEntry(c_.CbFormat, index); }

void WindowSettingsSink::HideQuality() {
  c_.SL_Q->hide();
  c_.Lb_Q->hide();
}

void WindowSettingsSink::SetQualitySlider(std::int16_t quality) {
  if (quality < c_.SL_Q->minimum() || quality > c_.SL_Q->maximum()) throw Error(err::kInvalidPropertyValue);
  c_.SL_Q->setValue(quality);
}

void WindowSettingsSink::SetQualityLabel(const std::string& caption) {
  c_.Lb_Q->setText(QString::fromStdString(caption));
}

void WindowSettingsSink::ShowOutputFolder(const std::string& path) { c_.Lb_Out->setText(QString::fromStdString(path)); }

void WindowSettingsSink::SelectNamingRule(std::int16_t index) { SelectEntry(c_.CbFName, index); }

void WindowSettingsSink::SetNameText(const std::string& text) { c_.FNameStr->setText(QString::fromStdString(text)); }

void WindowSettingsSink::SetFrameEditFile(const std::string& text) { frameEditFile_ = text; }

void WindowSettingsSink::LoadFramePicture(app::FrameKind kind, const std::string& path) {
  imaging::ImagingControl control;
  control.Load(std::filesystem::path(path));  // INI texts are UTF-8, as file names here
  ImageView* view = kind == app::FrameKind::Still ? c_.LEAD3 : c_.LEAD4;
  view->SetImage(control.GetImage());
}

}  // namespace mirelo::window
