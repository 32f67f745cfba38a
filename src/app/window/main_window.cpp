#include "app/window/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QComboBox>
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <algorithm>
#include <system_error>

#include "app/log_buffer.h"
#include "app/settings_store.h"
#include "app/size_presets.h"
#include "app/window/image_view.h"
#include "app/window/size_preset_panel.h"
#include "app/window/twips.h"
#include "app/window/window_settings_sink.h"
#include "dialogs/about_box.h"
#include "dialogs/help_commands.h"
#include "dialogs/log_window.h"
#include "dialogs/options_dialog.h"
#include "filelist/output_panel.h"
#include "frames/frame_panel.h"
#include "filelist/batch_panel.h"
#include "filelist/file_list_panel.h"
#include "filelist/preview_panel.h"
#include "platform/shell/instance_channel.h"
#include "platform/shell/shell.h"
#include "platform/shell/single_instance.h"

namespace mirelo::window {
namespace {

void DefaultEndProcess() {
  for (QWidget* w : QApplication::topLevelWidgets()) w->hide();
  QCoreApplication::exit(0);
}

bool IsOrdinaryFile(const std::filesystem::path& file) {
  std::error_code ec;
  return std::filesystem::is_regular_file(file, ec);
}

}  // namespace

void ApplyDesktopFont() {
  const QString designFont = QStringLiteral(u"ＭＳ ゴシック");
  QFont::insertSubstitution(designFont, QStringLiteral(u"IPAGothic"));
  QFont font;
  font.setFamilies({designFont, QStringLiteral(u"IPAGothic")});
  font.setPixelSize(12);
  QApplication::setFont(font);
}

MainWindow::MainWindow(MainWindowContext context, QWidget* parent)
    : QMainWindow(parent), ctx_(std::move(context)) {
  setObjectName(QStringLiteral(u"frmMain"));
  c_ = BuildMainControls(*this);
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  adjustSize();

  presets_ = new SizePresetPanel(c_, settings_, SizeFile(), *ctx_.shell, this);
  logWindow_ = std::make_unique<dialogs::LogWindow>(*ctx_.log, *ctx_.shell);
  // Where the output folder picker opens while no folder is in use.
  output_ = new filelist::OutputPanel(c_, settings_, *ctx_.shell, this, QDir::homePath());
  frames_ = new frames::FramePanel(c_, settings_, SettingsFile(), FrameEditFile, *ctx_.shell, this);
  connect(c_.M_Help_Option, &QAction::triggered, this, &MainWindow::M_Help_Option_Click);
  preview_ = new filelist::PreviewPanel(*this, c_, *ctx_.shell, ctx_.silentPlayer);
  fileList_ = new filelist::FileListPanel(*this, c_, *ctx_.shell, *preview_, *ctx_.log);
  batch_ = new filelist::BatchPanel(*this, c_, *ctx_.shell, *ctx_.log, *fileList_, *preview_);
  ReleaseVideo = [this] { preview_->ReleaseVideo(); };
  ClearStill = [this] { preview_->ClearStill(); };

  connect(c_.Bt_End, &QPushButton::clicked, this, &MainWindow::Bt_End_Click);
  connect(c_.Bt_Save, &QPushButton::clicked, this, &MainWindow::Bt_Save_Click);
  connect(c_.M_File_End, &QAction::triggered, this, &MainWindow::M_File_End_Click);
  connect(c_.M_Help_Log, &QAction::triggered, this, [this] {
    // Qt has already flipped the check mark; the handler decides from the mark as it was.
    c_.M_Help_Log->setChecked(!c_.M_Help_Log->isChecked());
    M_Help_Log_Click();
  });
  connect(logWindow_.get(), &dialogs::LogWindow::menuToggleRequested, this, &MainWindow::M_Help_Log_Click);
  connect(c_.M_Help_HomePage, &QAction::triggered, this, &MainWindow::M_Help_HomePage_Click);
  connect(c_.M_Help_Mokuji, &QAction::triggered, this, &MainWindow::M_Help_Mokuji_Click);
  connect(c_.M_Help_Version, &QAction::triggered, this, &MainWindow::M_Help_Version_Click);
}

MainWindow::~MainWindow() {
  // The engine's thread goes first, while the controls it reports to still exist.
  batch_->Stop();
  delete aboutBox_.data();
}

std::filesystem::path MainWindow::SettingsFile() const { return ctx_.appDir / app::kSettingsFileName; }

std::filesystem::path MainWindow::SizeFile() const { return ctx_.appDir / app::kSizeFileName; }

dialogs::AboutBox* MainWindow::AboutBox() const { return aboutBox_.data(); }

std::int32_t MainWindow::LeftTwips() const { return Twips(pos().x()); }

std::int32_t MainWindow::TopTwips() const { return Twips(pos().y()); }

bool MainWindow::Form_Load() {
  // 1. One instance per AppDir. Nothing is read or written before this check.
  instanceLock_ = std::make_unique<shell::SingleInstanceLock>(ctx_.appDir);
  if (instanceLock_->anotherInstance()) {
    ctx_.shell->ShowError(nullptr, QStringLiteral(u"ミレロはすでに起動されています。"));
    return false;
  }
  if (instanceLock_->held()) {
    // Later starts with paths hand them over here ("Open With" on a running program).
    auto* channel = new shell::InstanceChannel(this);
    channel->Listen(ctx_.appDir);
    connect(channel, &shell::InstanceChannel::pathsReceived, this, [this](const std::vector<std::string>& paths) {
      fileList_->List1_OLEDragDrop(paths);
      raise();
      activateWindow();
    });
  }
  // 2. AppDir came with the context. 3. Centre the window.
  Centre();
  // 4. The size boxes take digits only (as typed or pasted; a preset's "-5" is shown as read).
  c_.SizeWidth->setValidator(new dialogs::TypedDigitsValidator(c_.SizeWidth));
  c_.SizeHeight->setValidator(new dialogs::TypedDigitsValidator(c_.SizeHeight));
  // 5. Process state.
  InitialiseState();
  // 6. Formats.
  c_.CbFormat->clear();
  c_.CbFormat->addItems(FormatEntries());
  // 7. Output next to the sources until the settings say otherwise.
  settings_.OutputMode = 0;
  SelectOptionButton(c_.OpThumbOut1);
  settings_.OutputPath.reset();
  c_.Lb_Out->setText(QString());
  // 8. Naming rules.
  c_.CbFName->clear();
  c_.CbFName->addItems(NamingEntries());
  // The longest rule is cut in this font at the design width; the box may use the free room
  // before its label.
  const int room = c_.Lb_SaveFile->x() - 4 - c_.CbFName->x();
  c_.CbFName->resize(std::clamp(c_.CbFName->sizeHint().width(), c_.CbFName->width(), std::max(room, c_.CbFName->width())),
                     c_.CbFName->height());
  // 9. and 10. Size presets.
  LoadPresets();
  presets_->CbSize_Click();
  // 11. Settings.
  LoadSettingsFile();
  // 12. and 13.
  setWindowTitle(QStringLiteral(u"ミレロ V.1.10"));
  c_.M_Help_Log->setChecked(false);
  return true;
}

void MainWindow::Centre() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->geometry();
  const QSize size = frameGeometry().size();
  move(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2);
}

