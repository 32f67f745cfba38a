#pragma once

// LoadSettings' control effects on the real widgets of frmMain. Selecting a list entry or an
// option button runs that control's own handler, as a user's choice would: option buttons are
// clicked, list selections emit QComboBox::activated, the name box emits textChanged.

#include <string>

#include "app/settings_store.h"

class QComboBox;
class QRadioButton;
class QWidget;

namespace mirelo::window {

struct MainControls;
class SizePresetPanel;

class WindowSettingsSink final : public app::SettingsSink {
 public:
  WindowSettingsSink(QWidget& window, const MainControls& controls, SizePresetPanel& presets,
                     std::string& frameEditFile);

  void SetWindowTop(std::int16_t top) override;
  void SetWindowLeft(std::int16_t left) override;
  void SelectSizePreset(std::int16_t index) override;
  void SelectOption(app::OptionButton button) override;
  void SelectFormat(std::int16_t index) override;
  void HideQuality() override;
  void SetQualitySlider(std::int16_t quality) override;
  void SetQualityLabel(const std::string& caption) override;
  void ShowOutputFolder(const std::string& path) override;
  void SelectNamingRule(std::int16_t index) override;
  void SetNameText(const std::string& text) override;
  void SetFrameEditFile(const std::string& text) override;
  void LoadFramePicture(app::FrameKind kind, const std::string& path) override;

 private:
  QWidget& window_;
  const MainControls& c_;
  SizePresetPanel& presets_;
  std::string& frameEditFile_;
};

// ListIndex := index with its Click event (QComboBox::activated); 380 for a missing entry.
void SelectEntry(QComboBox* box, int index);
// Value := True with its Click event.
void SelectOptionButton(QRadioButton* button);

}  // namespace mirelo::window
