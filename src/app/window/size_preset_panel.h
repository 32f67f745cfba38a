#pragma once

// The size preset controls of frmMain: CbSize, "保存", "削除" and the two size boxes. The slots
// copy the widgets' state into the preset logic of the core and apply what it returns.

#include <QObject>
#include <filesystem>

#include "app/size_presets.h"
#include "app/thumb_settings.h"

class QLineEdit;

namespace mirelo::shell {
class Shell;
}

namespace mirelo::window {

struct MainControls;

class SizePresetPanel : public QObject {
  Q_OBJECT

 public:
  SizePresetPanel(const MainControls& controls, app::ThumbSettings& settings, std::filesystem::path sizeFile,
                  shell::Shell& shell, QWidget* owner);

  // LoadSizes: one entry per section of size.ini, then entry 0 is selected (runs CbSize_Click).
  void LoadSizes();
  // CbSize.ListIndex := index, which runs CbSize_Click. Throws mirelo::Error(380) for an index
  // the list does not have.
  void Select(int index);

 public slots:
  void CbSize_Click();
  void Bt_SizeSave_Click();
  void Bt_SizeDel_Click();
  void SizeWidth_LostFocus();
  void SizeHeight_LostFocus();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  app::SizeListState State() const;
  void ApplySelection(const app::SizeSelection& selection);
  void ApplyOutcome(const app::PresetOutcome& outcome);
  void CheckBox(QLineEdit* box);

  const MainControls& c_;
  app::ThumbSettings& settings_;
  std::filesystem::path sizeFile_;
  shell::Shell& shell_;
  QWidget* owner_;
};

}  // namespace mirelo::window
