#include "platform/shell/shell.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <QStringList>

namespace mirelo::shell {
namespace {

// Some styles put icons (a check mark, coloured dots) on the standard buttons; the program's
// boxes have plain text buttons.
void PlainButtons(QMessageBox& box) {
  for (QAbstractButton* button : box.buttons()) button->setIcon(QIcon());
}

// A save dialog that refuses a name in a folder that does not exist and stays open, instead of
// returning a path no file can be created at.
class SaveDialog final : public QFileDialog {
 public:
  using QFileDialog::QFileDialog;

  void accept() override {
    const QStringList files = selectedFiles();
    if (!files.isEmpty()) {
      const QFileInfo chosen(files.first());
      if (!chosen.isDir() && !QFileInfo(chosen.absolutePath()).isDir()) {
        QMessageBox box(QMessageBox::NoIcon, windowTitle(),
                        chosen.absolutePath() +
                            QStringLiteral(u"\nパスが存在しません。\nパスが正しいかどうかを確認してください。"),
                        QMessageBox::Ok, this);
        PlainButtons(box);
        box.exec();
        return;
      }
    }
    QFileDialog::accept();
  }
};

QMessageBox::StandardButton Box(QWidget* owner, QMessageBox::Icon icon, const QString& title,
                                const QString& text, QMessageBox::StandardButtons buttons) {
  QMessageBox box(icon, title, text, buttons, owner);
  PlainButtons(box);
  // Qt's own labels are English unless a translation is installed; the interface is Japanese.
  if (QAbstractButton* yes = box.button(QMessageBox::Yes)) yes->setText(QStringLiteral(u"はい(&Y)"));
  if (QAbstractButton* no = box.button(QMessageBox::No)) no->setText(QStringLiteral(u"いいえ(&N)"));
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

QString ToQtNameFilters(const QString& filter) {
  const QStringList parts = filter.split(u'|');
  QStringList entries;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns = parts[i + 1].split(u';', Qt::SkipEmptyParts);
    // "*.*" means every file, also one without an extension.
    for (QString& p : patterns) {
      if (p == QStringLiteral(u"*.*")) p = QStringLiteral(u"*");
    }
    entries << parts[i] + QStringLiteral(u" (") + patterns.join(u' ') + QLatin1Char(')');
  }
  return entries.join(QStringLiteral(u";;"));
}

void QtShell::ShowError(QWidget* owner, const QString& text) {
  Box(owner, QMessageBox::NoIcon, ErrorTitle(), text, QMessageBox::Ok);
}

void QtShell::ShowMessage(QWidget* owner, const QString& text) {
  Box(owner, QMessageBox::NoIcon, AppTitle(), text, QMessageBox::Ok);
}

void QtShell::ShowTitledMessage(QWidget* owner, const QString& title, const QString& text) {
  Box(owner, QMessageBox::NoIcon, title, text, QMessageBox::Ok);
}

bool QtShell::AskYesNo(QWidget* owner, const QString& text) {
  return Box(owner, QMessageBox::Question, AppTitle(), text, QMessageBox::Yes | QMessageBox::No) ==
         QMessageBox::Yes;
}

std::optional<QString> QtShell::GetSaveFileName(QWidget* owner, const QString& filter) {
  // The program's own question handles an existing file; the details in the filter text already
  // show the patterns.
  SaveDialog dialog(owner, SaveDialogTitle(), QString(), ToQtNameFilters(filter));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOptions(QFileDialog::DontConfirmOverwrite | QFileDialog::HideNameFilterDetails);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty() || files.first().isEmpty()) return std::nullopt;
  return files.first();
}

std::optional<QString> QtShell::GetOpenFileName(QWidget* owner, const QString& title, const QString& filter) {
  const QString path =
      QFileDialog::getOpenFileName(owner, title.isEmpty() ? OpenDialogTitle() : title, QString(),
                                   ToQtNameFilters(filter), nullptr, QFileDialog::HideNameFilterDetails);
  if (path.isEmpty()) return std::nullopt;
  return path;
}

QString QtShell::PickFolder(QWidget* owner, const QString& title, const QString& initialFolder) {
  return QFileDialog::getExistingDirectory(owner, title, initialFolder, QFileDialog::ShowDirsOnly);
}

void QtShell::Beep() { QApplication::beep(); }

void QtShell::OpenUrl(const QUrl& url) { QDesktopServices::openUrl(url); }

}  // namespace mirelo::shell
