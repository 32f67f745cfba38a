// The file list through its widgets: drops of every kind of item, duplicates, deletion and its
// messages, the horizontal extent and the file manager button.

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>
#include <sys/stat.h>

#include "app/window/image_view.h"
#include "filelist/file_list_panel.h"
#include "platform/shell/instance_channel.h"
#include "list_fixtures.h"
#include "support/temp_dir.h"
#include "window_harness.h"

using mirelo::testing::DropFiles;
using mirelo::testing::DropUrls;
using mirelo::testing::ListTexts;
using mirelo::testing::Text;
using mirelo::testing::WindowHarness;
namespace fs = std::filesystem;

namespace {

const QString kNoEntry = QStringLiteral(u"リストが選択されていません");

}  // namespace

class FileListTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { mirelo::window::ApplyDesktopFont(); }

  void dropTakesFilesByKindAndAttributes_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");  // what is made under that name
    QTest::addColumn<bool>("listed");
    QTest::newRow("still") << QStringLiteral(u"a.jpg") << QStringLiteral(u"file") << true;
    QTest::newRow("upper-case extension") << QStringLiteral(u"PHOTO.JPG") << QStringLiteral(u"file") << true;
    QTest::newRow("part of a video extension") << QStringLiteral(u"clip.mp") << QStringLiteral(u"file") << true;
    QTest::newRow("spans a separator") << QStringLiteral(u"clip.peg") << QStringLiteral(u"file") << true;
    QTest::newRow("part of a still extension") << QStringLiteral(u"pic.ng") << QStringLiteral(u"file") << true;
    QTest::newRow("no dot") << QStringLiteral(u"README") << QStringLiteral(u"file") << true;
    QTest::newRow("ends in a dot") << QStringLiteral(u"name.") << QStringLiteral(u"file") << true;
    QTest::newRow("Japanese and blanks") << QStringLiteral(u"夏の 写真 1.png") << QStringLiteral(u"file") << true;
    QTest::newRow("unsupported") << QStringLiteral(u"notes.txt") << QStringLiteral(u"file") << false;
    QTest::newRow("hidden") << QStringLiteral(u".secret.jpg") << QStringLiteral(u"file") << false;
    QTest::newRow("folder") << QStringLiteral(u"album.jpg") << QStringLiteral(u"folder") << false;
    QTest::newRow("pipe") << QStringLiteral(u"pipe.jpg") << QStringLiteral(u"fifo") << false;
    QTest::newRow("link to a file") << QStringLiteral(u"link.jpg") << QStringLiteral(u"link") << true;
    QTest::newRow("dangling link") << QStringLiteral(u"gone.jpg") << QStringLiteral(u"dangling") << false;
    QTest::newRow("missing") << QStringLiteral(u"never.jpg") << QStringLiteral(u"none") << false;
  }

  void dropTakesFilesByKindAndAttributes() {
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(bool, listed);
    mirelo::test::TempDir dir;
    const fs::path path = dir / name.toStdString();
    if (kind == QLatin1String("file")) mirelo::testing::MakeText(path);
    if (kind == QLatin1String("folder")) fs::create_directory(path);
    if (kind == QLatin1String("fifo")) QVERIFY(::mkfifo(path.c_str(), 0600) == 0);
    if (kind == QLatin1String("link")) fs::create_symlink(mirelo::testing::MakeText(dir / "target.bin"), path);
    if (kind == QLatin1String("dangling")) fs::create_symlink(dir / "nothing", path);
    WindowHarness h;
    auto& w = h.Start();
    DropFiles(w, {path});
    QCOMPARE(ListTexts(w.Controls().List1), listed ? QStringList{Text(path)} : QStringList{});
    QCOMPARE(w.Controls().List2->count(), w.Controls().List1->count());
  }

  void threeNewFilesAreSelectedAndTheLastIsCurrent() {
    mirelo::test::TempDir dir;
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    std::vector<fs::path> files;
    for (const char* name : {"a.jpg", "b.png", "c.gif"}) files.push_back(mirelo::testing::MakePicture(dir / name, 40, 30));
    DropFiles(w, files);
    QCOMPARE(c.List1->count(), 3);
    QCOMPARE(c.List1->currentRow(), 2);
    for (int i = 0; i < 3; ++i) {
      QCOMPARE(c.List1->item(i)->checkState(), Qt::Checked);
      QCOMPARE(c.List2->item(i)->text(), QString());
    }
    QCOMPARE(c.Lb_fi->text(), QStringLiteral(u" 3"));
    QVERIFY(c.Bt_Go->isEnabled());
    QCOMPARE(c.Lb_s_size->text(), QStringLiteral(u" 40x 30"));  // the last one is previewed
    QVERIFY(h.shell.errors.isEmpty());
  }

  void duplicatesByExactTextOnly() {
    mirelo::test::TempDir dir;
    const fs::path lower = mirelo::testing::MakePicture(dir / "p.jpg", 20, 20);
    const fs::path upper = mirelo::testing::MakePicture(dir / "P.jpg", 20, 20);
    WindowHarness h;
    auto& w = h.Start();
    DropFiles(w, {lower, lower});
    DropFiles(w, {lower, upper});
    QCOMPARE(ListTexts(w.Controls().List1), (QStringList{Text(lower), Text(upper)}));
    QCOMPARE(w.Controls().List2->count(), 2);
  }

  void textOrRemoteItemsAddNothingAndTheListStaysUsable() {
    mirelo::test::TempDir dir;
    const fs::path picture = mirelo::testing::MakePicture(dir / "p.jpg", 20, 20);
    WindowHarness h;
    auto& w = h.Start();
    DropUrls(w, {}, QStringLiteral(u"just some text"));
    DropUrls(w, {QUrl(QStringLiteral(u"https://example.com/a.jpg")), QUrl(QStringLiteral(u"sftp://host/b.jpg"))});
    QCOMPARE(w.Controls().List1->count(), 0);
    QCOMPARE(w.Controls().Lb_fi->text(), QStringLiteral(u" 0"));
    DropFiles(w, {picture});
    mirelo::testing::ClickEntry(w, 0);
    QCOMPARE(w.Controls().Lb_s_size->text(), QStringLiteral(u" 20x 20"));
  }

  void deletingTheCurrentEntry() {
    mirelo::test::TempDir dir;
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    // Nothing current: only the message.
    QTest::mouseClick(c.Bt_Del, Qt::LeftButton);
    QCOMPARE(h.shell.errors, QStringList{kNoEntry});
    h.shell.errors.clear();

    DropFiles(w, {mirelo::testing::MakePicture(dir / "a.jpg", 20, 20), mirelo::testing::MakePicture(dir / "b.jpg", 20, 20)});
    c.List2->item(0)->setText(QStringLiteral(u" 3"));
    c.List1->setCurrentRow(0);
    QCoreApplication::processEvents();
    h.shell.errors.clear();
    QTest::mouseClick(c.Bt_Del, Qt::LeftButton);
    QCOMPARE(ListTexts(c.List1), QStringList{Text(dir / "b.jpg")});
    QCOMPARE(ListTexts(c.List2), QStringList{QString()});  // the scene left with its entry
    QCOMPARE(c.List1->currentRow(), -1);
    QCOMPARE(h.shell.errors, QStringList{kNoEntry});  // from the selection handler, once
    QVERIFY(!c.Bt_Go->isEnabled());
    QCOMPARE(c.Lb_fi->text(), QStringLiteral(u" 1"));
    QCOMPARE(c.Lb_s_size->text(), QString());
    QVERIFY(!c.LEAD1->HasImage());
  }

  void deletingAll() {
    mirelo::test::TempDir dir;
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    DropFiles(w, {mirelo::testing::MakePicture(dir / "a.jpg", 20, 20), mirelo::testing::MakePicture(dir / "b.jpg", 20, 20)});
    QTest::mouseClick(c.Bt_All_Del, Qt::LeftButton);
    QCOMPARE(c.List1->count(), 0);
    QCOMPARE(c.List2->count(), 0);
    QCOMPARE(h.shell.errors, QStringList{kNoEntry});
    QVERIFY(!c.Bt_Go->isEnabled());
    QCOMPARE(c.Lb_fi->text(), QStringLiteral(u" 0"));
  }

  void longPathsScrollSideways() {
    mirelo::test::TempDir dir;
    fs::path folder = dir.path();
    for (int i = 0; i < 6; ++i) folder /= std::string(40, static_cast<char>('a' + i));
    fs::create_directories(folder);
    WindowHarness h;
    auto& w = h.Start();
    w.show();
    DropFiles(w, {mirelo::testing::MakePicture(dir / "short.jpg", 10, 10)});
    QCoreApplication::processEvents();
    QCOMPARE(w.Controls().List1->horizontalScrollBar()->maximum(), 0);
    DropFiles(w, {mirelo::testing::MakePicture(folder / "long.jpg", 10, 10)});
    QTRY_VERIFY(w.Controls().List1->horizontalScrollBar()->maximum() > 0);
  }

  void fileManagerOpensTheRoot() {
    WindowHarness h;
    auto& w = h.Start();
    QTest::mouseClick(w.Controls().Bt_Expl, Qt::LeftButton);
    QCOMPARE(h.shell.openedUrls, QList<QUrl>{QUrl::fromLocalFile(QStringLiteral(u"/"))});
  }

  void aSecondStartHandsItsPathsOver() {
    mirelo::test::TempDir dir;
    const fs::path picture = mirelo::testing::MakePicture(dir / "p.jpg", 20, 20);
    WindowHarness h;
    auto& w = h.Start();
    QVERIFY(mirelo::shell::SendToRunningInstance(h.appDir(), {picture.string(), picture.string()}));
    QTRY_COMPARE(mirelo::testing::ListTexts(w.Controls().List1), QStringList{Text(picture)});
    QCOMPARE((fs::status(mirelo::shell::InstanceSocketPath(h.appDir())).permissions() & fs::perms::others_all),
             fs::perms::none);
    mirelo::test::TempDir elsewhere;
    QVERIFY(!mirelo::shell::SendToRunningInstance(elsewhere.path(), {picture.string()}));
  }

  void aLargeDropIsListedOnce() {
    mirelo::test::TempDir dir;
    std::vector<fs::path> files;
    for (int i = 0; i < 2000; ++i) files.push_back(mirelo::testing::MakeText(dir / ("f" + std::to_string(i) + ".jpg")));
    files.push_back(files.front());
    WindowHarness h;
    auto& w = h.Start();
    DropFiles(w, files);
    QCOMPARE(w.Controls().List1->count(), 2000);
    QCOMPARE(w.Controls().List2->count(), 2000);
    QCOMPARE(w.Controls().List1->currentRow(), 1999);
  }
};

QTEST_MAIN(FileListTest)
#include "file_list_test.moc"
