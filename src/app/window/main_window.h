#pragma once

// frmMain: the main window. It builds its controls, runs the start-up and exit sequences and the
// commands of the shell (settings save, menus, log window, About box, help); the subsystems'
// controls are handled by the panel classes it owns.

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/thumb_settings.h"
#include "app/window/main_controls.h"

namespace mirelo::app {
class LogBuffer;
}
namespace mirelo::shell {
class Shell;
class SingleInstanceLock;
}  // namespace mirelo::shell
namespace mirelo::dialogs {
class AboutBox;
class LogWindow;
}  // namespace mirelo::dialogs

namespace mirelo::filelist {
class BatchPanel;
class FileListPanel;
class PreviewPanel;
}  // namespace mirelo::filelist

namespace mirelo::filelist {
class OutputPanel;
}
namespace mirelo::frames {
class FramePanel;
}

namespace mirelo::window {

class SizePresetPanel;

// What the window needs from the process. Tests give their own folder, shell and log.
struct MainWindowContext {
  std::filesystem::path appDir;  // where thumb.ini and size.ini live
  QString executableDir;         // where help/mr_help.htm is looked for first
  shell::Shell* shell = nullptr;
  app::LogBuffer* log = nullptr;
  // Ends the process at the end of the exit sequence and after the close box. Default: hide
  // every window and leave the event loop.
  std::function<void()> endProcess;
  // The video preview plays no sound (tests).
  bool silentPlayer = false;
};

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(MainWindowContext context, QWidget* parent = nullptr);
  ~MainWindow() override;

  // The start-up sequence. False when another instance runs for the same AppDir: the message has
  // been shown, nothing was read or written, and the caller ends without showing the window.
  bool Form_Load();

  const MainControls& Controls() const { return c_; }
  app::ThumbSettings& Settings() { return settings_; }
  std::filesystem::path SettingsFile() const;
  std::filesystem::path SizeFile() const;
  dialogs::LogWindow* LogWindow() const { return logWindow_.get(); }
  dialogs::AboutBox* AboutBox() const;
  SizePresetPanel& Presets() { return *presets_; }
  filelist::OutputPanel& Output() { return *output_; }
  frames::FramePanel& Frames() { return *frames_; }
  filelist::FileListPanel& FileList() { return *fileList_; }
  filelist::PreviewPanel& Preview() { return *preview_; }
  filelist::BatchPanel& Batch() { return *batch_; }

  // Process-wide state of the other subsystems, initialised by Form_Load.
  std::int16_t BatchRunning = 0;
  std::int16_t CancelRequested = 0;
  std::int16_t DropInProgress = 0;
  std::int16_t SavedVolume = 0;
  std::string FrameEditFile;

  // Hooks of the preview subsystem used by the exit sequence and the close box.
  std::function<void()> ReleaseVideo;
  std::function<void()> ClearStill;

  // True once the exit sequence or the close box has ended the program; work that yields to the
  // event loop (a batch run) stops when it sees this.
  bool Ending() const { return ending_; }

  // The window's position in twips, as stored in thumb.ini.
  std::int32_t LeftTwips() const;
  std::int32_t TopTwips() const;

 public slots:
  void M_File_End_Click();
  void Bt_End_Click();
  void Bt_Save_Click();
  void M_Help_Log_Click();
  void M_Help_HomePage_Click();
  void M_Help_Mokuji_Click();
  void M_Help_Version_Click();
  void M_Help_Option_Click();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Centre();
  void InitialiseState();
  void LoadPresets();
  void LoadSettingsFile();

  MainWindowContext ctx_;
  MainControls c_;
  app::ThumbSettings settings_;
  std::unique_ptr<shell::SingleInstanceLock> instanceLock_;
  SizePresetPanel* presets_ = nullptr;
  filelist::OutputPanel* output_ = nullptr;
  frames::FramePanel* frames_ = nullptr;
  filelist::PreviewPanel* preview_ = nullptr;
  filelist::FileListPanel* fileList_ = nullptr;
  filelist::BatchPanel* batch_ = nullptr;
  // The other windows are top-level windows of their own, not children of this one, so that a
  // control name of frmMain (Bt_Save, Line1) finds only frmMain's control.
  std::unique_ptr<dialogs::LogWindow> logWindow_;
  QPointer<dialogs::AboutBox> aboutBox_;
  bool ending_ = false;
};

// The desktop font: "ＭＳ ゴシック" as the design names it, mapped to IPAGothic.
void ApplyDesktopFont();

}  // namespace mirelo::window
