#pragma once

// The desktop services the windows use: message boxes, file and folder dialogs, the beep and
// opening a document or address with the desktop's program. Windows receive a Shell through
// their constructor so that tests can answer the dialogs and record the beeps.

#include <QString>
#include <QUrl>
#include <optional>

class QWidget;

namespace mirelo::shell {

// The application title of untitled boxes and questions.
inline QString AppTitle() { return QStringLiteral(u"ミレロ"); }
// The title of every error box.
inline QString ErrorTitle() { return QStringLiteral(u"エラーメッセージ"); }

// The titles an untitled save or open dialog carries on a Japanese desktop.
inline QString SaveDialogTitle() { return QStringLiteral(u"名前を付けて保存"); }
inline QString OpenDialogTitle() { return QStringLiteral(u"開く"); }

class Shell {
 public:
  virtual ~Shell() = default;

  // Error box: the text, title "エラーメッセージ", an OK button only, no icon.
  virtual void ShowError(QWidget* owner, const QString& text) = 0;
  // Untitled box: the text, the application title, an OK button only, no icon.
  virtual void ShowMessage(QWidget* owner, const QString& text) = 0;
  // A box with its own title, an OK button only and no icon.
  virtual void ShowTitledMessage(QWidget* owner, const QString& title, const QString& text) = 0;
  // Question: Yes and No, a question icon, the application title. True for Yes.
  virtual bool AskYesNo(QWidget* owner, const QString& text) = 0;

  // Save dialog, titled SaveDialogTitle(). filter is in the program's
  // "description|patterns|description|patterns" form, patterns separated by ";"; the first entry
  // is selected. The dialog does not ask about
  // overwriting (callers ask themselves). nullopt when cancelled.
  virtual std::optional<QString> GetSaveFileName(QWidget* owner, const QString& filter) = 0;
  // Open dialog with the same filter form; an empty title gives OpenDialogTitle(). nullopt when
  // cancelled.
  virtual std::optional<QString> GetOpenFileName(QWidget* owner, const QString& title, const QString& filter) = 0;
  // PickFolder: a folder browser opened at initialFolder; the chosen folder, or empty when
  // cancelled.
  virtual QString PickFolder(QWidget* owner, const QString& title, const QString& initialFolder) = 0;

  virtual void Beep() = 0;
  // Opens an address or a local file with the desktop's program. The result is not reported:
  // the program shows nothing when it fails.
  virtual void OpenUrl(const QUrl& url) = 0;
};

// The real services: Qt's message boxes and dialogs, QApplication::beep, QDesktopServices.
class QtShell final : public Shell {
 public:
  void ShowError(QWidget* owner, const QString& text) override;
  void ShowMessage(QWidget* owner, const QString& text) override;
  void ShowTitledMessage(QWidget* owner, const QString& title, const QString& text) override;
  bool AskYesNo(QWidget* owner, const QString& text) override;
  std::optional<QString> GetSaveFileName(QWidget* owner, const QString& filter) override;
  std::optional<QString> GetOpenFileName(QWidget* owner, const QString& title, const QString& filter) override;
  QString PickFolder(QWidget* owner, const QString& title, const QString& initialFolder) override;
  void Beep() override;
  void OpenUrl(const QUrl& url) override;
};

// "desc|pat1;pat2|desc2|pat" -> Qt's "desc (pat1 pat2);;desc2 (pat)"; "*.*" becomes "*" (every
// file). Exposed for tests.
QString ToQtNameFilters(const QString& filter);

}  // namespace mirelo::shell
