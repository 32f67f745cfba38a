// The options dialog frmOptions through its widgets: captions and places, loading from the
// record (clamped where a slider cannot show a value), immediate updates, the sliders, the DPI
// box, the bytes "保存" writes, and the menu command that opens it.

#include <QCheckBox>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

#include "app/settings_store.h"
#include "app/utilities.h"
#include "app/window/main_window.h"
#include "dialogs/options_dialog.h"
#include "window_harness.h"

using mirelo::app::ThumbSettings;
using mirelo::dialogs::OptionsDialog;
using mirelo::testing::ReadBytes;
using mirelo::testing::WindowHarness;

namespace {

template <typename W>
W* Find(QWidget* dialog, const char16_t* name) {
  return dialog->findChild<W*>(QString::fromUtf16(name));
}

struct DialogHarness {
  QTemporaryDir dir;
  ThumbSettings settings;
  std::filesystem::path ini() const { return std::filesystem::path(dir.path().toStdString()) / "thumb.ini"; }
};

// A slider moved with the mouse: pressed, dragged to value, released.
void DragSlider(QSlider* slider, int value) {
  slider->setSliderDown(true);
  slider->setSliderPosition(value);
  slider->setSliderDown(false);
}

}  // namespace

class OptionsDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { mirelo::window::ApplyDesktopFont(); }

  void captionsAndPlaces() {
    DialogHarness h;
    OptionsDialog d(h.settings, h.ini());
    d.show();
    QCOMPARE(d.objectName(), QStringLiteral(u"frmOptions"));
    QCOMPARE(d.windowTitle(), QStringLiteral(u"ｵﾌﾟｼｮﾝ"));
    QCOMPARE(d.size(), QSize(410, 328));
    QTabWidget* tabs = d.Tabs();
    QCOMPARE(tabs->geometry(), QRect(8, 8, 393, 281));
    QCOMPARE(tabs->count(), 5);
    QCOMPARE(tabs->currentIndex(), 0);
    const QStringList tabCaptions = {QStringLiteral(u"画像の大きさ"), QStringLiteral(u"画像処理１"),
                                     QStringLiteral(u"画像処理２"), QStringLiteral(u"ファイル名"),
                                     QStringLiteral(u"一括処理")};
    for (int i = 0; i < 5; ++i) QCOMPARE(tabs->tabText(i), tabCaptions[i]);
    // Every tab in one row, inside the tab control.
    QVERIFY(tabs->tabBar()->tabRect(4).right() < tabs->width());

    struct Row {
      const char16_t* name;
      int tab;
      const char16_t* caption;
      QRect design;  // relative to the tab control
    };
    const Row rows[] = {
        {u"OpFit1", 0, u"設定した領域にフィットさせる（縦横比は保たれない）", {24, 48, 305, 25}},
        {u"OpFit2", 0, u"設定した領域に内接させる（縦横比を保つ）", {24, 80, 281, 25}},
        {u"Label2", 0, u"※指定した領域と縦横比が違うと、画像の横、上下に隙間ができる場合があります。", {40, 112, 289, 33}},
        {u"OpFit3", 0, u"設定した領域に外接させる（縦横比を保つ）", {24, 160, 249, 25}},
        {u"Label3", 0, u"※「枠なし」の指定の場合、設定された大きさに対して上記の選択肢が適用されます。", {40, 216, 297, 33}},
        {u"CkAutoTrim", 1, u"静止画に対して、オートトリム（オートクロップ）をする", {24, 40, 337, 17}},
        {u"Label6", 1, u"（周辺の空白の領域を取り除き、トリミングする）", {40, 64, 329, 25}},
        {u"Label5", 1, u"しきい値：", {24, 96, 65, 17}},
        {u"SL_AutoTrim", 1, nullptr, {96, 88, 273, 33}},
        {u"CkAutoContrast", 1, u"自動コントラスト調整をする", {24, 144, 337, 17}},
        {u"Label7", 1, u"（画像のヒストグラムの移動と引き伸ばしを行います）", {40, 168, 329, 25}},
        {u"CkMono", 1, u"「モノクローム」にする", {24, 208, 233, 17}},
        {u"Label1", 2, u"元画像を拡大・縮小したあとに、", {16, 48, 305, 17}},
        {u"CkSharp", 2, u"「シャープ」フィルタをかける", {32, 80, 329, 17}},
        {u"Label4", 2, u"なめらか←　　　　　0　　　　　→シャープ", {45, 104, 321, 17}},
        {u"SL_Sharp", 2, nullptr, {45, 120, 321, 41}},
        {u"LB_DPI", 2, u"●出力DPI（Dot Per　Inch)", {32, 200, 153, 17}},
        {u"TB_DPI", 2, nullptr, {48, 224, 41, 18}},
        {u"CkChaMode", 3, u"ファイル名を小文字にする", {16, 40, 313, 25}},
        {u"CkJpgExt4", 3, u"JPEGの拡張子を「jpeg」にする", {16, 64, 321, 33}},
        {u"CkFolderDrop", 4, u"フォルダーをドロップしたとき、中のファイルも追加する（サブフォルダーを含む）", {16, 32, 200, 33}},
        {u"CkKeepTree", 4, u"出力先フォルダーに元のフォルダー構成を再現する", {16, 72, 200, 33}},
        {u"CkSkipDone", 4, u"作成済みのサムネイルが元ファイルより新しいときは作成しない", {16, 112, 200, 33}},
        {u"CkKeepGoing", 4, u"読み込めないファイルがあっても次のファイルへ進む", {16, 152, 200, 33}},
        {u"CkAutoScene", 4, u"シーンを決めていない動画は、黒や単色でない最初の場面から作る", {16, 192, 200, 33}},
    };
    for (const Row& row : rows) {
      const QString name = QString::fromUtf16(row.name);
      QWidget* control = Find<QWidget>(&d, row.name);
      QVERIFY2(control, qPrintable(name));
      QCOMPARE(control->parentWidget(), tabs->widget(row.tab));
      // A caption too wide for its page is broken onto two lines.
      if (row.caption) QCOMPARE(control->property("text").toString().remove(u'\n'), QString::fromUtf16(row.caption));
      QVERIFY2(control->mapTo(tabs, QPoint(control->width(), 0)).x() <= tabs->width(), qPrintable(name));
      QVERIFY2(control->mapTo(tabs, QPoint(0, 0)) == row.design.topLeft(), qPrintable(name));
      QCOMPARE(control->height(), row.design.height());
      QVERIFY2(control->width() >= row.design.width(), qPrintable(name));
    }
    // The page below the tab row: the first row of contents is not hidden by it.
    QVERIFY(tabs->tabBar()->geometry().bottom() < 40);
    const QList<QPair<const char16_t*, QRect>> buttons = {{u"cmdOk", {168, 296, 73, 25}},
                                                          {u"cmdCancel", {248, 297, 73, 25}},
                                                          {u"cmdSave", {328, 296, 73, 25}}};
    for (const auto& [name, geometry] : buttons) QCOMPARE(Find<QPushButton>(&d, name)->geometry(), geometry);
    QCOMPARE(Find<QPushButton>(&d, u"cmdCancel")->text(), QStringLiteral(u"ｷｬﾝｾﾙ"));
    QCOMPARE(Find<QLabel>(&d, u"Label5")->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    QCOMPARE(Find<QLabel>(&d, u"Label4")->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    QCOMPARE(Find<QLabel>(&d, u"Label3")->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QCOMPARE(Find<QLabel>(&d, u"Label4")->font().pointSize(), 9);
    const auto* trim = Find<QSlider>(&d, u"SL_AutoTrim");
    QCOMPARE(QList<int>({trim->minimum(), trim->maximum(), trim->tickInterval(), trim->singleStep(), trim->pageStep()}),
             QList<int>({0, 244, 10, 1, 5}));
    const auto* sharp = Find<QSlider>(&d, u"SL_Sharp");
    QCOMPARE(QList<int>({sharp->minimum(), sharp->maximum(), sharp->tickInterval(), sharp->singleStep(),
                         sharp->pageStep()}),
             QList<int>({-1000, 1000, 100, 1, 5}));
  }

  void loadShowsTheRecord_data() {
    QTest::addColumn<int>("fit");
    QTest::addColumn<QString>("checked");  // objectName of the selected fit option, or empty
    QTest::newRow("stretch") << 0 << QStringLiteral(u"OpFit1");
    QTest::newRow("inside") << 1 << QStringLiteral(u"OpFit2");
    QTest::newRow("cover") << 2 << QStringLiteral(u"OpFit3");
    QTest::newRow("unknown selects none") << 7 << QString();
  }

  void loadShowsTheRecord() {
    QFETCH(int, fit);
    QFETCH(QString, checked);
    DialogHarness h;
    ThumbSettings& s = h.settings;
    s.FitMode = static_cast<std::int16_t>(fit);
    s.AutoTrimOn = 1;
    s.AutoTrimThreshold = 32;
    s.MonoOn = 1;
    s.SharpOn = 0;
    s.SharpValue = 340;
    s.DpiValue = 72;
    s.LowerCaseName = 1;
    s.JpegExt = 5;  // not 1: unchecked
    s.KeepGoing = 1;
    OptionsDialog d(s, h.ini());
    for (const char16_t* name : {u"OpFit1", u"OpFit2", u"OpFit3"}) {
      QCOMPARE(Find<QRadioButton>(&d, name)->isChecked(), checked == QString::fromUtf16(name));
    }
    QCOMPARE(s.FitMode, fit);
    QVERIFY(Find<QCheckBox>(&d, u"CkAutoTrim")->isChecked());
    QCOMPARE(Find<QSlider>(&d, u"SL_AutoTrim")->value(), 32);
    QVERIFY(!Find<QCheckBox>(&d, u"CkAutoContrast")->isChecked());
    QVERIFY(Find<QCheckBox>(&d, u"CkMono")->isChecked());
    QVERIFY(!Find<QCheckBox>(&d, u"CkSharp")->isChecked());
    QCOMPARE(Find<QSlider>(&d, u"SL_Sharp")->value(), 340);
    QCOMPARE(Find<QLineEdit>(&d, u"TB_DPI")->text(), QStringLiteral(u" 72"));
    QVERIFY(Find<QCheckBox>(&d, u"CkChaMode")->isChecked());
    QVERIFY(!Find<QCheckBox>(&d, u"CkJpgExt4")->isChecked());
    QVERIFY(Find<QCheckBox>(&d, u"CkKeepGoing")->isChecked());
    QVERIFY(!Find<QCheckBox>(&d, u"CkSkipDone")->isChecked());
    QCOMPARE(s.JpegExt, 5);  // loading writes back only what a control changed
    QCOMPARE(s.DpiValue, 72);
  }

  void outOfRangeValuesAreShownClampedAndKept() {
    DialogHarness h;
    h.settings.AutoTrimThreshold = 300;
    h.settings.SharpValue = -5000;
    OptionsDialog d(h.settings, h.ini());
    d.show();
    QCOMPARE(Find<QSlider>(&d, u"SL_AutoTrim")->value(), 244);
    QCOMPARE(Find<QSlider>(&d, u"SL_Sharp")->value(), -1000);
    QCOMPARE(h.settings.AutoTrimThreshold, 300);
    QCOMPARE(h.settings.SharpValue, -5000);
    // Moving the slider takes its value.
    QTest::keyClick(Find<QSlider>(&d, u"SL_AutoTrim"), Qt::Key_Left);
    QCOMPARE(h.settings.AutoTrimThreshold, 243);
  }

  void everyControlUpdatesTheRecordAtOnce() {
    DialogHarness h;
    OptionsDialog d(h.settings, h.ini());
    d.show();
    Find<QRadioButton>(&d, u"OpFit3")->click();
    QCOMPARE(h.settings.FitMode, 2);
    Find<QRadioButton>(&d, u"OpFit1")->click();
    QCOMPARE(h.settings.FitMode, 0);
    const QList<QPair<const char16_t*, std::int16_t ThumbSettings::*>> boxes = {
        {u"CkAutoTrim", &ThumbSettings::AutoTrimOn}, {u"CkAutoContrast", &ThumbSettings::AutoContrastOn},
        {u"CkMono", &ThumbSettings::MonoOn},         {u"CkSharp", &ThumbSettings::SharpOn},
        {u"CkChaMode", &ThumbSettings::LowerCaseName}, {u"CkJpgExt4", &ThumbSettings::JpegExt},
        {u"CkFolderDrop", &ThumbSettings::FolderDrop}, {u"CkKeepTree", &ThumbSettings::KeepTree},
        {u"CkSkipDone", &ThumbSettings::SkipDone},     {u"CkKeepGoing", &ThumbSettings::KeepGoing},
        {u"CkAutoScene", &ThumbSettings::AutoScene}};
    for (const auto& [name, field] : boxes) {
      auto* box = Find<QCheckBox>(&d, name);
      box->click();
      QCOMPARE(h.settings.*field, 1);
      box->setFocus();
      QTest::keyClick(box, Qt::Key_Space);  // a keyboard toggle as well
      QCOMPARE(h.settings.*field, 0);
    }
    QVERIFY(!std::filesystem::exists(h.ini()));
  }

  // A drag writes when it ends; a click on the groove and the keyboard write at once.
  void slidersWriteOnReleaseAndOnKeys() {
    DialogHarness h;
    OptionsDialog d(h.settings, h.ini());
    d.show();
    auto* sharp = Find<QSlider>(&d, u"SL_Sharp");
    sharp->setSliderDown(true);
    sharp->setSliderPosition(-200);
    QCOMPARE(h.settings.SharpValue, 0);  // still dragging
    sharp->setSliderDown(false);
    QCOMPARE(h.settings.SharpValue, -200);
    QTest::keyClick(sharp, Qt::Key_Right);
    QCOMPARE(h.settings.SharpValue, -199);
    QTest::keyClick(sharp, Qt::Key_PageUp);
    QCOMPARE(h.settings.SharpValue, -194);
    auto* trim = Find<QSlider>(&d, u"SL_AutoTrim");
    DragSlider(trim, 100);
    QCOMPARE(h.settings.AutoTrimThreshold, 100);
    trim->triggerAction(QAbstractSlider::SliderPageStepAdd);  // a click on the groove
    QCOMPARE(h.settings.AutoTrimThreshold, 105);
  }

  void dpiBoxTakesDigitsAsTheyAreTyped() {
    DialogHarness h;
    h.settings.DpiValue = 72;
    OptionsDialog d(h.settings, h.ini());
    d.show();
    auto* dpi = Find<QLineEdit>(&d, u"TB_DPI");
    dpi->setFocus();
    dpi->selectAll();
    QList<int> seen;
    for (const QChar digit : QStringLiteral(u"300")) {
      QTest::keyClick(dpi, digit.toLatin1());
      seen << h.settings.DpiValue;
    }
    QCOMPARE(seen, QList<int>({3, 30, 300}));
    // Other characters are not taken, and each refusal is reported for a beep.
    QSignalSpy refused(&d, &OptionsDialog::inputRefused);
    QTest::keyClicks(dpi, QStringLiteral(u"a-.x "));
    QCOMPARE(refused.count(), 5);
    QInputMethodEvent wide;  // full-width digits are not 0 to 9 either
    wide.setCommitString(QStringLiteral(u"５"));
    QApplication::sendEvent(dpi, &wide);
    QCOMPARE(dpi->text(), QStringLiteral(u"300"));
    // Nor does a paste bring anything else in.
    QApplication::clipboard()->setText(QStringLiteral(u"4x"));
    const int beforePaste = refused.count();
    dpi->paste();
    QCOMPARE(dpi->text(), QStringLiteral(u"300"));
    QCOMPARE(refused.count(), beforePaste + 1);
    QApplication::clipboard()->setText(QStringLiteral(u"4"));
    dpi->paste();
    QCOMPARE(dpi->text(), QStringLiteral(u"3004"));
    QCOMPARE(h.settings.DpiValue, 3004);
    dpi->setText(QStringLiteral(u"300"));
    // An empty box or a number beyond 16 bits keeps the last valid value.
    dpi->selectAll();
    QTest::keyClick(dpi, Qt::Key_Backspace);
    QCOMPARE(dpi->text(), QString());
    QCOMPARE(h.settings.DpiValue, 300);
    QTest::keyClicks(dpi, QStringLiteral(u"99999"));
    QCOMPARE(h.settings.DpiValue, 9999);
    // The loaded blank can be typed after.
    OptionsDialog again(h.settings, h.ini());
    again.show();
    auto* box = Find<QLineEdit>(&again, u"TB_DPI");
    QCOMPARE(box->text(), QStringLiteral(u" 9999"));
    box->setFocus();
    box->end(false);
    // Letters typed or pasted after it are refused too, each with the bell.
    QSignalSpy refusedAfterBlank(&again, &OptionsDialog::inputRefused);
    QTest::keyClick(box, 'z');
    QApplication::clipboard()->setText(QStringLiteral(u"9x"));
    box->paste();
    QCOMPARE(box->text(), QStringLiteral(u" 9999"));
    QCOMPARE(refusedAfterBlank.count(), 2);
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClick(box, '6');
    QCOMPARE(box->text(), QStringLiteral(u" 9996"));
    QCOMPARE(h.settings.DpiValue, 9996);
  }

  void okAndCancelCloseKeepingTheChanges() {
    for (const char16_t* button : {u"cmdOk", u"cmdCancel"}) {
      DialogHarness h;
      QVERIFY(mirelo::app::CreateSettingsFile(h.ini(), 0, 0));
      const std::string before = ReadBytes(h.ini());
      OptionsDialog d(h.settings, h.ini());
      d.show();
      Find<QCheckBox>(&d, u"CkMono")->click();
      Find<QCheckBox>(&d, u"CkKeepGoing")->click();
      Find<QPushButton>(&d, button)->click();
      QVERIFY(!d.isVisible());
      QCOMPARE(h.settings.MonoOn, 1);
      QCOMPARE(h.settings.KeepGoing, 1);
      QCOMPARE(ReadBytes(h.ini()), before);
    }
    // Esc answers as "ｷｬﾝｾﾙ".
    DialogHarness h;
    OptionsDialog d(h.settings, h.ini());
    d.show();
    Find<QCheckBox>(&d, u"CkSharp")->click();
    QTest::keyClick(&d, Qt::Key_Escape);
    QVERIFY(!d.isVisible());
    QCOMPARE(h.settings.SharpOn, 1);
  }

  void saveWritesTheTenKeysInOrder() {
    DialogHarness h;
    QVERIFY(mirelo::app::CreateSettingsFile(h.ini(), 0, 0));
    ThumbSettings& s = h.settings;
    s.FitMode = 2;
    s.SharpValue = -200;
    s.AutoTrimThreshold = 32;
    s.DpiValue = 350;
    s.DpiOn = 0;
    OptionsDialog d(s, h.ini());
    d.show();
    Find<QCheckBox>(&d, u"CkMono")->click();
    Find<QCheckBox>(&d, u"CkKeepTree")->click();
    Find<QPushButton>(&d, u"cmdSave")->click();
    QVERIFY(!d.isVisible());
    const std::string ini = ReadBytes(h.ini());
    // Every key rewritten in sign-reserving form where it stood; Proc/DPI keeps its "1".
    QVERIFY(ini.find("[Thumbnail]\r\nMode=0\r\nSize=0\r\nFit= 2\r\n") != std::string::npos);
    QVERIFY(ini.find("[Filter]\r\nSharp= 0\r\nSharpValue=-200\r\nMono= 1\r\n") != std::string::npos);
    QVERIFY(ini.find("Text=_thum\r\nChar= 0\r\nJpeg= 0\r\n") != std::string::npos);
    QVERIFY(ini.find("[Proc]\r\nAutoTrim= 0\r\nAutoTrimTH= 32\r\nAutoContrast= 0\r\nDPI=1\r\nDPIValue= 350\r\n") !=
            std::string::npos);
    QVERIFY(ini.find("\r\n[Batch]\r\nFolderDrop= 0\r\nKeepTree= 1\r\nSkipDone= 0\r\nKeepGoing= 0\r\nAutoScene= 0\r\n") !=
            std::string::npos);
  }

  // Through the main window: "オプション(&O)" opens the dialog modally (not while a run works);
  // what it changes is in the record the run reads; "設定の保存" does not write the options.
  void menuOpensTheDialogOnTheWindowsRecord() {
    WindowHarness h;
    auto& w = h.Start();
    int shown = 0;
    const auto whenShown = [&](std::function<void(QDialog&)> act) {
      QTimer::singleShot(0, [&shown, act] {
        auto* dialog = qobject_cast<OptionsDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        ++shown;
        act(*dialog);
        if (dialog->isVisible()) dialog->reject();
      });
    };
    whenShown([](QDialog& d) { Find<QCheckBox>(&d, u"CkMono")->click(); });
    w.Controls().M_Help_Option->trigger();
    QCOMPARE(shown, 1);
    QCOMPARE(w.Settings().MonoOn, 1);
    w.Controls().Bt_Save->click();
    QCOMPARE(mirelo::app::ReadIni("Mono", "Filter", h.thumbIni()), std::string("0"));

    // Every showing starts from the record again.
    bool monoShown = false;
    whenShown([&](QDialog& d) { monoShown = Find<QCheckBox>(&d, u"CkMono")->isChecked(); });
    w.Controls().M_Help_Option->trigger();
    QCOMPARE(shown, 2);
    QVERIFY(monoShown);

    w.BatchRunning = -1;
    whenShown([](QDialog&) {});
    w.Controls().M_Help_Option->trigger();
    QTest::qWait(20);
    QCOMPARE(shown, 2);
    w.BatchRunning = 0;
    QCOMPARE(w.findChildren<QObject*>(QStringLiteral(u"Label2")).size(), 1);  // frmMain's own
  }
};

QTEST_MAIN(OptionsDialogTest)
#include "options_dialog_test.moc"