void MainWindow::InitialiseState() {
  DropInProgress = 0;
  SavedVolume = 0;
  BatchRunning = 0;
  CancelRequested = 0;
  settings_.StillFrameFile.reset();
  settings_.VideoFrameFile.reset();
  settings_.StillFrameTop = settings_.StillFrameLeft = settings_.StillFrameWidth = settings_.StillFrameHeight = -1;
  settings_.VideoFrameTop = settings_.VideoFrameLeft = settings_.VideoFrameWidth = settings_.VideoFrameHeight = -1;
}

void MainWindow::LoadPresets() {
  // A size.ini that cannot be created leaves the list as LoadSizes finds it; the program still
  // runs with what it has.
  if (!IsOrdinaryFile(SizeFile())) app::CreateSizeFile(SizeFile());
  presets_->LoadSizes();
}

void MainWindow::LoadSettingsFile() {
  // The defaults carry the centred position of the window.
  if (!IsOrdinaryFile(SettingsFile())) app::CreateSettingsFile(SettingsFile(), TopTwips(), LeftTwips());
  WindowSettingsSink sink(*this, c_, *presets_, FrameEditFile);
  app::LoadSettings(SettingsFile(), settings_, sink);
}

void MainWindow::M_File_End_Click() {
  // A run in progress ends after its current entry; nothing half-written stays behind.
  batch_->Stop();
  if (ReleaseVideo) ReleaseVideo();
  if (ClearStill) {
    ClearStill();
  } else {
    c_.LEAD1->Clear();
  }
  app::SaveWindowPosition(SettingsFile(), LeftTwips(), TopTwips());
  logWindow_->hide();
  ending_ = true;
  if (ctx_.endProcess) {
    ctx_.endProcess();
  } else {
    DefaultEndProcess();
  }
}

void MainWindow::Bt_End_Click() { M_File_End_Click(); }

void MainWindow::Bt_Save_Click() { app::SaveMainSettings(SettingsFile(), settings_, TopTwips(), LeftTwips()); }

void MainWindow::M_Help_Log_Click() {
  if (c_.M_Help_Log->isChecked()) {
    c_.M_Help_Log->setChecked(false);
    logWindow_->hide();
    return;
  }
  const QScreen* where = screen();
  const QRect area = where ? where->availableGeometry() : QRect();
  logWindow_->move(dialogs::LogWindowPosition(pos(), logWindow_->frameGeometry().size(), area));
  logWindow_->show();
  c_.M_Help_Log->setChecked(true);
  // The main window stays the active one.
  raise();
  activateWindow();
}

void MainWindow::M_Help_HomePage_Click() { dialogs::OpenHomePage(*ctx_.shell); }

void MainWindow::M_Help_Mokuji_Click() {
  dialogs::OpenHelp(*ctx_.shell, dialogs::HelpFilePath(ctx_.executableDir));
}

void MainWindow::M_Help_Version_Click() {
  if (!aboutBox_) {
    aboutBox_ = new dialogs::AboutBox(*ctx_.shell);
    aboutBox_->setAttribute(Qt::WA_DeleteOnClose);
  }
  aboutBox_->show();
  aboutBox_->raise();
  aboutBox_->activateWindow();
}

void MainWindow::M_Help_Option_Click() {
  // Ignored while a run works, as list edits and the start button are.
  if (BatchRunning == -1) return;
  // Created at each showing, as a window of its own (its control names must not shadow ours).
  dialogs::OptionsDialog dialog(settings_, SettingsFile());
  connect(&dialog, &dialogs::OptionsDialog::inputRefused, this, [this] { ctx_.shell->Beep(); });
  dialog.exec();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  if (ending_) return;
  // The close box ends the program without writing anything.
  ending_ = true;
  batch_->Stop();
  if (ReleaseVideo) ReleaseVideo();
  logWindow_->hide();
  if (aboutBox_) aboutBox_->close();
  if (ctx_.endProcess) {
    ctx_.endProcess();
  } else {
    DefaultEndProcess();
  }
}

}  // namespace mirelo::window
