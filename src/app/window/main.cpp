#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QTranslator>

#include "app/app_dir.h"
#include "app/log_buffer.h"
#include "app/window/main_window.h"
#include "filelist/file_list_panel.h"
#include "platform/shell/instance_channel.h"
#include "platform/shell/shell.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "Usage: mirelo [FILE...]\n"
    "Opens the thumbnail maker's window with FILE... in its list, as if they had been dropped on it.\n"
    "  --help      show this text\n"
    "  --version   show the version\n";

}  // namespace

int main(int argc, char* argv[]) {
  // Read before Qt starts, so that --help and --version work without a display.
  std::vector<std::string> paths;
  bool onlyPaths = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (!onlyPaths && arg == "--") {
      onlyPaths = true;
    } else if (!onlyPaths && arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (!onlyPaths && arg == "--version") {
      std::puts("mirelo 1.10");
      return 0;
    } else if (!onlyPaths && arg.size() > 1 && arg[0] == '-') {
      std::fprintf(stderr, "mirelo: unknown option %s\n%s", arg.c_str(), kUsage);
      return 2;
    } else {
      paths.push_back(arg);
    }
  }

  QApplication app(argc, argv);
  QApplication::setWindowIcon(QIcon(QStringLiteral(u":/mirelo/logo.png")));
  // The interface is Japanese whatever the locale, so Qt's own dialogs (file dialogs, standard
  // buttons) are too, when the translations are installed.
  QTranslator qtTranslator;
  if (qtTranslator.load(QStringLiteral(u"qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&qtTranslator);
  }
  mirelo::window::ApplyDesktopFont();

  mirelo::shell::QtShell shell;
  const QString exeDir = QCoreApplication::applicationDirPath();
  mirelo::window::MainWindowContext context;
  context.appDir = mirelo::app::ResolveAppDir();
  context.executableDir = exeDir;
  context.shell = &shell;
  context.log = &mirelo::app::ProcessLog();

  // Another instance runs for this AppDir: it takes the paths, and this start ends.
  if (!paths.empty()) {
    for (std::string& path : paths) {
      path = QFile::encodeName(QDir::current().absoluteFilePath(QFile::decodeName(path.c_str()))).toStdString();
    }
    if (mirelo::shell::SendToRunningInstance(context.appDir, paths)) return 0;
  }
  mirelo::window::MainWindow window(std::move(context));
  if (!window.Form_Load()) return 0;
  window.show();
  // Paths given to the program (a file manager's "Open With") are taken as a drop of them.
  if (!paths.empty()) window.FileList().List1_OLEDragDrop(paths);
  return QApplication::exec();
}
