#pragma once

// frmAbout: the About box. Modeless; OK (Enter or Esc) closes it.

#include <QDialog>

class QLabel;
class QPushButton;

namespace mirelo::shell {
class Shell;
}

namespace mirelo::dialogs {

// The program's version as the About box shows it.
inline constexpr int kVersionMajor = 1;
inline constexpr int kVersionMinor = 1;
inline constexpr int kVersionRevision = 0;

class AboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit AboutBox(shell::Shell& shell, QWidget* parent = nullptr);

 public slots:
  void cmdOK_Click();
  void cmdSysInfo_Click();
  void lblDescription_Click();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Form_Load();

  shell::Shell& shell_;
  QLabel* lblDescription_ = nullptr;
};

}  // namespace mirelo::dialogs
