// The batch run from the window: a whole run with its end sequence, failed entries, a run-ending
// error, cancel Yes and No, ignored actions during a run, closing during a run, and the window
// writing the same files as mirelo-batch.

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>
#include <cstdlib>

#include "app/utilities.h"
#include "app/window/image_view.h"
#include "dialogs/log_window.h"
#include "filelist/batch_panel.h"
#include "filelist/file_list_panel.h"
#include "list_fixtures.h"
#include "support/photo_tree.h"
#include "support/temp_dir.h"
#include "window_harness.h"

using mirelo::testing::DropFiles;
using mirelo::testing::Text;
using mirelo::testing::WindowHarness;
namespace fs = std::filesystem;

namespace {

bool RunAndWait(mirelo::window::MainWindow& w, int ms = 60000) {
  QSignalSpy ended(&w.Batch(), &mirelo::filelist::BatchPanel::runEnded);
  QTest::mouseClick(w.Controls().Bt_Go, Qt::LeftButton);
  return ended.count() > 0 || ended.wait(ms);
}

std::vector<fs::path> FilesIn(const fs::path& folder, const std::string& prefix) {
  std::vector<fs::path> found;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().filename().string().rfind(prefix, 0) == 0) found.push_back(entry.path());
  }
  std::sort(found.begin(), found.end());
  return found;
}

// Thumbnails are named "_thum" + the source's name by the default naming rule.
constexpr const char* kThumbPrefix = "_thum";

}  // namespace

class BatchTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { mirelo::window::ApplyDesktopFont(); }

  void wholeRunWithItsEndSequence() {
    mirelo::test::TempDir dir;
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    DropFiles(w, {mirelo::testing::MakePicture(dir / "a.jpg", 64, 48), mirelo::testing::MakePicture(dir / "b.png", 30, 40),
                  mirelo::testing::MakeClip(dir / "v.avi", 2.0, 64, 48, false),
                  mirelo::testing::MakePicture(dir / "skipped.gif", 20, 20)});
    w.FileList().SetSelected(3, false);
    h.shell.errors.clear();
    QVERIFY(RunAndWait(w));
    QCOMPARE(FilesIn(dir.path(), kThumbPrefix).size(), std::size_t{3});
    for (const fs::path& thumb : FilesIn(dir.path(), kThumbPrefix)) QVERIFY2(mirelo::test::MagickDecode(thumb), thumb.c_str());
    QCOMPARE(h.shell.messages, QStringList{QStringLiteral(u"作業が終了しました。")});
    QCOMPARE(h.shell.messageTitles, QStringList{QStringLiteral(u"作業")});
    QVERIFY(h.shell.beeps >= 1);
    QCOMPARE(c.SL_Make->value(), 0);
    QVERIFY(!c.SL_Make->isEnabled());
    QCOMPARE(c.List1->currentRow(), 3);
    QCOMPARE(w.BatchRunning, std::int16_t{0});
    QVERIFY(c.Fr_Set->isEnabled());
    QVERIFY(c.Bt_Save->isEnabled());
    QVERIFY(!c.Bt_Cancel->isEnabled());
    QCOMPARE(w.LogWindow()->LogText()->toPlainText(), QString());
    QVERIFY(h.shell.errors.isEmpty());
    QVERIFY(QApplication::overrideCursor() == nullptr);
  }

  void eachStillIsShownWhileItsEntryIsCurrent() {
    mirelo::test::TempDir dir;
    const QStringList colours = {QStringLiteral(u"red"), QStringLiteral(u"lime"), QStringLiteral(u"blue")};
    std::vector<fs::path> files;
    for (const QString& colour : colours) {
      files.push_back(dir / (colour.toStdString() + ".png"));
      QVERIFY(mirelo::test::MagickConvert({"-size", "400x300", "xc:" + colour.toStdString(), files.back().string()}));
    }
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    c.SizeWidth->setText(QStringLiteral(u"160"));
    c.SizeHeight->setText(QStringLiteral(u"120"));
    DropFiles(w, files);
    // What LEAD1 shows each time a still reaches it during the run: the current row and the
    // colour in the middle of the box.
    QStringList seen;
    connect(&w.Preview(), &mirelo::filelist::PreviewPanel::stillShown, this, [&] {
      if (w.BatchRunning == 0) return;
      const QColor middle = c.LEAD1->grab().toImage().pixelColor(c.LEAD1->width() / 2, c.LEAD1->height() / 2);
      const int strongest = std::max({middle.red(), middle.green(), middle.blue()});
      const QString colour = strongest == middle.red() ? colours[0] : strongest == middle.green() ? colours[1] : colours[2];
      seen << QStringLiteral(u"%1 %2 %3").arg(c.List1->currentRow()).arg(colour, c.Lb_s_size->text());
    });
    QVERIFY(RunAndWait(w));
    QCOMPARE(seen, (QStringList{QStringLiteral(u"0 red  400x 300"), QStringLiteral(u"1 lime  400x 300"),
                                QStringLiteral(u"2 blue  400x 300")}));
    // The preview after the run is the run's own picture of the last entry, shown at once.
    QVERIFY(!w.Preview().StillPending());
    QVERIFY(c.LEAD1->HasImage());
    QCOMPARE(c.Lb_s_size->text(), QStringLiteral(u" 400x 300"));
  }

  void failedLoadIsLoggedAndDeselected() {
    mirelo::test::TempDir dir;
    WindowHarness h;
    auto& w = h.Start();
    const fs::path bad = mirelo::testing::MakeText(dir / "broken.avi");
    DropFiles(w, {mirelo::testing::MakePicture(dir / "a.jpg", 20, 20), bad, mirelo::testing::MakePicture(dir / "c.jpg", 20, 20)});
    w.FileList().SetSelected(1, true);  // the preview cleared it; the user checks it again
    QVERIFY(RunAndWait(w));
    QCOMPARE(w.Controls().List1->item(1)->checkState(), Qt::Unchecked);
    QVERIFY(w.LogWindow()->LogText()->toPlainText().startsWith(Text(bad) + QStringLiteral(u"\n")));
    QCOMPARE(FilesIn(dir.path(), kThumbPrefix).size(), std::size_t{2});
    QCOMPARE(h.shell.messages, QStringList{QStringLiteral(u"作業が終了しました。")});
  }

  // With the new switches on: a dropped tree is read off the window's thread and listed in a file
  // manager's order; a run mirrors it in the output folder and passes the damaged photo; the retry
  // command selects only that one; a second run writes nothing.
  void folderDropMirroredRunRetryAndRedo() {
    mirelo::test::TempDir dir;
    const mirelo::test::PhotoTree tree(dir.path());
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    auto& s = w.Settings();
    s.FolderDrop = s.KeepTree = s.SkipDone = s.KeepGoing = 1;
    s.OutputMode = 1;
    s.OutputPath = tree.out.string();  // inside the tree: not read as photos
    DropFiles(w, {tree.root});
    QTRY_VERIFY_WITH_TIMEOUT(!w.FileList().Reading(), 30000);
    QStringList expected;
    for (const std::string& path : tree.Expected()) expected << Text(path);
    QCOMPARE(mirelo::testing::ListTexts(c.List1), expected);
    QCOMPARE(c.List2->count(), c.List1->count());
    QCOMPARE(c.List1->currentRow(), c.List1->count() - 1);
    QCOMPARE(c.Lb_fi->text(), QStringLiteral(u" %1").arg(expected.size()));
    QCOMPARE(w.FileList().Entries().front().root, tree.root.string());
    DropFiles(w, {tree.root});  // the same tree again adds nothing
    QTRY_VERIFY_WITH_TIMEOUT(!w.FileList().Reading(), 30000);
    QCOMPARE(c.List1->count(), expected.size());
    QVERIFY(!c.M_Help_SelectFailed->isEnabled());

    h.shell.errors.clear();
    QVERIFY(RunAndWait(w));
    for (const char* made : {"_thumb.jpg", "_thumimg_2.jpg", "_thumimg_10.jpg", "2024/01-trip/_thumdsc_0001.jpg",
                             "2024/01-trip/_thumdsc_0003.jpg", "2024/02-party/_thumdsc_0001.jpg"}) {
      QVERIFY2(mirelo::test::MagickDecode(tree.out / made), made);
    }
    QVERIFY(w.LogWindow()->LogText()->toPlainText().contains(
        Text(tree.damaged) + QStringLiteral(u"\n→ERROR:ファイルフォーマットが不正です。")));
    QCOMPARE(h.shell.messages, QStringList{QStringLiteral(
                                   u"作業が終了しました。\n（1 件のファイルを処理できませんでした。ログを確認してください。）")});
    const int damaged = static_cast<int>(expected.indexOf(Text(tree.damaged)));
    QCOMPARE(c.List1->item(damaged)->checkState(), Qt::Unchecked);

    // "失敗したファイルだけを選択": the damaged photo alone.
    QVERIFY(c.M_Help_SelectFailed->isEnabled());
    c.M_Help_SelectFailed->trigger();
    for (int i = 0; i < c.List1->count(); ++i) {
      QCOMPARE(c.List1->item(i)->checkState(), i == damaged ? Qt::Checked : Qt::Unchecked);
    }

    // Everything again: nothing new is written.
    for (int i = 0; i < c.List1->count(); ++i) w.FileList().SetSelected(i, true);
    std::size_t files = 0;
    for (const auto& e : fs::recursive_directory_iterator(tree.out)) files += e.is_regular_file();
    h.shell.messages.clear();
    QVERIFY(RunAndWait(w));
    std::size_t after = 0;
    for (const auto& e : fs::recursive_directory_iterator(tree.out)) after += e.is_regular_file();
    QCOMPARE(after, files);
    QCOMPARE(h.shell.messages, QStringList{QStringLiteral(u"作業が終了しました。\n（%1 件は作成済みのため作成しませんでした。"
                                                          u"1 件のファイルを処理できませんでした。ログを確認してください。）")
                                               .arg(expected.size() - 1)});
  }

  void unreadableStillEndsTheRun() {
    mirelo::test::TempDir dir;
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    const fs::path bad = mirelo::testing::MakeText(dir / "c.bmp");
    DropFiles(w, {mirelo::testing::MakePicture(dir / "a.jpg", 20, 20), mirelo::testing::MakePicture(dir / "b.jpg", 20, 20), bad,
                  mirelo::testing::MakePicture(dir / "d.jpg", 20, 20), mirelo::testing::MakePicture(dir / "e.jpg", 20, 20)});
    h.shell.errors.clear();
    QVERIFY(RunAndWait(w));
    QCOMPARE(w.LogWindow()->LogText()->toPlainText(),
             Text(bad) + QStringLiteral(u"\n→ERROR:ファイルフォーマットが不正です。\n"));
    QCOMPARE(FilesIn(dir.path(), kThumbPrefix).size(), std::size_t{2});
    QVERIFY(h.shell.messages.isEmpty());
    QCOMPARE(c.SL_Make->value(), 2);  // the bar keeps its value
    QCOMPARE(c.List1->currentRow(), 2);
    QVERIFY(c.Bt_Save->isEnabled());
    QVERIFY(c.Fr_Set->isEnabled());
    QCOMPARE(w.BatchRunning, std::int16_t{0});
  }

  void refusalsChangeNothing() {
    WindowHarness h;
    auto& w = h.Start();
    w.Batch().Bt_Go_Click();  // the button itself is disabled until an entry is current
    QCOMPARE(h.shell.errors, QStringList{QStringLiteral(u"リストがありません")});
    QVERIFY(w.Controls().Bt_Save->isEnabled());
    QCOMPARE(w.BatchRunning, std::int16_t{0});
  }

  void cancelAsksBeforeTheNextEntry_data() {
    QTest::addColumn<bool>("yes");
    QTest::newRow("yes") << true;
    QTest::newRow("no") << false;
  }

  void cancelAsksBeforeTheNextEntry() {
    QFETCH(bool, yes);
    mirelo::test::TempDir dir;
    WindowHarness h;
    auto& w = h.Start();
    w.Batch().SetJobs(1);
    std::vector<fs::path> files;
    for (int i = 0; i < 12; ++i) files.push_back(mirelo::testing::MakePicture(dir / ("p" + std::to_string(i) + ".png"), 400, 300));
    DropFiles(w, files);
    h.shell.answerYes = yes;
    QSignalSpy ended(&w.Batch(), &mirelo::filelist::BatchPanel::runEnded);
    QTest::mouseClick(w.Controls().Bt_Go, Qt::LeftButton);
    QTest::mouseClick(w.Controls().Bt_Cancel, Qt::LeftButton);
    QVERIFY(ended.wait(60000));
    QCOMPARE(h.shell.questions, QStringList{QStringLiteral(u"作業を中断しますか？")});
    QCOMPARE(h.shell.messages, QStringList{QStringLiteral(u"作業が終了しました。")});
    const std::size_t written = FilesIn(dir.path(), kThumbPrefix).size();
    if (yes) {
      QVERIFY(written < files.size());
      QVERIFY(!w.Controls().Bt_Cancel->isEnabled());
    } else {
      QCOMPARE(written, files.size());
    }
    QCOMPARE(w.Controls().List1->currentRow(), 11);
  }

  void listEditsAndASecondStartAreIgnoredDuringARun() {
    mirelo::test::TempDir dir;
    WindowHarness h;
    auto& w = h.Start();
    w.Batch().SetJobs(1);
    std::vector<fs::path> files;
    for (int i = 0; i < 8; ++i) files.push_back(mirelo::testing::MakePicture(dir / ("p" + std::to_string(i) + ".png"), 400, 300));
    DropFiles(w, files);
    QSignalSpy ended(&w.Batch(), &mirelo::filelist::BatchPanel::runEnded);
    QTest::mouseClick(w.Controls().Bt_Go, Qt::LeftButton);
    QVERIFY(w.Batch().Running());
    QTest::mouseClick(w.Controls().Bt_Go, Qt::LeftButton);
    QTest::mouseClick(w.Controls().Bt_Del, Qt::LeftButton);
    QTest::mouseClick(w.Controls().Bt_All_Del, Qt::LeftButton);
    DropFiles(w, {mirelo::testing::MakePicture(dir / "late.jpg", 20, 20)});
    QCOMPARE(w.Controls().List1->count(), 8);
    QVERIFY(ended.wait(60000));
    QCOMPARE(ended.count(), 1);
    QCOMPARE(FilesIn(dir.path(), kThumbPrefix).size(), files.size());
  }

  void closingDuringARunLeavesWholeFilesOnly() {
    mirelo::test::TempDir dir;
    std::vector<fs::path> files;
    for (int i = 0; i < 40; ++i) files.push_back(mirelo::testing::MakePicture(dir / ("p" + std::to_string(i) + ".png"), 800, 600));
    {
      WindowHarness h;
      auto& w = h.Start();
      DropFiles(w, files);
      // Closed as soon as the first thumbnail is reported, well before the fortieth.
      bool closed = false;
      connect(w.Controls().SL_Make, &QProgressBar::valueChanged, &w, [&](int value) {
        if (value >= 1 && !std::exchange(closed, true)) w.close();
      });
      QTest::mouseClick(w.Controls().Bt_Go, Qt::LeftButton);
      QTRY_VERIFY_WITH_TIMEOUT(closed, 60000);
      QCOMPARE(h.endCalls, 1);
      QVERIFY(!w.Batch().Running());
    }
    const auto written = FilesIn(dir.path(), kThumbPrefix);
    QVERIFY(written.size() < files.size());
    for (const fs::path& thumb : written) QVERIFY2(mirelo::test::MagickDecode(thumb), thumb.c_str());
  }

  void windowWritesWhatTheCommandLineWrites() {
    mirelo::test::TempDir dir;
    const fs::path sources = dir / "sources";
    fs::create_directory(sources);
    std::vector<fs::path> files = {mirelo::testing::MakePicture(sources / "a.jpg", 640, 480),
                                   mirelo::testing::MakePicture(sources / "b.png", 300, 500),
                                   mirelo::testing::MakeClip(sources / "v.avi", 4.0, 320, 240, false)};
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    c.SizeWidth->setEnabled(true);
    c.SizeHeight->setEnabled(true);
    c.SizeWidth->setText(QStringLiteral(u"160"));
    c.SizeHeight->setText(QStringLiteral(u"120"));
    DropFiles(w, files);
    c.List2->item(2)->setText(QStringLiteral(u" 2.6"));
    QVERIFY(RunAndWait(w));
    const auto fromWindow = FilesIn(sources, kThumbPrefix);
    QCOMPARE(fromWindow.size(), std::size_t{3});
    const fs::path windowOut = dir / "window";
    fs::create_directory(windowOut);
    for (const fs::path& file : fromWindow) fs::rename(file, windowOut / file.filename());

    const std::string command = std::string("'") + MIRELO_BATCH_EXE + "' --quiet --config '" + h.appDir().string() +
                                "' --size 160x120 '" + files[0].string() + "' '" + files[1].string() +
                                "' --scene 2.6 '" + files[2].string() + "' > /dev/null";
    QCOMPARE(std::system(command.c_str()), 0);
    const auto fromCli = FilesIn(sources, kThumbPrefix);
    QCOMPARE(fromCli.size(), std::size_t{3});
    for (const fs::path& file : fromCli) {
      QVERIFY2(fs::exists(windowOut / file.filename()), file.c_str());
      QVERIFY2(mirelo::test::ReadFileBytes(file) == mirelo::test::ReadFileBytes(windowOut / file.filename()), file.c_str());
    }
  }
};

QTEST_MAIN(BatchTest)
#include "batch_test.moc"
