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
  QStringList questions;
  QStringList saveFilters;
  QList<QUrl> openedUrls;
  int beeps = 0;

  bool answerYes = true;
  std::optional<QString> saveAnswer;  // nullopt: the dialog is cancelled

  void ShowError(QWidget*, const QString& text) override { errors << text; }
  void ShowMessage(QWidget*, const QString& text) override { messages << text; }
  bool AskYesNo(QWidget*, const QString& text) override {
    questions << text;
    return answerYes;
  }
  std::optional<QString> GetSaveFileName(QWidget*, const QString& filter) override {
    saveFilters << filter;
    return saveAnswer;
  }
  std::optional<QString> GetOpenFileName(QWidget*, const QString&, const QString&) override { return std::nullopt; }
  QString PickFolder(QWidget*, const QString&, const QString&) override { return QString(); }
  void Beep() override { ++beeps; }
  void OpenUrl(const QUrl& url) override { openedUrls << url; }
};

}  // namespace mirelo::testing
