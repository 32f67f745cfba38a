#include "dialogs/about_box.h"

#include <QEvent>
#include <QFont>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>

#include "dialogs/help_commands.h"
#include "platform/shell/shell.h"

namespace mirelo::dialogs {
namespace {

QLabel* MakeLabel(QWidget* parent, const char16_t* name, const QRect& geometry) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromUtf16(name));
  label->setGeometry(geometry);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

QFrame* MakeLine(QWidget* parent, const char16_t* name, int y, const QColor& colour) {
  auto* line = new QFrame(parent);
  line->setObjectName(QString::fromUtf16(name));
  line->setGeometry(6, y, 377 - 6 + 1, 1);
  line->setAutoFillBackground(true);
  QPalette p = line->palette();
  p.setColor(QPalette::Window, colour);
  line->setPalette(p);
  return line;
}

}  // namespace

AboutBox::AboutBox(shell::Shell& shell, QWidget* parent) : QDialog(parent), shell_(shell) {
  setObjectName(QStringLiteral(u"frmAbout"));
  setWindowTitle(QStringLiteral(u"バージョン情報"));
  setModal(false);
  setFixedSize(382, 237);

  auto* picIcon = new QLabel(this);
  picIcon->setObjectName(QStringLiteral(u"picIcon"));
  const QPixmap logo(QStringLiteral(u":/mirelo/logo.png"));
  picIcon->setPixmap(logo);
  picIcon->setGeometry(16, 16, logo.isNull() ? 64 : logo.width(), logo.isNull() ? 64 : logo.height());

  QLabel* lblTitle = MakeLabel(this, u"lblTitle", {104, 16, 259, 32});
  QFont titleFont = lblTitle->font();
  titleFont.setBold(true);
  titleFont.setPixelSize(24);
  lblTitle->setFont(titleFont);

  QLabel* lblVersion = MakeLabel(this, u"lblVersion", {104, 52, 259, 15});
  QFont versionFont = lblVersion->font();
  versionFont.setBold(true);
  lblVersion->setFont(versionFont);

  lblDescription_ = MakeLabel(this, u"lblDescription", {104, 99, 259, 46});
  lblDescription_->setText(QStringLiteral(u"バージョンアップなどの情報は、ホームページをご確認下さい。"));
  lblDescription_->setWordWrap(true);
  QPalette blue = lblDescription_->palette();
  blue.setColor(QPalette::WindowText, Qt::blue);
  lblDescription_->setPalette(blue);
  lblDescription_->setCursor(Qt::PointingHandCursor);
  lblDescription_->installEventFilter(this);

  // The etched separator: a grey line with a white one beneath it.
  MakeLine(this, u"Line1", 163, QColor(128, 128, 128));
  MakeLine(this, u"Line1_1", 164, Qt::white);

  auto* cmdOK = new QPushButton(QStringLiteral(u"OK"), this);
  cmdOK->setObjectName(QStringLiteral(u"cmdOK"));
  cmdOK->setGeometry(283, 175, 92, 23);
  cmdOK->setDefault(true);
  cmdOK->setAutoDefault(true);
  auto* cmdSysInfo = new QPushButton(QStringLiteral(u"ｼｽﾃﾑ情報(&S)..."), this);
  cmdSysInfo->setObjectName(QStringLiteral(u"cmdSysInfo"));
  cmdSysInfo->setGeometry(284, 205, 92, 23);
  cmdSysInfo->setAutoDefault(false);

  connect(cmdOK, &QPushButton::clicked, this, &AboutBox::cmdOK_Click);
  connect(cmdSysInfo, &QPushButton::clicked, this, &AboutBox::cmdSysInfo_Click);
  // Esc (QDialog::reject) is the cancel button and closes the box like OK.
  connect(this, &QDialog::rejected, this, &AboutBox::close);

  Form_Load();
}

void AboutBox::Form_Load() {
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
  }
  setWindowTitle(QStringLiteral(u"ミレロのバージョン情報"));
  findChild<QLabel*>(QStringLiteral(u"lblVersion"))
      ->setText(QStringLiteral(u"ﾊﾞｰｼﾞｮﾝ ") + QString::number(kVersionMajor) + u'.' +
                QString::number(kVersionMinor) + u'.' + QString::number(kVersionRevision));
  findChild<QLabel*>(QStringLiteral(u"lblTitle"))->setText(QStringLiteral(u"ミレロ"));
}

void AboutBox::cmdOK_Click() { close(); }

void AboutBox::cmdSysInfo_Click() {
  // There is no system information tool to start on this platform.
  shell_.ShowMessage(this, QStringLiteral(u"現時点ではｼｽﾃﾑ情報を使用できません"));
}

void AboutBox::lblDescription_Click() { OpenHomePage(shell_); }

bool AboutBox::eventFilter(QObject* watched, QEvent* event) {
  if (watched == lblDescription_ && event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    lblDescription_Click();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace mirelo::dialogs
