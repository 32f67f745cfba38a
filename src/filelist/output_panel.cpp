#include "filelist/output_panel.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <algorithm>

#include "app/utilities.h"
#include "app/window/main_controls.h"
#include "platform/shell/shell.h"

namespace mirelo::filelist {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

QString OutputFolderPrompt() { return QStringLiteral(u"作成したサムネイルを保存するフォルダを選択してください。"); }

OutputPanel::OutputPanel(const window::MainControls& controls, app::ThumbSettings& settings, shell::Shell& shell,
                         QWidget* owner, QString initialFolder)
    : QObject(owner),
      c_(controls),
      settings_(settings),
      shell_(shell),
      owner_(owner),
      initialFolder_(std::move(initialFolder)) {
  connect(c_.CbFormat, &QComboBox::activated, this, &OutputPanel::CbFormat_Click);
  connect(c_.SL_Q, &QSlider::valueChanged, this, &OutputPanel::SL_Q_Change);
  connect(c_.CbFName, &QComboBox::activated, this, &OutputPanel::CbFName_Click);
  connect(c_.FNameStr, &QLineEdit::textChanged, this, &OutputPanel::FNameStr_Change);
  connect(c_.OpThumbOut1, &QAbstractButton::clicked, this, &OutputPanel::OpThumbOut1_Click);
  connect(c_.OpThumbOut2, &QAbstractButton::clicked, this, &OutputPanel::OpThumbOut2_Click);
  connect(c_.Bt_V_Out, &QAbstractButton::clicked, this, &OutputPanel::Bt_V_Out_Click);
}

void OutputPanel::ShowQualityLabel() {
  c_.Lb_Q->setText(Q(app::SignedNumberText(settings_.Quality)) + u'%');
}

void OutputPanel::CbFormat_Click() {
  settings_.FormatIndex = static_cast<std::int16_t>(c_.CbFormat->currentIndex());
  const bool quality = app::FormatTakesQuality(settings_.FormatIndex);
  if (quality) {
    if (settings_.Quality >= c_.SL_Q->minimum() && settings_.Quality <= c_.SL_Q->maximum()) {
      c_.SL_Q->setValue(settings_.Quality);  // runs SL_Q_Change when it moves
    } else {
      // A stored quality the slider cannot hold is shown at the slider's end and kept as it is.
      const QSignalBlocker block(c_.SL_Q);
      c_.SL_Q->setValue(std::clamp<int>(settings_.Quality, c_.SL_Q->minimum(), c_.SL_Q->maximum()));
    }
    ShowQualityLabel();
  }
  c_.SL_Q->setVisible(quality);
  c_.Lb_Q->setVisible(quality);
  c_.Lb_Name3->setVisible(quality);
}

void OutputPanel::SL_Q_Change() {
  settings_.Quality = static_cast<std::int16_t>(c_.SL_Q->value());
  ShowQualityLabel();
}

void OutputPanel::CbFName_Click() {
  const int index = c_.CbFName->currentIndex();
  settings_.NameMode = static_cast<std::int16_t>(index);
  if (index < 0 || index > 2) return;
  // The text stays in mode 0; it is only not used.
  c_.Lb_SaveFile->setEnabled(index != 0);
  c_.FNameStr->setEnabled(index != 0);
}

void OutputPanel::FNameStr_Change() { settings_.NameText = c_.FNameStr->text().toStdString(); }

void OutputPanel::OpThumbOut1_Click() {
  settings_.OutputMode = 0;
  settings_.OutputPath = std::string();
  c_.Lb_Out->setEnabled(false);  // the caption stays as the remembered folder
}

void OutputPanel::OpThumbOut2_Click() {
  if (c_.Lb_Out->text().isEmpty()) Bt_V_Out_Click();
  if (!c_.Lb_Out->text().isEmpty()) {
    settings_.OutputMode = 1;
    settings_.OutputPath = c_.Lb_Out->text().toStdString();
    c_.Lb_Out->setEnabled(true);
    return;
  }
  // No folder was chosen: back to "元のファイルと同じにする".
  c_.OpThumbOut1->setChecked(true);
  OpThumbOut1_Click();
  settings_.OutputPath = std::string();
}

void OutputPanel::Bt_V_Out_Click() {
  const QString start =
      settings_.OutputPath && !settings_.OutputPath->empty() ? Q(*settings_.OutputPath) : initialFolder_;
  const QString result = shell_.PickFolder(owner_, OutputFolderPrompt(), start);
  if (result.isEmpty()) return;
  if (result.startsWith(QStringLiteral(u"::"))) {
    // A shell namespace item, not a folder of the file system.
    shell_.ShowError(owner_, QStringLiteral(u"指定されたフォルダには対応していません。"));
    return;
  }
  settings_.OutputPath = app::AddTrailingSeparator(result.toStdString());
  c_.Lb_Out->setText(Q(*settings_.OutputPath));
  c_.OpThumbOut2->setChecked(true);
  OpThumbOut2_Click();
}

}  // namespace mirelo::filelist
