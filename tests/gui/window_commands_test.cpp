// Commands of the main window: exit and close box, "設定の保存", the size preset controls through
// their widgets, the log window's menu toggle and the help menu.

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QtTest>
#include <algorithm>

#include "app/settings_store.h"
#include "app/utilities.h"
#include "app/window/image_view.h"
#include "app/window/main_window.h"
#include "dialogs/about_box.h"
#include "dialogs/log_window.h"
#include "window_harness.h"

using mirelo::app::ReadIni;
using mirelo::testing::ReadBytes;
using mirelo::testing::WindowHarness;

namespace {

// The user picks entry index of CbSize.
void Choose(QComboBox* box, int index) {
  box->setCurrentIndex(index);
  Q_EMIT box->activated(index);
}

void TypeInto(QLineEdit* edit, const QString& text) {
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Backspace);
  QTest::keyClicks(edit, text);
}

}  // namespace

class WindowCommandsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { mirelo::window::ApplyDesktopFont(); }

  void exitWritesTheMovedPositionOnly() {
    WindowHarness h;
    {
      auto& w = h.Start();
      w.move(50, 70);
      Choose(w.Controls().CbSize, 4);  // changed but not saved
      w.Controls().M_Help_Log->trigger();
      QVERIFY(w.LogWindow()->isVisible());
      QTest::mouseClick(w.Controls().Bt_End, Qt::LeftButton);
      QCOMPARE(h.endCalls, 1);
      QVERIFY(!w.LogWindow()->isVisible());
      QCOMPARE(ReadIni("Left", "Location", h.thumbIni()), std::string("750"));
      QCOMPARE(ReadIni("Top", "Location", h.thumbIni()), std::string("1050"));
      QCOMPARE(ReadIni("Size", "Thumbnail", h.thumbIni()), std::string("0"));
      h.window.reset();
    }
    // The next start opens at the new place, with the settings as last saved.
    auto& again = h.Start();
    QCOMPARE(again.pos(), QPoint(50, 70));
    QCOMPARE(again.Controls().CbSize->currentIndex(), 0);
    // The entry is replaced, not added a second time.
    QCOMPARE(QString::fromStdString(ReadBytes(h.thumbIni())).count(QStringLiteral(u"Top=")), 1);
  }

  void exitMenuItemRunsTheSameSequence() {
    WindowHarness h;
    auto& w = h.Start();
    w.move(30, 10);
    w.Controls().M_File_End->trigger();
    QCOMPARE(h.endCalls, 1);
    QCOMPARE(ReadIni("Left", "Location", h.thumbIni()), std::string("450"));
    QCOMPARE(ReadIni("Top", "Location", h.thumbIni()), std::string("150"));
  }

  void closeBoxWritesNothing() {
    WindowHarness h;
    auto& w = h.Start();
    int released = 0;
    w.ReleaseVideo = [&] { ++released; };
    const std::string thumb = ReadBytes(h.thumbIni());
    const std::string sizes = ReadBytes(h.sizeIni());
    w.show();
    w.Controls().M_Help_Log->trigger();
    w.Controls().M_Help_Version->trigger();
    w.move(w.pos() + QPoint(13, 17));
    QVERIFY(w.close());
    QCOMPARE(h.endCalls, 1);
    QCOMPARE(released, 1);
    QVERIFY(!w.LogWindow()->isVisible());
    QTRY_VERIFY(w.AboutBox() == nullptr);
    QCOMPARE(ReadBytes(h.thumbIni()), thumb);
    QCOMPARE(ReadBytes(h.sizeIni()), sizes);
  }

  void saveSettingsWritesTheMainWindowPart() {
    WindowHarness h;
    auto& w = h.Start();
    w.move(20, 40);
    Choose(w.Controls().CbSize, 2);
    w.Settings().StillFrameTop = 5;
    w.Settings().StillFrameFile = "/f/still.png";
    QTest::mouseClick(w.Controls().Bt_Save, Qt::LeftButton);
    QCOMPARE(ReadIni("Top", "Location", h.thumbIni()), std::string("600"));
    QCOMPARE(ReadIni("Left", "Location", h.thumbIni()), std::string("300"));
    QVERIFY(ReadBytes(h.thumbIni()).find("Size= 2\r\n") != std::string::npos);
    // Without frames the frame keys are not written.
    QCOMPARE(ReadIni("File", "StillFrame", h.thumbIni()), std::string("ERROR"));

    w.Settings().FrameMode = 1;
    QTest::mouseClick(w.Controls().Bt_Save, Qt::LeftButton);
    QCOMPARE(ReadIni("File", "StillFrame", h.thumbIni()), std::string("/f/still.png"));
    QCOMPARE(ReadIni("Mode", "Thumbnail", h.thumbIni()), std::string("1"));
    QCOMPARE(h.endCalls, 0);
  }

  void presetsThroughTheWidgets() {
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));

    Choose(c.CbSize, 3);
    QCOMPARE(c.SizeWidth->text(), QStringLiteral(u"160"));
    QCOMPARE(c.SizeHeight->text(), QStringLiteral(u"120"));
    QVERIFY(c.SizeWidth->isEnabled() && c.Lb_WakuX->isEnabled());
    QCOMPARE(w.Settings().SizeIndex, 3);

    // Save a new preset "my" with typed sizes: appended, the selection stays.
    c.CbSize->lineEdit()->setText(QStringLiteral(u"my"));
    TypeInto(c.SizeWidth, QStringLiteral(u"300"));
    TypeInto(c.SizeHeight, QStringLiteral(u"200"));
    QTest::mouseClick(c.Bt_SizeSave, Qt::LeftButton);
    QCOMPARE(c.CbSize->count(), 8);
    QCOMPARE(c.CbSize->itemText(7), QStringLiteral(u"my"));
    QCOMPARE(c.CbSize->currentIndex(), 3);
    QCOMPARE(c.CbSize->currentText(), QStringLiteral(u"my"));
    QCOMPARE(ReadIni("Reserve", "my", h.sizeIni()), std::string("0"));
    QCOMPARE(ReadIni("Width", "my", h.sizeIni()), std::string("300"));
    QCOMPARE(ReadIni("Height", "my", h.sizeIni()), std::string("200"));

    // Saving again overwrites it.
    TypeInto(c.SizeWidth, QStringLiteral(u"320"));
    QTest::mouseClick(c.Bt_SizeSave, Qt::LeftButton);
    QCOMPARE(c.CbSize->count(), 8);
    QCOMPARE(ReadIni("Width", "my", h.sizeIni()), std::string("320"));
    QCOMPARE(h.shell.beeps, 0);

    // Typed into the list's field, which keeps the focus until "保存" is clicked: leaving the
    // field does not pick "my", so the boxes' numbers are saved.
    Choose(c.CbSize, 3);
    TypeInto(c.SizeWidth, QStringLiteral(u"400"));
    TypeInto(c.SizeHeight, QStringLiteral(u"250"));
    c.CbSize->setFocus();
    QTRY_VERIFY(c.CbSize->lineEdit()->hasFocus());
    c.CbSize->lineEdit()->selectAll();
    QTest::keyClicks(c.CbSize->lineEdit(), QStringLiteral(u"my"));
    QTest::mouseClick(c.Bt_SizeSave, Qt::LeftButton);
    QTRY_VERIFY(!c.CbSize->lineEdit()->hasFocus());
    QCOMPARE(c.SizeWidth->text(), QStringLiteral(u"400"));
    QCOMPARE(c.SizeHeight->text(), QStringLiteral(u"250"));
    QCOMPARE(ReadIni("Width", "my", h.sizeIni()), std::string("400"));
    QCOMPARE(ReadIni("Height", "my", h.sizeIni()), std::string("250"));
    QCOMPARE(c.CbSize->count(), 8);
    QCOMPARE(c.CbSize->currentIndex(), 3);
    QCOMPARE(h.shell.beeps, 0);
    Choose(c.CbSize, 3);
    TypeInto(c.SizeWidth, QStringLiteral(u"320"));
    TypeInto(c.SizeHeight, QStringLiteral(u"200"));
    c.CbSize->lineEdit()->setText(QStringLiteral(u"my"));
    QTest::mouseClick(c.Bt_SizeSave, Qt::LeftButton);

    // A built-in preset is not overwritten: beep, the boxes return to the selected preset.
    const std::string sizesBefore = ReadBytes(h.sizeIni());
    c.CbSize->lineEdit()->setText(QStringLiteral(u"100x75"));
    QTest::mouseClick(c.Bt_SizeSave, Qt::LeftButton);
    QCOMPARE(h.shell.beeps, 1);
    QCOMPARE(c.SizeWidth->text(), QStringLiteral(u"160"));
    QCOMPARE(ReadBytes(h.sizeIni()), sizesBefore);

    // An empty name is refused with its message.
    c.CbSize->lineEdit()->clear();
    QTest::mouseClick(c.Bt_SizeSave, Qt::LeftButton);
    QCOMPARE(h.shell.errors, QStringList{QStringLiteral(u"名称がありません。")});

    // Delete "my" while selected: the entry above it is selected and shown.
    Choose(c.CbSize, 7);
    QCOMPARE(c.SizeWidth->text(), QStringLiteral(u"320"));
    QTest::mouseClick(c.Bt_SizeDel, Qt::LeftButton);
    QCOMPARE(c.CbSize->count(), 7);
    QCOMPARE(c.CbSize->currentIndex(), 6);
    QCOMPARE(c.CbSize->currentText(), QStringLiteral(u"280x210"));
    QCOMPARE(c.SizeWidth->text(), QStringLiteral(u"280"));
    QCOMPARE(ReadIni("Width", "my", h.sizeIni()), std::string("ERROR"));

    // A built-in preset cannot be deleted.
    QTest::mouseClick(c.Bt_SizeDel, Qt::LeftButton);
    QCOMPARE(h.shell.beeps, 2);
    QCOMPARE(c.CbSize->count(), 7);

    // A text the program put in with a blank or a sign (a hand-edited size.ini) still refuses
    // typed and pasted letters, each with a beep.
    for (const QString& shown : {QStringLiteral(u" 80"), QStringLiteral(u"-5")}) {
      c.SizeWidth->setText(shown);
      c.SizeWidth->setFocus();
      c.SizeWidth->end(false);
      QTest::keyClick(c.SizeWidth, 'z');
      QApplication::clipboard()->setText(QStringLiteral(u"9x"));
      c.SizeWidth->paste();
      QCOMPARE(c.SizeWidth->text(), shown);
    }
    QCOMPARE(h.shell.beeps, 6);
  }

  void sizeBoxesTakeDigitsAndLimitsOnLeaving_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("after");
    QTest::addColumn<int>("beeps");
    QTest::newRow("in range") << QStringLiteral(u"300") << QStringLiteral(u"300") << 0;
    QTest::newRow("too large") << QStringLiteral(u"5000") << QStringLiteral(u"1024") << 1;
    QTest::newRow("exactly 1024 beeps too") << QStringLiteral(u"1024") << QStringLiteral(u"1024") << 1;
    QTest::newRow("too small") << QStringLiteral(u"3") << QStringLiteral(u"10") << 1;
    // Each refused key beeps.
    QTest::newRow("letters are not taken") << QStringLiteral(u"1a2b0") << QStringLiteral(u"120") << 2;
    QTest::newRow("nor a minus") << QStringLiteral(u"-50") << QStringLiteral(u"50") << 1;
    QTest::newRow("empty") << QString() << QStringLiteral(u"10") << 1;
    QTest::newRow("beyond 16 bits") << QStringLiteral(u"99999") << QStringLiteral(u"1024") << 1;
  }

  void sizeBoxesTakeDigitsAndLimitsOnLeaving() {
    QFETCH(QString, typed);
    QFETCH(QString, after);
    QFETCH(int, beeps);
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    Choose(c.CbSize, 1);
    c.SizeWidth->setFocus();
    QTRY_VERIFY(c.SizeWidth->hasFocus());
    TypeInto(c.SizeWidth, typed);
    c.SizeHeight->setFocus();
    QTRY_VERIFY(c.SizeHeight->hasFocus());
    QCOMPARE(c.SizeWidth->text(), after);
    QCOMPARE(h.shell.beeps, beeps);
  }

  void logMenuTogglesTheWindowUnderTheMainWindow() {
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    w.move(0, 0);
    c.M_Help_Log->trigger();
    QVERIFY(c.M_Help_Log->isChecked());
    QVERIFY(w.LogWindow()->isVisible());
    // 9010 twips below the main window, kept on the screen.
    const QRect area = w.screen()->availableGeometry();
    QCOMPARE(w.LogWindow()->pos(), mirelo::dialogs::LogWindowPosition(QPoint(0, 0), w.LogWindow()->frameGeometry().size(), area));
    QCOMPARE(w.LogWindow()->pos().y(), std::min(601, area.bottom() + 1 - w.LogWindow()->frameGeometry().height()));
    c.M_Help_Log->trigger();
    QVERIFY(!c.M_Help_Log->isChecked());
    QVERIFY(!w.LogWindow()->isVisible());

    // "閉じる" and the close box both uncheck the item; the text stays.
    h.log.Append("kept");
    c.M_Help_Log->trigger();
    QTest::mouseClick(w.LogWindow()->findChild<QPushButton*>(QStringLiteral(u"Bt_Close")), Qt::LeftButton);
    QVERIFY(!c.M_Help_Log->isChecked());
    QVERIFY(!w.LogWindow()->isVisible());
    c.M_Help_Log->trigger();
    QVERIFY(w.LogWindow()->close());
    QVERIFY(!c.M_Help_Log->isChecked());
    QVERIFY(!w.LogWindow()->isVisible());
    c.M_Help_Log->trigger();
    QCOMPARE(w.LogWindow()->LogText()->toPlainText(), QStringLiteral(u"kept\n"));
  }

  void helpMenuCommands() {
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    c.M_Help_HomePage->trigger();
    c.M_Help_Mokuji->trigger();
    QCOMPARE(h.shell.openedUrls.size(), 2);
    QCOMPARE(h.shell.openedUrls[0].scheme(), QStringLiteral(u"https"));
    const QUrl help = h.shell.openedUrls[1];
    QVERIFY(help.isLocalFile());
    QVERIFY(help.toLocalFile().endsWith(QStringLiteral(u"/help/mr_help.htm")));
    QVERIFY(QFileInfo(help.toLocalFile()).isFile());  // the build puts it beside the executable

    // "バージョン情報" twice shows one About box.
    c.M_Help_Version->trigger();
    QPointer<mirelo::dialogs::AboutBox> first = w.AboutBox();
    QVERIFY(first && first->isVisible());
    c.M_Help_Version->trigger();
    QCOMPARE(w.AboutBox(), first.data());
    int boxes = 0;
    for (QWidget* top : QApplication::topLevelWidgets()) boxes += qobject_cast<mirelo::dialogs::AboutBox*>(top) != nullptr;
    QCOMPARE(boxes, 1);
  }
};

QTEST_MAIN(WindowCommandsTest)
#include "window_commands_test.moc"
