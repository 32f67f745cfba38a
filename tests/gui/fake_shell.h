#pragma once

// A Shell that records what the program asks and answers from a script.

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

#include "platform/shell/shell.h"

namespace mirelo::testing {

class FakeShell final : public shell::Shell {
 public:
  QStringList errors;
  QStringList messages;
  QStringList messageTitles;  // of the titled boxes only
  QStringList questions;
  QStringList saveFilters;
  QList<QUrl> openedUrls;
  int beeps = 0;

  bool answerYes = true;
  std::optional<QString> saveAnswer;  // nullopt: the dialog is cancelled
  // Open dialogs and folder pickers: what they were shown with, and their answers in order.
  QStringList openFilters;
  QList<std::optional<QString>> openAnswers;  // none left, or nullopt: cancelled
  QStringList folderTitles;
  QStringList folderStarts;
  QStringList folderAnswers;  // none left, or "": cancelled

  void ShowError(QWidget*, const QString& text) override { errors << text; }
  void ShowMessage(QWidget*, const QString& text) override { messages << text; }
  void ShowTitledMessage(QWidget*, const QString& title, const QString& text) override {
    messages << text;
    messageTitles << title;
  }
  bool AskYesNo(QWidget*, const QString& text) override {
    questions << text;
    return answerYes;
  }
  std::optional<QString> GetSaveFileName(QWidget*, const QString& filter) override {
    saveFilters << filter;
    return saveAnswer;
  }
  std::optional<QString> GetOpenFileName(QWidget*, const QString&, const QString& filter) override {
    openFilters << filter;
    return openAnswers.isEmpty() ? std::nullopt : openAnswers.takeFirst();
  }
  QString PickFolder(QWidget*, const QString& title, const QString& initialFolder) override {
    folderTitles << title;
    folderStarts << initialFolder;
    return folderAnswers.isEmpty() ? QString() : folderAnswers.takeFirst();
  }
  void Beep() override { ++beeps; }
  void OpenUrl(const QUrl& url) override { openedUrls << url; }
};

}  // namespace mirelo::testing
