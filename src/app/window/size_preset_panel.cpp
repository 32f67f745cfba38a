#include "app/window/size_preset_panel.h"

#include <QPushButton>
#include <QComboBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>

#include "app/window/main_controls.h"
#include "platform/error.h"
#include "platform/shell/shell.h"

namespace mirelo::window {
namespace {

std::vector<std::string> Names(const QComboBox* box) {
  std::vector<std::string> names;
  names.reserve(static_cast<std::size_t>(box->count()));
  for (int i = 0; i < box->count(); ++i) names.push_back(box->itemText(i).toStdString());
  return names;
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

SizePresetPanel::SizePresetPanel(const MainControls& controls, app::ThumbSettings& settings,
                                 std::filesystem::path sizeFile, shell::Shell& shell, QWidget* owner)
    : QObject(owner), c_(controls), settings_(settings), sizeFile_(std::move(sizeFile)), shell_(shell), owner_(owner) {
  connect(c_.CbSize, &QComboBox::activated, this, &SizePresetPanel::CbSize_Click);
  connect(c_.Bt_SizeSave, &QAbstractButton::clicked, this, &SizePresetPanel::Bt_SizeSave_Click);
  connect(c_.Bt_SizeDel, &QAbstractButton::clicked, this, &SizePresetPanel::Bt_SizeDel_Click);
  c_.SizeWidth->installEventFilter(this);
  c_.SizeHeight->installEventFilter(this);
  // A key or a paste the digits-only boxes refuse is answered with a beep.
  for (QLineEdit* box : {c_.SizeWidth, c_.SizeHeight}) {
    connect(box, &QLineEdit::inputRejected, this, [this] { shell_.Beep(); });
  }
}

void SizePresetPanel::LoadSizes() {
  const std::vector<std::string> names = app::LoadSizes(sizeFile_);
  {
    const QSignalBlocker block(c_.CbSize);
    for (const std::string& name : names) c_.CbSize->addItem(Q(name));
  }
  if (c_.CbSize->count() > 0) Select(0);
}

void SizePresetPanel::Select(int index) {
  if (index < 0 || index >= c_.CbSize->count()) throw Error(err::kInvalidPropertyValue);
  {
    const QSignalBlocker block(c_.CbSize);
    c_.CbSize->setCurrentIndex(index);
  }
  CbSize_Click();
}

app::SizeListState SizePresetPanel::State() const {
  app::SizeListState state;
  state.names = Names(c_.CbSize);
  state.selectedIndex = c_.CbSize->currentIndex();
  state.editText = c_.CbSize->currentText().toStdString();
  state.widthText = c_.SizeWidth->text().toStdString();
  state.heightText = c_.SizeHeight->text().toStdString();
  return state;
}

void SizePresetPanel::ApplySelection(const app::SizeSelection& selection) {
  settings_.SizeIndex = selection.sizeIndex;
  for (QWidget* w : {static_cast<QWidget*>(c_.SizeWidth), static_cast<QWidget*>(c_.SizeHeight),
                     static_cast<QWidget*>(c_.Lb_WakuX), static_cast<QWidget*>(c_.Lb_WakuY)}) {
    w->setEnabled(selection.boxesEnabled);
  }
  c_.SizeWidth->setText(Q(selection.widthText));
  c_.SizeHeight->setText(Q(selection.heightText));
  if (selection.beep) shell_.Beep();
}

void SizePresetPanel::ApplyOutcome(const app::PresetOutcome& outcome) {
  if (outcome.beep) shell_.Beep();
  if (outcome.message) {
    if (Q(outcome.message->title) == shell::ErrorTitle()) {
      shell_.ShowError(owner_, Q(outcome.message->text));
    } else {
      shell_.ShowMessage(owner_, Q(outcome.message->text));
    }
  }
  const QString editText = c_.CbSize->currentText();
  const int oldIndex = c_.CbSize->currentIndex();
  const auto oldCount = static_cast<std::size_t>(c_.CbSize->count());
  {
    const QSignalBlocker block(c_.CbSize);
    if (outcome.names != Names(c_.CbSize)) {
      c_.CbSize->clear();
      for (const std::string& name : outcome.names) c_.CbSize->addItem(Q(name));
    }
    c_.CbSize->setCurrentIndex(outcome.selectedIndex);
    // Saving leaves the typed name in the box; after a deletion the box shows the selected entry.
    if (outcome.selectedIndex == oldIndex && outcome.names.size() >= oldCount) c_.CbSize->setEditText(editText);
  }
  if (outcome.selection) ApplySelection(*outcome.selection);
}

void SizePresetPanel::CbSize_Click() {
  ApplySelection(app::CbSizeClick(sizeFile_, Names(c_.CbSize), c_.CbSize->currentIndex()));
}

void SizePresetPanel::Bt_SizeSave_Click() { ApplyOutcome(app::SizeSaveClick(sizeFile_, State())); }

void SizePresetPanel::Bt_SizeDel_Click() { ApplyOutcome(app::SizeDeleteClick(sizeFile_, State())); }

void SizePresetPanel::CheckBox(QLineEdit* box) {
  const app::SizeBoxCheck check = app::SizeBoxLostFocus(box->text().toStdString());
  if (check.beep) shell_.Beep();
  box->setText(Q(check.text));
}

void SizePresetPanel::SizeWidth_LostFocus() { CheckBox(c_.SizeWidth); }

void SizePresetPanel::SizeHeight_LostFocus() { CheckBox(c_.SizeHeight); }

bool SizePresetPanel::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut) {
    // Focus moving to another control of the program counts; switching to another program or
    // opening a menu does not.
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
      if (watched == c_.SizeWidth) SizeWidth_LostFocus();
      if (watched == c_.SizeHeight) SizeHeight_LostFocus();
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace mirelo::window
