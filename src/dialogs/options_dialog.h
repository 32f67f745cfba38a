#pragma once

// frmOptions: the modal options dialog. Every change goes into ThumbSettings at once; "保存"
// also writes the ten option keys and the five of [Batch] (tab "一括処理") to thumb.ini. OK, "ｷｬﾝｾﾙ" and the close box only close it:
// changes already made stay in effect for this run.

#include <QDialog>
#include <QRect>
#include <QValidator>
#include <filesystem>
#include <utility>
#include <vector>

#include "app/thumb_settings.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QTabWidget;

namespace mirelo::dialogs {

// The number-only style of an edit box: characters the user types or pastes must be the digits
// 0 to 9; deleting is always allowed, and a text set by the program (" 72" with its blank) is
// kept as it is.
class TypedDigitsValidator : public QValidator {
  Q_OBJECT

 public:
  explicit TypedDigitsValidator(QLineEdit* edit);
  State validate(QString& input, int& pos) const override;

 private:
  const QLineEdit* edit_;
  QString accepted_;  // the box's text before the edit being checked
};

class OptionsDialog : public QDialog {
  Q_OBJECT

 public:
  OptionsDialog(app::ThumbSettings& settings, std::filesystem::path settingsFile, QWidget* parent = nullptr);

  QTabWidget* Tabs() const { return SSTab1; }

 signals:
  // A key or a paste TB_DPI refused; the window answers it with a beep.
  void inputRefused();

 public slots:
  void cmdOk_Click();
  void cmdCancel_Click();
  void cmdSave_Click();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Form_Load();
  void Centre();
  void PlaceOnTabs();
  QWidget* Page(const char16_t* caption);
  template <typename W>
  W* Place(W* widget, const char16_t* name, QRect design);
  QLabel* Label(QWidget* page, const char16_t* name, const char16_t* caption, QRect design);
  QCheckBox* Check(QWidget* page, const char16_t* name, const char16_t* caption, QRect design,
                   std::int16_t app::ThumbSettings::*field);
  QRadioButton* Fit(QWidget* page, const char16_t* name, const char16_t* caption, QRect design,
                    std::int16_t mode);
  QSlider* Slider(QWidget* page, const char16_t* name, QRect design, int minimum, int maximum, int tick,
                  std::int16_t app::ThumbSettings::*field);
  void TB_DPI_Change();

  app::ThumbSettings& settings_;
  std::filesystem::path settingsFile_;
  // Tab contents with their design rectangles, relative to the tab control.
  std::vector<std::pair<QWidget*, QRect>> placed_;

  QTabWidget* SSTab1 = nullptr;
  QRadioButton* OpFit1 = nullptr;
  QRadioButton* OpFit2 = nullptr;
  QRadioButton* OpFit3 = nullptr;
  QCheckBox* CkAutoTrim = nullptr;
  QSlider* SL_AutoTrim = nullptr;
  QCheckBox* CkAutoContrast = nullptr;
  QCheckBox* CkMono = nullptr;
  QCheckBox* CkSharp = nullptr;
  QSlider* SL_Sharp = nullptr;
  QLineEdit* TB_DPI = nullptr;
  QCheckBox* CkChaMode = nullptr;
  QCheckBox* CkJpgExt4 = nullptr;
  QCheckBox* CkFolderDrop = nullptr;
  QCheckBox* CkKeepTree = nullptr;
  QCheckBox* CkSkipDone = nullptr;
  QCheckBox* CkKeepGoing = nullptr;
  QCheckBox* CkAutoScene = nullptr;
  QPushButton* cmdOk = nullptr;
  QPushButton* cmdCancel = nullptr;
  QPushButton* cmdSave = nullptr;
};

}  // namespace mirelo::dialogs
