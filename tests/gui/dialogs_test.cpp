// The error log window, the About box and the help commands on their own.

#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "app/log_buffer.h"
#include "app/window/main_window.h"
#include "dialogs/about_box.h"
#include "dialogs/help_commands.h"
#include "dialogs/log_window.h"
#include "fake_shell.h"
#include "platform/shell/shell.h"
#include "window_harness.h"

using mirelo::dialogs::LogWindow;
using mirelo::testing::FakeShell;
using mirelo::testing::ReadBytes;
using mirelo::testing::WriteBytes;

namespace {

QPushButton* Button(QWidget* w, const char16_t* name) { return w->findChild<QPushButton*>(QString::fromUtf16(name)); }

}  // namespace

class DialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { mirelo::window::ApplyDesktopFont(); }

  void appendWorksWhileTheWindowIsHidden() {
    mirelo::app::LogBuffer log;
    FakeShell shell;
    LogWindow window(log, shell);
    QVERIFY(!window.isVisible());
    log.Append("x");
    log.Append("y");
    QCOMPARE(window.LogText()->toPlainText(), QStringLiteral(u"x\ny\n"));
    QCOMPARE(window.objectName(), QStringLiteral(u"frmLog"));
    QCOMPARE(window.windowTitle(), QStringLiteral(u"エラーログ"));
    QCOMPARE(window.size(), QSize(792, 105));
  }

  void appendFromAnotherThreadArrives() {
    mirelo::app::LogBuffer log;
    FakeShell shell;
    LogWindow window(log, shell);
    QThread* worker = QThread::create([&log] { log.Append("from a worker"); });
    worker->start();
    QVERIFY(worker->wait(5000));
    delete worker;
    QTRY_COMPARE(window.LogText()->toPlainText(), QStringLiteral(u"from a worker\n"));
  }

  void userEditsAndClearReachTheBuffer() {
    mirelo::app::LogBuffer log;
    FakeShell shell;
    LogWindow window(log, shell);
    log.Append("a");
    window.LogText()->setPlainText(QStringLiteral(u"edited\nline"));
    QCOMPARE(log.Text(), std::string("edited\r\nline"));
    log.Append("b");
    QCOMPARE(window.LogText()->toPlainText(), QStringLiteral(u"edited\nlineb\n"));
    QTest::mouseClick(Button(&window, u"Bt_Clear"), Qt::LeftButton);
    QCOMPARE(log.Text(), std::string());
    QCOMPARE(window.LogText()->toPlainText(), QString());
  }

  void saveWritesCp932WithAFinalCrLf() {
    mirelo::app::LogBuffer log;
    FakeShell shell;
    LogWindow window(log, shell);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral(u"ログ.txt"));
    shell.saveAnswer = file;
    log.Append("エラー1");
    log.Append("b");
    QTest::mouseClick(Button(&window, u"Bt_Save"), Qt::LeftButton);
    QCOMPARE(shell.saveFilters,
             QStringList{QStringLiteral(u"テキストファイル(*.txt;*.log)|*.txt;*.log|全てのファイル(*.*)|*.*")});
    QVERIFY(shell.questions.isEmpty());
    const std::filesystem::path path(QFile::encodeName(file).toStdString());
    QCOMPARE(ReadBytes(path), std::string("\x83\x47\x83\x89\x81\x5b\x31\r\nb\r\n\r\n"));
    QCOMPARE(shell.beeps, 0);

    // An empty log saves a single CR LF (after the overwrite is confirmed).
    QTest::mouseClick(Button(&window, u"Bt_Clear"), Qt::LeftButton);
    QTest::mouseClick(Button(&window, u"Bt_Save"), Qt::LeftButton);
    QCOMPARE(shell.questions, QStringList{QStringLiteral(u"ファイルを上書きしますか？")});
    QCOMPARE(ReadBytes(path), std::string("\r\n"));
  }

  void overwriteRefusedCancelledOrFailing() {
    mirelo::app::LogBuffer log;
    FakeShell shell;
    LogWindow window(log, shell);
    QTemporaryDir dir;
    const std::filesystem::path existing = std::filesystem::path(dir.path().toStdString()) / "old.log";
    WriteBytes(existing, "old");
    log.Append("new");

    shell.saveAnswer = QString::fromStdString(existing.string());
    shell.answerYes = false;
    QTest::mouseClick(Button(&window, u"Bt_Save"), Qt::LeftButton);
    QCOMPARE(shell.questions.size(), 1);
    QCOMPARE(shell.beeps, 1);
    QCOMPARE(ReadBytes(existing), std::string("old"));

    shell.saveAnswer.reset();  // cancelled: nothing at all
    QTest::mouseClick(Button(&window, u"Bt_Save"), Qt::LeftButton);
    QCOMPARE(shell.questions.size(), 1);
    QCOMPARE(shell.beeps, 1);

    shell.saveAnswer = dir.filePath(QStringLiteral(u"missing/folder.log"));  // cannot be written
    QTest::mouseClick(Button(&window, u"Bt_Save"), Qt::LeftButton);
    QCOMPARE(shell.beeps, 2);
    QVERIFY(shell.messages.isEmpty() && shell.errors.isEmpty());
  }

  void logWindowPlacement_data() {
    QTest::addColumn<QPoint>("mainPos");
    QTest::addColumn<QRect>("screen");
    QTest::addColumn<QPoint>("expected");
    const QRect big(0, 0, 1920, 1200);
    // Top 67 px = 1005 twips; + 9010 = 10015 twips = 667.7 px.
    QTest::newRow("under the main window") << QPoint(10, 67) << big << QPoint(10, 668);
    QTest::newRow("kept above the screen's bottom") << QPoint(10, 900) << big << QPoint(10, 1200 - 105);
    QTest::newRow("beyond 16-bit twips stays usable") << QPoint(4000, 5000) << big << QPoint(1920 - 792, 1200 - 105);
    QTest::newRow("left of the screen") << QPoint(-3000, 0) << big << QPoint(0, 601);
    QTest::newRow("second screen") << QPoint(2000, 100) << QRect(1920, 0, 1280, 1024) << QPoint(2000, 701);
  }

  void logWindowPlacement() {
    QFETCH(QPoint, mainPos);
    QFETCH(QRect, screen);
    QFETCH(QPoint, expected);
    QCOMPARE(mirelo::dialogs::LogWindowPosition(mainPos, QSize(792, 105), screen), expected);
  }

  void aboutBox() {
    FakeShell shell;
    mirelo::dialogs::AboutBox box(shell);
    QCOMPARE(box.windowTitle(), QStringLiteral(u"ミレロのバージョン情報"));
    QCOMPARE(box.size(), QSize(382, 237));
    auto* title = box.findChild<QLabel*>(QStringLiteral(u"lblTitle"));
    QCOMPARE(title->text(), QStringLiteral(u"ミレロ"));
    QVERIFY(title->font().bold());
    auto* version = box.findChild<QLabel*>(QStringLiteral(u"lblVersion"));
    QCOMPARE(version->text(), QStringLiteral(u"ﾊﾞｰｼﾞｮﾝ 1.1.0"));
    QVERIFY(version->font().bold());
    auto* icon = box.findChild<QLabel*>(QStringLiteral(u"picIcon"));
    QCOMPARE(icon->pixmap().size(), QSize(64, 64));  // the logo resource is linked in
    QCOMPARE(icon->pos(), QPoint(16, 16));
    QCOMPARE(Button(&box, u"cmdSysInfo")->text(), QStringLiteral(u"ｼｽﾃﾑ情報(&S)..."));
    QVERIFY(Button(&box, u"cmdOK")->isDefault());

    QTest::mouseClick(Button(&box, u"cmdSysInfo"), Qt::LeftButton);
    QCOMPARE(shell.messages, QStringList{QStringLiteral(u"現時点ではｼｽﾃﾑ情報を使用できません")});

    auto* link = box.findChild<QLabel*>(QStringLiteral(u"lblDescription"));
    QCOMPARE(link->text(), QStringLiteral(u"バージョンアップなどの情報は、ホームページをご確認下さい。"));
    QTest::mouseClick(link, Qt::LeftButton);
    QCOMPARE(shell.openedUrls, QList<QUrl>{mirelo::dialogs::HomePageUrl()});

    box.show();
    QVERIFY(box.isVisible());
    QTest::keyClick(&box, Qt::Key_Escape);
    QVERIFY(!box.isVisible());
    box.show();
    QTest::keyClick(&box, Qt::Key_Return);
    QVERIFY(!box.isVisible());
  }

  // The controls of both windows at their designed places (pixels), with their captions.
  void dialogControlsAtTheirPlaces() {
    mirelo::app::LogBuffer log;
    FakeShell shell;
    LogWindow logWindow(log, shell);
    mirelo::dialogs::AboutBox about(shell);
    struct Row {
      QWidget* window;
      const char16_t* name;
      QRect place;
      const char16_t* caption;  // nullptr: not looked at
    };
    const Row rows[] = {
        {&logWindow, u"LogText", {8, 8, 681, 89}, nullptr},
        {&logWindow, u"Bt_Clear", {696, 8, 89, 25}, u"クリア"},
        {&logWindow, u"Bt_Save", {696, 40, 89, 25}, u"ログの保存"},
        {&logWindow, u"Bt_Close", {696, 72, 89, 25}, u"閉じる"},
        {&about, u"picIcon", {16, 16, 64, 64}, nullptr},
        {&about, u"lblTitle", {104, 16, 259, 32}, u"ミレロ"},
        {&about, u"lblVersion", {104, 52, 259, 15}, u"ﾊﾞｰｼﾞｮﾝ 1.1.0"},
        {&about, u"lblDescription", {104, 99, 259, 46}, u"バージョンアップなどの情報は、ホームページをご確認下さい。"},
        {&about, u"Line1", {6, 163, 372, 1}, nullptr},
        {&about, u"Line1_1", {6, 164, 372, 1}, nullptr},
        {&about, u"cmdOK", {283, 175, 92, 23}, u"OK"},
        {&about, u"cmdSysInfo", {284, 205, 92, 23}, u"ｼｽﾃﾑ情報(&S)..."},
    };
    for (const Row& row : rows) {
      const QString name = QString::fromUtf16(row.name);
      auto* control = row.window->findChild<QWidget*>(name);
      QVERIFY2(control, qPrintable(name));
      QVERIFY2(control->geometry() == row.place, qPrintable(name));
      if (row.caption) QCOMPARE(control->property("text").toString(), QString::fromUtf16(row.caption));
    }
    // OK is both the default (Enter) and the cancel (Esc) button; the other button is neither.
    QVERIFY(Button(&about, u"cmdOK")->isDefault());
    QVERIFY(!Button(&about, u"cmdSysInfo")->isDefault() && !Button(&about, u"cmdSysInfo")->autoDefault());
    QVERIFY(!about.isModal());
  }

  void helpFileIsFoundBesideTheExecutable() {
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral(u"help")));
    const QString file = dir.filePath(QStringLiteral(u"help/mr_help.htm"));
    WriteBytes(std::filesystem::path(QFile::encodeName(file).toStdString()), "<html></html>");
    QCOMPARE(mirelo::dialogs::HelpFilePath(dir.path()), file);

    // The build copies the real help file there, and it is Japanese HTML.
    const QString built = mirelo::dialogs::HelpFilePath(QStringLiteral(MIRELO_WINDOW_BINARY_DIR));
    QFile html(built);
    QVERIFY(html.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(html.readAll());
    QVERIFY(text.contains(QStringLiteral(u"ミレロ")));
    QVERIFY(text.contains(QStringLiteral(u"<html lang=\"ja\">")));
  }

  // The real boxes, looked at while they are open: title, icon, buttons in Japanese, the answer.
  void realMessageBoxes_data() {
    QTest::addColumn<int>("kind");  // 0 error, 1 untitled message, 2 question
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QStringList>("buttons");  // sorted texts
    QTest::addColumn<int>("press");
    QTest::addColumn<bool>("result");
    const QStringList ok = {QStringLiteral(u"OK")};
    const QStringList yesNo = {QStringLiteral(u"いいえ(&N)"), QStringLiteral(u"はい(&Y)")};
    QTest::newRow("error") << 0 << QStringLiteral(u"エラーメッセージ") << int(QMessageBox::NoIcon) << ok
                           << int(QMessageBox::Ok) << false;
    QTest::newRow("message") << 1 << QStringLiteral(u"ミレロ") << int(QMessageBox::NoIcon) << ok
                             << int(QMessageBox::Ok) << false;
    QTest::newRow("question, yes") << 2 << QStringLiteral(u"ミレロ") << int(QMessageBox::Question) << yesNo
                                   << int(QMessageBox::Yes) << true;
    QTest::newRow("question, no") << 2 << QStringLiteral(u"ミレロ") << int(QMessageBox::Question) << yesNo
                                  << int(QMessageBox::No) << false;
  }

  void realMessageBoxes() {
    QFETCH(int, kind);
    QFETCH(QString, title);
    QFETCH(int, icon);
    QFETCH(QStringList, buttons);
    QFETCH(int, press);
    QFETCH(bool, result);

    QString seenTitle;
    QString seenText;
    int seenIcon = -1;
    QStringList seenButtons;
    QTimer::singleShot(0, [&] {
      for (QWidget* top : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(top);
        if (!box || !box->isVisible()) continue;
        seenTitle = box->windowTitle();
        seenText = box->text();
        seenIcon = int(box->icon());
        for (QAbstractButton* b : box->buttons()) {
          seenButtons << b->text();
          if (!b->icon().isNull()) seenButtons << QStringLiteral(u"(with an icon)");
        }
        seenButtons.sort();
        box->button(QMessageBox::StandardButton(press))->click();
      }
    });
    // Desktop styles (and Xvfb's generic theme) give standard buttons icons; the offscreen
    // platform does not, so the style here asks for them as a desktop would.
    struct IconButtons : QProxyStyle {
      int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                    QStyleHintReturn* data) const override {
        if (hint == SH_DialogButtonBox_ButtonsHaveIcons) return 1;
        return QProxyStyle::styleHint(hint, option, widget, data);
      }
    };
    const QString styleName = QApplication::style()->name();
    QApplication::setStyle(new IconButtons);
    mirelo::shell::QtShell shell;
    bool answer = false;
    switch (kind) {
      case 0: shell.ShowError(nullptr, QStringLiteral(u"text")); break;
      case 1: shell.ShowMessage(nullptr, QStringLiteral(u"text")); break;
      default: answer = shell.AskYesNo(nullptr, QStringLiteral(u"text")); break;
    }
    QApplication::setStyle(styleName);
    QCOMPARE(seenTitle, title);
    QCOMPARE(seenText, QStringLiteral(u"text"));
    QCOMPARE(seenIcon, icon);
    QCOMPARE(seenButtons, buttons);
    QCOMPARE(answer, result);
  }

  void realSaveDialogTitleAndFilter() {
    QString seenTitle;
    QStringList seenFilters;
    QTimer::singleShot(0, [&] {
      for (QWidget* top : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QFileDialog*>(top);
        if (!dialog || !dialog->isVisible()) continue;
        seenTitle = dialog->windowTitle();
        seenFilters = dialog->nameFilters();
        dialog->reject();
      }
    });
    mirelo::shell::QtShell shell;
    QCOMPARE(shell.GetSaveFileName(nullptr, mirelo::dialogs::LogFileFilter()), std::nullopt);
    QCOMPARE(seenTitle, QStringLiteral(u"名前を付けて保存"));

    // A name in a folder that does not exist is refused with a message and the dialog stays
    // open; a name in an existing folder is then taken.
    QTemporaryDir dir;
    const QString missing = QStringLiteral(u"no such folder/log.txt");  // typed, relative to the folder shown
    const QString good = dir.filePath(QStringLiteral(u"log.txt"));
    bool stayedOpen = false;
    QString refusal;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (!dialog) return;
      QTimer::singleShot(0, [&, dialog] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box) {
          refusal = box->text();
          box->accept();
        }
        QTimer::singleShot(0, [&, dialog] {
          stayedOpen = dialog->isVisible();
          dialog->selectFile(good);
          QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
        });
      });
      dialog->setDirectory(dir.path());
      dialog->selectFile(missing);
      QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
    });
    QCOMPARE(shell.GetSaveFileName(nullptr, mirelo::dialogs::LogFileFilter()), std::optional<QString>(good));
    QVERIFY(stayedOpen);
    QCOMPARE(refusal.section(u'\n', 0, 0), dir.filePath(QStringLiteral(u"no such folder")));
    QCOMPARE(seenFilters, QStringList({QStringLiteral(u"テキストファイル(*.txt;*.log) (*.txt *.log)"),
                                       QStringLiteral(u"全てのファイル(*.*) (*)")}));
  }

  void filterFormForQtDialogs() {
    QCOMPARE(mirelo::shell::ToQtNameFilters(mirelo::dialogs::LogFileFilter()),
             QStringLiteral(u"テキストファイル(*.txt;*.log) (*.txt *.log);;全てのファイル(*.*) (*)"));
  }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
