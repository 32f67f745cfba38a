#include "dialogs/help_commands.h"

#include <QDir>
#include <QFileInfo>

#include "platform/shell/shell.h"

namespace mirelo::dialogs {

QUrl HomePageUrl() { return QUrl(QStringLiteral(u"https://www.example.com/mirelo/")); }

QString HelpFilePath(const QString& executableDir) {
  const QString besideExe = QDir(executableDir).filePath(QStringLiteral(u"help/mr_help.htm"));
  if (QFileInfo(besideExe).isFile()) return besideExe;
#ifdef MIRELO_DATA_DIR
  const QString installed = QDir(QStringLiteral(MIRELO_DATA_DIR)).filePath(QStringLiteral(u"help/mr_help.htm"));
  if (QFileInfo(installed).isFile()) return installed;
#endif
  return besideExe;
}

void OpenHomePage(shell::Shell& shell) { shell.OpenUrl(HomePageUrl()); }

void OpenHelp(shell::Shell& shell, const QString& helpFile) { shell.OpenUrl(QUrl::fromLocalFile(helpFile)); }

}  // namespace mirelo::dialogs
