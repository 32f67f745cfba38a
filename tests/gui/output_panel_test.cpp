// The output settings panel through the real widgets: format and quality, naming rule, output
// folder with its remembered caption, the start-up picker, and what "設定の保存" then writes.

#include <QComboBox>
#include <QDir>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QtTest>

#include "app/settings_store.h"
#include "app/utilities.h"
#include "app/window/main_window.h"
#include "app/window/window_settings_sink.h"
#include "filelist/output_panel.h"
#include "window_harness.h"

using mirelo::testing::WindowHarness;

namespace {

QString Prompt() { return QStringLiteral(u"作成したサムネイルを保存するフォルダを選択してください。"); }

std::optional<std::string> S(const char* s) { return std::string(s); }

}  // namespace

class OutputPanelTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { mirelo::window::ApplyDesktopFont(); }

  void qualityIsShownForTheFormatsThatTakeIt_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<bool>("quality");
    QTest::newRow("JPG baseline") << 0 << true;
    QTest::newRow("JPG progressive") << 1 << true;
    QTest::newRow("PNG") << 2 << false;
    QTest::newRow("GIF system palette") << 3 << false;
    QTest::newRow("GIF optimised palette") << 4 << false;
    QTest::newRow("PICT") << 5 << false;
    QTest::newRow("BMP") << 6 << false;
    QTest::newRow("WebP") << 7 << true;
  }

  void qualityIsShownForTheFormatsThatTakeIt() {
    QFETCH(int, format);
    QFETCH(bool, quality);
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    c.SL_Q->setValue(70);
    mirelo::window::SelectEntry(c.CbFormat, format);
    QCOMPARE(w.Settings().FormatIndex, format);
    QCOMPARE(c.SL_Q->isHidden(), !quality);
    QCOMPARE(c.Lb_Q->isHidden(), !quality);
    QCOMPARE(c.Lb_Name3->isHidden(), !quality);
    QCOMPARE(w.Settings().Quality, 70);  // kept while hidden
    // Back to a JPEG entry: the earlier quality again.
    mirelo::window::SelectEntry(c.CbFormat, 0);
    QVERIFY(!c.SL_Q->isHidden() && !c.Lb_Q->isHidden() && !c.Lb_Name3->isHidden());
    QCOMPARE(c.SL_Q->value(), 70);
    QCOMPARE(c.Lb_Q->text(), QStringLiteral(u" 70%"));
  }

  void qualityLabelFollowsTheSlider() {
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    for (const auto& [value, caption] : QList<QPair<int, QString>>{
             {0, QStringLiteral(u" 0%")}, {85, QStringLiteral(u" 85%")}, {100, QStringLiteral(u" 100%")}}) {
      c.SL_Q->setValue(value);
      QCOMPARE(w.Settings().Quality, value);
      QCOMPARE(c.Lb_Q->text(), caption);
    }
    // Keyboard steps of 5 and 10.
    c.SL_Q->setValue(50);
    QTest::keyClick(c.SL_Q, Qt::Key_Right);
    QCOMPARE(w.Settings().Quality, 55);
    QTest::keyClick(c.SL_Q, Qt::Key_PageUp);
    QCOMPARE(w.Settings().Quality, 65);
    QCOMPARE(c.Lb_Q->text(), QStringLiteral(u" 65%"));
  }

  void namingRuleEnablesTheTextButKeepsIt() {
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    QVERIFY(c.FNameStr->isEnabled() && c.Lb_SaveFile->isEnabled());  // rule 1 from the defaults
    mirelo::window::SelectEntry(c.CbFName, 0);
    QCOMPARE(w.Settings().NameMode, 0);
    QVERIFY(!c.FNameStr->isEnabled() && !c.Lb_SaveFile->isEnabled());
    QCOMPARE(c.FNameStr->text(), QStringLiteral(u"_thum"));
    QCOMPARE(w.Settings().NameText, S("_thum"));
    mirelo::window::SelectEntry(c.CbFName, 2);
    QCOMPARE(w.Settings().NameMode, 2);
    QVERIFY(c.FNameStr->isEnabled() && c.Lb_SaveFile->isEnabled());
    // Typed text is taken whole: no trimming, no character check.
    c.FNameStr->clear();
    QInputMethodEvent typed;  // Japanese arrives through the input method
    typed.setCommitString(QStringLiteral(u" 縮小 "));
    QApplication::sendEvent(c.FNameStr, &typed);
    QCOMPARE(w.Settings().NameText, S(" 縮小 "));
  }

  void firstFolderChoiceAsksAndCancelFallsBack() {
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    c.OpThumbOut2->click();
    QCOMPARE(h.shell.folderTitles, QStringList{Prompt()});
    QCOMPARE(h.shell.folderStarts, QStringList{QDir::homePath()});
    QVERIFY(c.OpThumbOut1->isChecked() && !c.OpThumbOut2->isChecked());
    QCOMPARE(w.Settings().OutputMode, 0);
    QCOMPARE(w.Settings().OutputPath, S(""));
    QVERIFY(!c.Lb_Out->isEnabled());
    QVERIFY(h.shell.errors.isEmpty());
  }

  void pickedFolderGetsOneSeparator_data() {
    QTest::addColumn<QString>("picked");
    QTest::addColumn<QString>("stored");
    QTest::newRow("folder") << QStringLiteral(u"/data/出力") << QStringLiteral(u"/data/出力/");
    QTest::newRow("root stays") << QStringLiteral(u"/") << QStringLiteral(u"/");
    QTest::newRow("already ends in one") << QStringLiteral(u"/data/out/") << QStringLiteral(u"/data/out/");
  }

  void pickedFolderGetsOneSeparator() {
    QFETCH(QString, picked);
    QFETCH(QString, stored);
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    h.shell.folderAnswers = {picked};
    c.OpThumbOut2->click();
    QVERIFY(c.OpThumbOut2->isChecked());
    QCOMPARE(w.Settings().OutputMode, 1);
    QCOMPARE(w.Settings().OutputPath, std::optional<std::string>(stored.toStdString()));
    QCOMPARE(c.Lb_Out->text(), stored);
    QVERIFY(c.Lb_Out->isEnabled());
  }

  void switchingBackRestoresTheFolderWithoutAsking() {
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    h.shell.folderAnswers = {QStringLiteral(u"/data/out")};
    c.OpThumbOut2->click();
    c.OpThumbOut1->click();
    QCOMPARE(w.Settings().OutputMode, 0);
    QCOMPARE(w.Settings().OutputPath, S(""));
    QCOMPARE(c.Lb_Out->text(), QStringLiteral(u"/data/out/"));  // greyed, remembered
    QVERIFY(!c.Lb_Out->isEnabled());
    c.OpThumbOut2->click();
    QCOMPARE(h.shell.folderTitles.size(), 1);
    QCOMPARE(w.Settings().OutputMode, 1);
    QCOMPARE(w.Settings().OutputPath, S("/data/out/"));
    QVERIFY(c.Lb_Out->isEnabled());
  }

  void folderButtonWorksInEitherMode() {
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    // From "元のファイルと同じにする": the choice switches the panel over.
    h.shell.folderAnswers = {QStringLiteral(u"/a")};
    c.Bt_V_Out->click();
    QVERIFY(c.OpThumbOut2->isChecked());
    QCOMPARE(w.Settings().OutputPath, S("/a/"));
    // In folder mode the picker opens at the folder in use; cancelling changes nothing.
    c.Bt_V_Out->click();
    QCOMPARE(h.shell.folderStarts.last(), QStringLiteral(u"/a/"));
    QCOMPARE(w.Settings().OutputPath, S("/a/"));
    QVERIFY(c.OpThumbOut2->isChecked());
    // A shell namespace item is refused.
    h.shell.folderAnswers = {QStringLiteral(u"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}")};
    c.Bt_V_Out->click();
    QCOMPARE(h.shell.errors, QStringList{QStringLiteral(u"指定されたフォルダには対応していません。")});
    QCOMPARE(w.Settings().OutputPath, S("/a/"));
    QCOMPARE(c.Lb_Out->text(), QStringLiteral(u"/a/"));
    // Another folder replaces it.
    h.shell.folderAnswers = {QStringLiteral(u"/b")};
    c.Bt_V_Out->click();
    QCOMPARE(w.Settings().OutputPath, S("/b/"));
    QCOMPARE(w.Settings().OutputMode, 1);
  }

  // thumb.ini says mode 1 with an empty path: the picker is asked for during start-up.
  void startUpAsksForTheMissingFolder_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("caption");
    QTest::newRow("cancelled") << QString() << 0 << QString();
    QTest::newRow("answered") << QStringLiteral(u"/srv/thumbs") << 1 << QStringLiteral(u"/srv/thumbs/");
  }

  void startUpAsksForTheMissingFolder() {
    QFETCH(QString, answer);
    QFETCH(int, mode);
    QFETCH(QString, caption);
    WindowHarness h;
    QVERIFY(mirelo::app::CreateSettingsFile(h.thumbIni(), 0, 0));
    mirelo::app::WriteIni(std::string_view("1"), std::string_view("Mode"), "Output", h.thumbIni());
    h.shell.folderAnswers = {answer};
    auto& w = h.Start();
    const auto& c = w.Controls();
    QCOMPARE(h.shell.folderTitles, QStringList{Prompt()});
    QCOMPARE(h.shell.folderStarts, QStringList{QDir::homePath()});
    QCOMPARE(w.Settings().OutputMode, mode);
    QCOMPARE(c.OpThumbOut2->isChecked(), mode == 1);
    QCOMPARE(c.OpThumbOut1->isChecked(), mode == 0);
    QCOMPARE(c.Lb_Out->text(), caption);
    QCOMPARE(w.Settings().OutputPath, std::optional<std::string>(caption.toStdString()));
    // The rest of the settings still loaded.
    QCOMPARE(c.FNameStr->text(), QStringLiteral(u"_thum"));
  }

  void storedFolderLoadsWithoutAsking() {
    WindowHarness h;
    QVERIFY(mirelo::app::CreateSettingsFile(h.thumbIni(), 0, 0));
    mirelo::app::WriteIni(std::string_view(" 1"), std::string_view("Mode"), "Output", h.thumbIni());
    mirelo::app::WriteIni(std::string_view("/o/"), std::string_view("Path"), "Output", h.thumbIni());
    auto& w = h.Start();
    QVERIFY(h.shell.folderTitles.isEmpty());
    QCOMPARE(w.Settings().OutputMode, 1);
    QCOMPARE(w.Settings().OutputPath, S("/o/"));
    QVERIFY(w.Controls().Lb_Out->isEnabled());
  }

  void settingsSaveWritesWhatThePanelSet() {
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    mirelo::window::SelectEntry(c.CbFormat, 1);
    c.SL_Q->setValue(35);
    mirelo::window::SelectEntry(c.CbFName, 2);
    c.FNameStr->setText(QStringLiteral(u"_小"));
    h.shell.folderAnswers = {QStringLiteral(u"/data/out")};
    c.OpThumbOut2->click();
    c.Bt_Save->click();
    const std::string ini = mirelo::testing::ReadBytes(h.thumbIni());
    // Sign-reserving numbers; the name text in Shift-JIS.
    QVERIFY(ini.find("[Image]\r\nMode= 1\r\nQuality= 35\r\n") != std::string::npos);
    QVERIFY(ini.find("[Output]\r\nMode= 1\r\nPath=/data/out/\r\n") != std::string::npos);
    QVERIFY(ini.find("[FileName]\r\nMode= 2\r\nText=_\x8f\xac\r\n") != std::string::npos);

    // And back to the sources' folder: the path is written empty, not removed.
    c.OpThumbOut1->click();
    c.Bt_Save->click();
    QVERIFY(mirelo::testing::ReadBytes(h.thumbIni()).find("[Output]\r\nMode= 0\r\nPath=\r\n") != std::string::npos);
  }
};

QTEST_MAIN(OutputPanelTest)
#include "output_panel_test.moc"
