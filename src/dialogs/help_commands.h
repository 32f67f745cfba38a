#pragma once

// The commands of the menu "ヘルプ(&H)" that open something outside the program.

#include <QString>
#include <QUrl>

namespace mirelo::shell {
class Shell;
}

namespace mirelo::dialogs {

// The maker's home page.
QUrl HomePageUrl();

// help/mr_help.htm beside the executable; when it is not there, the installed data folder's copy;
// when neither exists, the path beside the executable (opening it then simply fails).
QString HelpFilePath(const QString& executableDir);

// Opens the home page with the desktop's browser; failures are not shown.
void OpenHomePage(shell::Shell& shell);
// Opens the help file with the desktop's program; a missing file shows nothing.
void OpenHelp(shell::Shell& shell, const QString& helpFile);

}  // namespace mirelo::dialogs
