#pragma once

// frmLog: the error log window. Its text is the process-wide log buffer; the window only shows
// and edits it, so lines appended while it is hidden (or not yet shown) are there when it opens.

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QWidget>
#include <cstdint>
#include <string>

#include "app/log_buffer.h"

class QPlainTextEdit;
class QPushButton;

namespace mirelo::shell {
class Shell;
}

namespace mirelo::dialogs {

// The save dialog's filter, in the program's "description|patterns" form.
QString LogFileFilter();

class LogWindow : public QWidget {
  Q_OBJECT

 public:
  LogWindow(app::LogBuffer& log, shell::Shell& shell, QWidget* parent = nullptr);
  ~LogWindow() override;

  QPlainTextEdit* LogText() const { return logText_; }

 public slots:
  void Bt_Clear_Click();
  void Bt_Save_Click();
  void Bt_Close_Click();

 signals:
  // "閉じる" runs the main window's menu toggle (M_Help_Log_Click).
  void menuToggleRequested();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void ShowBuffer();
  void OnUserEdit();

  app::LogBuffer& log_;
  shell::Shell& shell_;
  QPlainTextEdit* logText_ = nullptr;
  QPushButton* btClear_ = nullptr;
  QPushButton* btSave_ = nullptr;
  QPushButton* btClose_ = nullptr;
  // What of the buffer the widget shows: its generation and length (CR LF form), and whether
  // the shown text ends a line (appends then go in as they are).
  std::uint64_t shownGeneration_ = 0;
  std::size_t shownSize_ = 0;
  bool shownEndsLine_ = true;
  bool updating_ = false;
};

// Where M_Help_Log_Click puts the log window: the main window's left, and its top plus 9010
// twips, both first held to the signed 16-bit twip range (15 twips per pixel); the result is then
// moved inside the available screen area so the window can always be reached. Pixels in and out.
QPoint LogWindowPosition(QPoint mainWindowPos, QSize logWindowSize, QRect screenArea);

}  // namespace mirelo::dialogs
