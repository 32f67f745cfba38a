#include "dialogs/log_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <memory>

#include "platform/shell/shell.h"

namespace mirelo::dialogs {
namespace {

constexpr int kTwipsPerPixel = 15;
constexpr int kLogOffsetTwips = 9010;

// The buffer holds CR LF line ends; the text box works with LF.
QString ToWidgetText(const std::string& text) {
  QString s = QString::fromStdString(text);
  s.replace(QStringLiteral(u"\r\n"), QStringLiteral(u"\n"));
  return s;
}

std::string ToBufferText(const QString& widgetText) {
  QString s = widgetText;
  s.replace(QStringLiteral(u"\r\n"), QStringLiteral(u"\n"));
  s.replace(QStringLiteral(u"\n"), QStringLiteral(u"\r\n"));
  return s.toStdString();
}

int ClampInt16(long long v) { return static_cast<int>(std::clamp<long long>(v, -32768, 32767)); }

}  // namespace

QString LogFileFilter() {
  return QStringLiteral(u"テキストファイル(*.txt;*.log)|*.txt;*.log|全てのファイル(*.*)|*.*");
}

QPoint LogWindowPosition(QPoint mainWindowPos, QSize logWindowSize, QRect screenArea) {
  const int leftTwips = ClampInt16(static_cast<long long>(mainWindowPos.x()) * kTwipsPerPixel);
  const int topTwips = ClampInt16(static_cast<long long>(mainWindowPos.y()) * kTwipsPerPixel);
  const int logTopTwips = ClampInt16(static_cast<long long>(topTwips) + kLogOffsetTwips);
  int x = static_cast<int>(std::lround(leftTwips / static_cast<double>(kTwipsPerPixel)));
  int y = static_cast<int>(std::lround(logTopTwips / static_cast<double>(kTwipsPerPixel)));
  if (screenArea.isValid()) {
    x = std::min(x, screenArea.right() + 1 - logWindowSize.width());
    y = std::min(y, screenArea.bottom() + 1 - logWindowSize.height());
    x = std::max(x, screenArea.left());
    y = std::max(y, screenArea.top());
  }
  return {x, y};
}

LogWindow::LogWindow(app::LogBuffer& log, shell::Shell& shell, QWidget* parent)
    : QWidget(parent, Qt::Window), log_(log), shell_(shell) {
  setObjectName(QStringLiteral(u"frmLog"));
  setWindowTitle(QStringLiteral(u"エラーログ"));
  setFixedSize(792, 105);

  logText_ = new QPlainTextEdit(this);
  logText_->setObjectName(QStringLiteral(u"LogText"));
  logText_->setGeometry(8, 8, 681, 89);
  logText_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  logText_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

  btClear_ = new QPushButton(QStringLiteral(u"クリア"), this);
  btClear_->setObjectName(QStringLiteral(u"Bt_Clear"));
  btClear_->setGeometry(696, 8, 89, 25);
  btSave_ = new QPushButton(QStringLiteral(u"ログの保存"), this);
  btSave_->setObjectName(QStringLiteral(u"Bt_Save"));
  btSave_->setGeometry(696, 40, 89, 25);
  btClose_ = new QPushButton(QStringLiteral(u"閉じる"), this);
  btClose_->setObjectName(QStringLiteral(u"Bt_Close"));
  btClose_->setGeometry(696, 72, 89, 25);

  connect(btClear_, &QPushButton::clicked, this, &LogWindow::Bt_Clear_Click);
  connect(btSave_, &QPushButton::clicked, this, &LogWindow::Bt_Save_Click);
  connect(btClose_, &QPushButton::clicked, this, &LogWindow::Bt_Close_Click);
  connect(logText_, &QPlainTextEdit::textChanged, this, &LogWindow::OnUserEdit);

  // The buffer may change on a worker thread; the widget is updated on ours.
  // Another thread never touches the window: it posts to the application object, and the window
  // is looked at on the user-interface thread only.
  // One update waits at a time: a run appending thousands of lines costs thousands of small
  // inserts, not thousands of copies of the whole text.
  QPointer<LogWindow> self(this);
  QThread* const uiThread = thread();
  auto pending = std::make_shared<std::atomic<bool>>(false);
  log_.SetChangeHandler([self, uiThread, pending] {
    if (QThread::currentThread() == uiThread) {
      if (self) self->ShowBuffer();
    } else if (QCoreApplication* app = QCoreApplication::instance(); app && !pending->exchange(true)) {
      QMetaObject::invokeMethod(
          app,
          [self, pending] {
            pending->store(false);
            if (self) self->ShowBuffer();
          },
          Qt::QueuedConnection);
    }
  });
  ShowBuffer();
}

LogWindow::~LogWindow() { log_.SetChangeHandler({}); }

void LogWindow::ShowBuffer() {
  if (updating_) return;
  app::LogBuffer::Change change = log_.ChangesSince(shownGeneration_, shownSize_);
  if (change.appended && change.text.empty()) return;
  updating_ = true;
  if (change.appended && shownEndsLine_) {
    // Appending is the common case: insert only the new lines and keep the view at the end.
    QTextCursor cursor(logText_->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(ToWidgetText(change.text));
    shownEndsLine_ = change.text.back() == '\n';
  } else {
    // Generation 0 is never current: the whole text, with its size, in one piece.
    if (change.appended) change = log_.ChangesSince(0, 0);
    logText_->setPlainText(ToWidgetText(change.text));
    shownEndsLine_ = change.text.empty() || change.text.back() == '\n';
  }
  shownGeneration_ = change.generation;
  shownSize_ = change.size;
  updating_ = false;
}

void LogWindow::OnUserEdit() {
  if (updating_) return;
  updating_ = true;
  std::string text = ToBufferText(logText_->toPlainText());
  shownSize_ = text.size();
  shownEndsLine_ = text.empty() || text.back() == '\n';
  shownGeneration_ = log_.SetText(std::move(text));
  updating_ = false;
}

void LogWindow::Bt_Clear_Click() { log_.Clear(); }

void LogWindow::Bt_Save_Click() {
  const std::optional<QString> chosen = shell_.GetSaveFileName(this, LogFileFilter());
  if (!chosen) return;  // cancelled: nothing happens
  const QFileInfo info(*chosen);
  if (info.exists() && !info.isDir()) {
    if (!shell_.AskYesNo(this, QStringLiteral(u"ファイルを上書きしますか？"))) {
      shell_.Beep();
      return;
    }
  }
  const std::filesystem::path file(QFile::encodeName(*chosen).toStdString());
  if (!log_.Save(file)) shell_.Beep();
}

void LogWindow::Bt_Close_Click() {
  emit menuToggleRequested();
  hide();
}

void LogWindow::closeEvent(QCloseEvent* event) {
  // The close box acts as "閉じる": the text is kept and the menu check follows.
  Bt_Close_Click();
  event->accept();
}

}  // namespace mirelo::dialogs
