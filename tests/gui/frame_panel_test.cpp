// The frame settings of the main window: the two sides of "■画像の設定", opening the editor from
// its buttons and previews, the previews after the editor closed, and the bytes "保存" and
// "設定の保存" leave in thumb.ini.

#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <functional>

#include "app/settings_store.h"
#include "app/utilities.h"
#include "app/window/image_view.h"
#include "app/window/main_window.h"
#include "app/window/size_preset_panel.h"
#include "frames/frame_editor.h"
#include "frames/frame_panel.h"
#include "window_harness.h"

using mirelo::app::FrameKind;
using mirelo::app::FrameTemplate;
using mirelo::frames::FrameEditor;
using mirelo::testing::ReadBytes;
using mirelo::testing::WindowHarness;

namespace {

std::string Picture(const WindowHarness& h, const char* name, int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(QColor(200, 180, 20));
  const std::string path = (h.appDir() / name).string();
  image.save(QString::fromStdString(path), "PNG");
  return path;
}

// While the next editor is shown modally: activate it, act, and close it if act did not.
void WhenEditorOpens(mirelo::window::MainWindow& w, std::function<void(FrameEditor&)> act) {
  w.Frames().editorOpened = [act](FrameEditor& editor) {
    QTimer::singleShot(0, &editor, [&editor, act] {
      editor.Form_Activate();
      act(editor);
      if (editor.isVisible()) editor.reject();
    });
  };
}

QPushButton* Button(QWidget* w, const char16_t* name) { return w->findChild<QPushButton*>(QString::fromUtf16(name)); }

std::string Section(const std::string& ini, const std::string& name) {
  const auto start = ini.find("[" + name + "]");
  if (start == std::string::npos) return {};
  const auto end = ini.find("\r\n[", start);
  return ini.substr(start, end == std::string::npos ? std::string::npos : end + 2 - start);
}

}  // namespace

class FramePanelTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { mirelo::window::ApplyDesktopFont(); }

  void modeSwitchesTheSizeSideAndTheFrameSide_data() {
    QTest::addColumn<int>("preset");
    QTest::addColumn<bool>("boxesBack");  // the size boxes after "枠なし" again
    QTest::newRow("same as the source (width 0)") << 0 << false;
    QTest::newRow("160 x 120") << 3 << true;
  }

  void modeSwitchesTheSizeSideAndTheFrameSide() {
    QFETCH(int, preset);
    QFETCH(bool, boxesBack);
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    w.Presets().Select(preset);
    const QList<QWidget*> list = {c.CbSize, c.Bt_SizeSave, c.Bt_SizeDel};
    const QList<QWidget*> boxes = {c.SizeWidth, c.SizeHeight, c.Lb_WakuX, c.Lb_WakuY};
    const QList<QWidget*> frameSide = {c.Lb_SWaku, c.Lb_VWaku, c.Bt_SWaku, c.Bt_VWaku,
                                       c.LEAD3,    c.LEAD4,    c.Bt_Waku_Save};

    c.OpThumbWaku2->click();
    QCOMPARE(w.Settings().FrameMode, 1);
    for (QWidget* x : list + boxes) QVERIFY2(!x->isEnabled(), qPrintable(x->objectName()));
    for (QWidget* x : frameSide) QVERIFY2(x->isEnabled(), qPrintable(x->objectName()));

    c.OpThumbWaku1->click();
    QCOMPARE(w.Settings().FrameMode, 0);
    for (QWidget* x : list) QVERIFY2(x->isEnabled(), qPrintable(x->objectName()));
    for (QWidget* x : boxes) QCOMPARE(x->isEnabled(), boxesBack);
    for (QWidget* x : frameSide) QVERIFY2(!x->isEnabled(), qPrintable(x->objectName()));
    QCOMPARE(mirelo::app::ReadIni("Mode", "Thumbnail", h.thumbIni()), std::string("0"));  // nothing written
  }

  void storedFrameModeLoadsTheFrameSide() {
    WindowHarness h;
    QVERIFY(mirelo::app::CreateSettingsFile(h.thumbIni(), 0, 0));
    mirelo::app::WriteIni(std::string_view(" 1"), std::string_view("Mode"), "Thumbnail", h.thumbIni());
    auto& w = h.Start();
    QVERIFY(w.Controls().OpThumbWaku2->isChecked());
    QVERIFY(w.Controls().Bt_VWaku->isEnabled() && !w.Controls().CbSize->isEnabled());
    QCOMPARE(w.Settings().FrameMode, 1);
  }

  void buttonsAndPreviewsOpenTheirEditor() {
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    QStringList captions;
    WhenEditorOpens(w, [&](FrameEditor& e) { captions << e.windowTitle(); });
    // Off in "枠なし": a click on a preview does nothing.
    QTest::mouseClick(c.LEAD3, Qt::LeftButton);
    QTest::qWait(20);
    QVERIFY(captions.isEmpty());

    c.OpThumbWaku2->click();
    c.Bt_VWaku->click();
    QCOMPARE(w.Frames().FrameEditKind, 1);
    c.Bt_SWaku->click();
    QCOMPARE(w.Frames().FrameEditKind, 0);
    QTest::mouseClick(c.LEAD4, Qt::LeftButton);
    QTRY_COMPARE(captions.size(), 3);
    QTest::mouseClick(c.LEAD3, Qt::LeftButton);
    QTRY_COMPARE(captions.size(), 4);
    QCOMPARE(captions, QStringList({QStringLiteral(u"動画のサムネイル設定"), QStringLiteral(u"静止画のサムネイル設定"),
                                    QStringLiteral(u"動画のサムネイル設定"), QStringLiteral(u"静止画のサムネイル設定")}));
    // The editor's controls never shadow frmMain's names.
    QCOMPARE(w.findChildren<QObject*>(QStringLiteral(u"Bt_Cancel")).size(), 1);
  }

  void cancelKeepsTheFrameAndReloadsThePreview() {
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    const std::string path = Picture(h, "frame.png", 120, 90);
    w.Settings().SetFrame(FrameKind::Still, FrameTemplate{4, 3, 50, 40, path});
    c.OpThumbWaku2->click();
    QVERIFY(!c.LEAD3->HasImage());
    WhenEditorOpens(w, [](FrameEditor& e) {
      QTest::mouseClick(Button(&e, u"Bt_x2"), Qt::LeftButton);
      Button(&e, u"Bt_Cancel")->click();
    });
    c.Bt_SWaku->click();
    QCOMPARE(w.Settings().StillFrameFile, std::optional<std::string>(path));
    QCOMPARE(w.Settings().StillFrameLeft, 3);
    QCOMPARE(w.Settings().StillFrameWidth, 50);
    QVERIFY(c.LEAD3->HasImage());
    QVERIFY(!c.LEAD4->HasImage());
  }

  void failingReloadKeepsThePreviewAsItWas() {
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    const std::string path = Picture(h, "frame.png", 120, 90);
    w.Settings().SetFrame(FrameKind::Video, FrameTemplate{0, 0, 50, 40, path});
    c.OpThumbWaku2->click();
    WhenEditorOpens(w, [&](FrameEditor& e) {
      Button(&e, u"Bt_OK")->click();
      mirelo::testing::WriteBytes(path, "gone bad");
    });
    c.Bt_VWaku->click();
    QCOMPARE(w.Settings().VideoFrameFile, std::optional<std::string>(path));
    QVERIFY(!c.LEAD4->HasImage());
    QVERIFY(h.shell.errors.isEmpty());
  }

  // The stored video frame's picture was deleted: the editor clears that frame, LEAD4 keeps its
  // picture, and "保存" writes only the still frame; the VideoFrame entries stay as they were.
  void clearedFrameIsNotSaved() {
    WindowHarness h;
    const std::string still = Picture(h, "still.png", 100, 80);
    const std::string video = Picture(h, "video.png", 100, 80);
    QVERIFY(mirelo::app::CreateSettingsFile(h.thumbIni(), 0, 0));
    for (const auto& [section, file] : {std::pair{"StillFrame", still}, std::pair{"VideoFrame", video}}) {
      mirelo::app::WriteIni(std::string_view(file), std::string_view("File"), section, h.thumbIni());
      for (const char* key : {"Top", "Left", "Width", "Height"}) {
        mirelo::app::WriteIni(std::string_view("5"), std::string_view(key), section, h.thumbIni());
      }
    }
    auto& w = h.Start();
    const auto& c = w.Controls();
    QVERIFY(c.LEAD3->HasImage() && c.LEAD4->HasImage());
    const std::string videoBefore = Section(ReadBytes(h.thumbIni()), "VideoFrame");
    std::filesystem::remove(video);
    c.OpThumbWaku2->click();
    WhenEditorOpens(w, [](FrameEditor&) {});
    c.Bt_VWaku->click();
    QCOMPARE(h.shell.errors, QStringList{QStringLiteral(u"前回設定した ") + QString::fromStdString(video) +
                                         QStringLiteral(u" が見つかりません。")});
    QCOMPARE(w.Settings().VideoFrameTop, -1);
    QVERIFY(c.LEAD4->HasImage());
    c.Bt_Waku_Save->click();
    const std::string ini = ReadBytes(h.thumbIni());
    QCOMPARE(Section(ini, "VideoFrame"), videoBefore);
    QCOMPARE(Section(ini, "StillFrame"),
             "[StillFrame]\r\nFile=" + still + "\r\nTop= 5\r\nLeft= 5\r\nWidth= 5\r\nHeight= 5\r\n");
  }

  void frameSaveAppendsANewSectionInOrder() {
    WindowHarness h;
    auto& w = h.Start();
    const std::string before = ReadBytes(h.thumbIni());
    w.Settings().SetFrame(FrameKind::Still, FrameTemplate{34, 12, 160, 120, std::string("/w/frame.png")});
    w.Controls().OpThumbWaku2->click();
    w.Controls().Bt_Waku_Save->click();
    const std::string after = ReadBytes(h.thumbIni());
    QVERIFY(after.starts_with(before.substr(0, before.size() - 2)));
    QVERIFY(after.ends_with("[StillFrame]\r\nFile=/w/frame.png\r\nTop= 34\r\nLeft= 12\r\nWidth= 160\r\nHeight= 120\r\n"));
    QVERIFY(Section(after, "VideoFrame").empty());  // no video frame: nothing written
  }

  void settingsSaveWritesTheFramesInFrameModeOnly() {
    for (const bool framed : {false, true}) {
      WindowHarness h;
      auto& w = h.Start();
      w.Settings().SetFrame(FrameKind::Video, FrameTemplate{-3, 0, 64, 48, std::string("/v.png")});
      (framed ? w.Controls().OpThumbWaku2 : w.Controls().OpThumbWaku1)->click();
      w.Controls().Bt_Save->click();
      const std::string ini = ReadBytes(h.thumbIni());
      QVERIFY(ini.find(framed ? "[Thumbnail]\r\nMode= 1\r\n" : "[Thumbnail]\r\nMode= 0\r\n") != std::string::npos);
      QCOMPARE(Section(ini, "VideoFrame"),
               framed ? std::string("[VideoFrame]\r\nFile=/v.png\r\nTop=-3\r\nLeft= 0\r\nWidth= 64\r\nHeight= 48\r\n")
                      : std::string());
    }
  }

  // The whole road in the window: pick a picture in the editor, drag at 200 %, OK, save.
  void editorResultReachesThePreviewAndTheFile() {
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    const std::string path = Picture(h, "rahmen.png", 400, 300);
    h.shell.openAnswers = {QString::fromStdString(path)};
    c.OpThumbWaku2->click();
    WhenEditorOpens(w, [](FrameEditor& e) {
      Button(&e, u"Bt_Load")->click();
      Button(&e, u"Bt_x2")->click();
      QWidget* canvas = e.Canvas();
      QTest::mousePress(canvas, Qt::LeftButton, {}, QPoint(100, 60));
      QTest::mouseMove(canvas, QPoint(300, 200));
      QTest::mouseRelease(canvas, Qt::LeftButton, {}, QPoint(500, 340));
      Button(&e, u"Bt_OK")->click();
    });
    c.Bt_SWaku->click();
    QCOMPARE(w.Settings().StillFrameFile, std::optional<std::string>(path));
    QCOMPARE(w.Settings().StillFrameLeft, 50);
    QCOMPARE(w.Settings().StillFrameTop, 30);
    QCOMPARE(w.Settings().StillFrameWidth, 200);
    QCOMPARE(w.Settings().StillFrameHeight, 140);
    QVERIFY(c.LEAD3->HasImage());
    c.Bt_Waku_Save->click();
    QCOMPARE(Section(ReadBytes(h.thumbIni()), "StillFrame"),
             "[StillFrame]\r\nFile=" + path + "\r\nTop= 30\r\nLeft= 50\r\nWidth= 200\r\nHeight= 140\r\n");
  }
};

QTEST_MAIN(FramePanelTest)
#include "frame_panel_test.moc"
