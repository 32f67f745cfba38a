#include <QApplication>
#include <QDir>
#include <QFile>

#include "app/app_dir.h"
#include "app/log_buffer.h"
#include "app/window/main_window.h"
#include "platform/shell/shell.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setWindowIcon(QIcon(QStringLiteral(u":/mirelo/logo.png")));
  mirelo::window::ApplyDesktopFont();

  mirelo::shell::QtShell shell;
  const QString exeDir = QCoreApplication::applicationDirPath();
  mirelo::window::MainWindowContext context;
  context.appDir = mirelo::app::ResolveAppDir();
  context.executableDir = exeDir;
  context.shell = &shell;
  context.log = &mirelo::app::ProcessLog();

  mirelo::window::MainWindow window(std::move(context));
  if (!window.Form_Load()) return 0;
  window.show();
  return QApplication::exec();
}
