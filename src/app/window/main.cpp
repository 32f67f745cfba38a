#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QTranslator>

#include "app/app_dir.h"
#include "app/log_buffer.h"
#include "app/window/main_window.h"
#include "platform/shell/shell.h"

int main(int argc, char* argv[]) {
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

  mirelo::window::MainWindow window(std::move(context));
  if (!window.Form_Load()) return 0;
  window.show();
  return QApplication::exec();
}
