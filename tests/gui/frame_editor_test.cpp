// The frame template editor frmThum on its own, through its widgets and the mouse: opening with
// and without a stored frame, every load failure text, the initial rectangle, drags at a zoom,
// x4, OK's conversion, Cancel, and the sound OK without a picture.

#include <QApplication>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>
#include <filesystem>

#include "app/thumb_settings.h"
#include "app/window/main_window.h"
#include "fake_shell.h"
#include "frames/frame_editor.h"
#include "window_harness.h"

using mirelo::app::FrameKind;
using mirelo::app::FrameTemplate;
using mirelo::app::ThumbSettings;
using mirelo::frames::FrameEditor;
using mirelo::testing::FakeShell;

namespace {

QRect Rect(const FrameTemplate& f) { return QRect(f.Left, f.Top, f.Width, f.Height); }

QPushButton* Button(QWidget* w, const char16_t* name) { return w->findChild<QPushButton*>(QString::fromUtf16(name)); }

void SendMouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
  QMouseEvent event(type, QPointF(at), QPointF(w->mapToGlobal(at)), Qt::LeftButton, buttons, Qt::NoModifier);
  QApplication::sendEvent(w, &event);
}

// A mouse drag on the picture, from press to release in the canvas' (display) coordinates.
void Drag(QWidget* canvas, QPoint from, QPoint to) {
  SendMouse(canvas, QEvent::MouseButtonPress, from, Qt::LeftButton);
  SendMouse(canvas, QEvent::MouseMove, (from + to) / 2, Qt::LeftButton);
  SendMouse(canvas, QEvent::MouseMove, to, Qt::LeftButton);
  SendMouse(canvas, QEvent::MouseButtonRelease, to, Qt::NoButton);
}

struct EditorHarness {
  QTemporaryDir dir;
  FakeShell shell;
  ThumbSettings settings;
  std::string frameEditFile = "ERROR";

  std::string File(const char* name) const { return (std::filesystem::path(dir.path().toStdString()) / name).string(); }

  std::string Picture(const char* name, int width, int height) const {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(30, 140, 60));
    const std::string path = File(name);
    image.save(QString::fromStdString(path), "PNG");
    return path;
  }

  // Shows the editor and waits for its activation.
  std::unique_ptr<FrameEditor> Open(FrameKind kind) {
    auto editor = std::make_unique<FrameEditor>(kind, settings, frameEditFile, shell);
    editor->show();
    if (!QTest::qWaitFor([&] { return editor->Activated(); }, 5000)) return nullptr;
    return editor;
  }
};

}  // namespace

Q_DECLARE_METATYPE(std::optional<std::string>)

class FrameEditorTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { mirelo::window::ApplyDesktopFont(); }

  void designedControls() {
    EditorHarness h;
    auto editor = h.Open(FrameKind::Still);
    QVERIFY(editor);
    QCOMPARE(editor->objectName(), QStringLiteral(u"frmThum"));
    QCOMPARE(editor->size(), QSize(658, 568));
    QVERIFY(editor->isModal());
    const QList<QPair<const char16_t*, QRect>> buttons = {
        {u"Bt_x1", {8, 16, 25, 25}},        {u"Bt_x2", {32, 16, 25, 25}},      {u"Bt_x3", {56, 16, 25, 25}},
        {u"Bt_x4", {80, 16, 25, 25}},       {u"Bt_Load", {320, 528, 145, 25}}, {u"Bt_Cancel", {472, 528, 81, 25}},
        {u"Bt_OK", {568, 528, 81, 25}}};
    for (const auto& [name, geometry] : buttons) {
      QPushButton* b = Button(editor.get(), name);
      QVERIFY2(b && b->isEnabled(), qPrintable(QString::fromUtf16(name)));
      QCOMPARE(b->geometry(), geometry);
    }
    QCOMPARE(Button(editor.get(), u"Bt_x3")->parentWidget()->objectName(), QStringLiteral(u"Frame1"));
    QCOMPARE(Button(editor.get(), u"Bt_OK")->text(), QStringLiteral(u"設　定"));
    QCOMPARE(Button(editor.get(), u"Bt_Load")->text(), QStringLiteral(u"サムネイル枠の読み込み"));
    QCOMPARE(editor->findChild<QGroupBox*>(QStringLiteral(u"Frame1"))->title(), QStringLiteral(u"拡大"));
    QCOMPARE(editor->findChild<QLabel*>(QStringLiteral(u"Lb_Setsumei"))->text(),
             QStringLiteral(u"●縮小した画像をはめ込む領域をドラッグしてください。"));
    QCOMPARE(editor->View()->objectName(), QStringLiteral(u"LEAD5"));
    QCOMPARE(editor->View()->geometry(), QRect(8, 24, 640, 480));
    QCOMPARE(mirelo::frames::FramePictureFilter(),
             QStringLiteral(u"ピクチャ (*.bmp;*.jpg;*.jpeg;*.gif;*.pct;*.png)|*.bmp;*.jpg;*.jpeg;*.gif;*.pct;*.png"));
  }

  void noStoredFrameOpensEmpty_data() {
    QTest::addColumn<std::optional<std::string>>("file");
    QTest::newRow("unset") << std::optional<std::string>();
    QTest::newRow("empty") << std::optional<std::string>("");
    QTest::newRow("ERROR") << std::optional<std::string>("ERROR");
  }

  void noStoredFrameOpensEmpty() {
    QFETCH(std::optional<std::string>, file);
    EditorHarness h;
    h.settings.StillFrameFile = file;
    h.frameEditFile = "/kept.png";
    auto editor = h.Open(FrameKind::Still);
    QVERIFY(editor);
    QCOMPARE(editor->windowTitle(), QStringLiteral(u"静止画のサムネイル設定"));
    QVERIFY(!editor->HasPicture());
    QVERIFY(!editor->Geometry().SelectionOn());
    Drag(editor->View()->viewport(), {10, 10}, {200, 100});
    Drag(editor->Canvas(), {10, 10}, {200, 100});
    QVERIFY(!editor->Geometry().Dragging());
    QVERIFY(h.shell.errors.isEmpty());
    QCOMPARE(h.frameEditFile, std::string("/kept.png"));
    // OK without a picture changes nothing.
    h.settings.StillFrameTop = 7;
    Button(editor.get(), u"Bt_OK")->click();
    QVERIFY(!editor->isVisible());
    QCOMPARE(h.settings.StillFrameFile, file);
    QCOMPARE(h.settings.StillFrameTop, 7);
  }

  // The stored picture cannot be shown: its message, then the frame being edited is cleared
  // while the window stays open with an empty view.
  void storedFrameThatFailsIsCleared_data() {
    QTest::addColumn<QString>("kind");  // what stands at the stored path
    QTest::addColumn<QString>("suffix");
    QTest::newRow("deleted") << QStringLiteral(u"missing") << QStringLiteral(u" が見つかりません。");
    QTest::newRow("not a picture") << QStringLiteral(u"garbage") << QStringLiteral(u" のファイルフォーマットが不正です。");
    QTest::newRow("a folder") << QStringLiteral(u"folder") << QStringLiteral(u" は読み込めません。");
  }

  void storedFrameThatFailsIsCleared() {
    QFETCH(QString, kind);
    QFETCH(QString, suffix);
    EditorHarness h;
    const std::string path = h.File("枠.png");
    if (kind == u"garbage") mirelo::testing::WriteBytes(path, "no picture here");
    if (kind == u"folder") std::filesystem::create_directory(path);
    h.settings.SetFrame(FrameKind::Video, FrameTemplate{5, 6, 70, 80, path});
    h.settings.SetFrame(FrameKind::Still, FrameTemplate{1, 2, 3, 4, std::string("/still.png")});
    auto editor = h.Open(FrameKind::Video);
    QVERIFY(editor);
    QCOMPARE(editor->windowTitle(), QStringLiteral(u"動画のサムネイル設定"));
    const QString prefix = kind == u"missing" ? QStringLiteral(u"前回設定した ") : QString();
    QCOMPARE(h.shell.errors, QStringList{prefix + QString::fromStdString(path) + suffix});
    QCOMPARE(h.settings.VideoFrameFile, std::nullopt);
    QCOMPARE(Rect(h.settings.VideoFrame()), QRect(-1, -1, -1, -1));
    QCOMPARE(h.settings.VideoFrameTop, -1);
    QCOMPARE(h.settings.StillFrameTop, 1);  // the other frame is not touched
    QCOMPARE(h.frameEditFile, path);
    QVERIFY(editor->isVisible());
    QVERIFY(!editor->HasPicture());
  }

  void storedFrameRoundTripsThroughOk() {
    EditorHarness h;
    const std::string path = h.Picture("frame.png", 320, 240);
    h.settings.SetFrame(FrameKind::Still, FrameTemplate{20, 10, 100, 80, path});
    auto editor = h.Open(FrameKind::Still);
    QVERIFY(editor);
    QVERIFY(editor->HasPicture());
    QCOMPARE(editor->Geometry().ZoomPercent(), 100);
    QCOMPARE(editor->Canvas()->size(), QSize(320, 240));
    QCOMPARE(h.frameEditFile, path);
    Button(editor.get(), u"Bt_OK")->click();
    QCOMPARE(Rect(h.settings.StillFrame()), QRect(10, 20, 100, 80));
    QCOMPARE(h.settings.StillFrameFile, std::optional<std::string>(path));
    QVERIFY(!editor->HasPicture());  // released
  }

  void loadSetsTheWholePictureAndX4GrowsIt() {
    EditorHarness h;
    const std::string path = h.Picture("new.png", 300, 200);
    h.shell.openAnswers = {QString::fromStdString(path)};
    auto editor = h.Open(FrameKind::Video);
    QVERIFY(editor);
    Button(editor.get(), u"Bt_Load")->click();
    // The original entry first, then every still kind (a phone's HEIC may be a frame picture).
    QCOMPARE(h.shell.openFilters.size(), 1);
    QVERIFY(h.shell.openFilters[0].startsWith(mirelo::frames::FramePictureFilter() + u'|'));
    QVERIFY(h.shell.openFilters[0].endsWith(QStringLiteral(u";*.heic;*.heif;*.hif;*.avif;*.webp;*.jxl;*.tiff;*.jfif;*.jpe;*.pict;*.dng;*.cr2;*.cr3;*.crw;*.nef;*.nrw;*.arw;*.srf;*.sr2;*.orf;*.rw2;*.raf;*.pef;*.srw;*.3fr;*.iiq;*.erf;*.kdc;*.dcr;*.mrw;*.mos;*.mef;*.raw;*.rwl;*.x3f;*.gpr")));
    QCOMPARE(h.frameEditFile, path);
    QVERIFY(editor->Geometry().SelectionOn());
    QCOMPARE(editor->Geometry().EditRect(), (mirelo::frames::Rect16{0, 0, 300, 200}));
    Button(editor.get(), u"Bt_x4")->click();
    QCOMPARE(editor->Geometry().EditRect(), (mirelo::frames::Rect16{0, 0, 1200, 800}));
    // The zoomed picture is larger than the view: it scrolls.
    QCOMPARE(editor->Canvas()->size(), QSize(1200, 800));
    QVERIFY(editor->View()->horizontalScrollBar()->maximum() > 0);
    QVERIFY(editor->View()->verticalScrollBar()->maximum() > 0);
    Button(editor.get(), u"Bt_OK")->click();
    QCOMPARE(Rect(h.settings.VideoFrame()), QRect(0, 0, 300, 200));
    QCOMPARE(h.settings.VideoFrameFile, std::optional<std::string>(path));
    QVERIFY(h.shell.errors.isEmpty());
  }

  void mouseDragAtTwoHundredPercent() {
    EditorHarness h;
    const std::string path = h.Picture("new.png", 300, 200);
    h.shell.openAnswers = {QString::fromStdString(path)};
    auto editor = h.Open(FrameKind::Still);
    QVERIFY(editor);
    Button(editor.get(), u"Bt_Load")->click();
    Button(editor.get(), u"Bt_x2")->click();
    QCOMPARE(editor->Canvas()->size(), QSize(600, 400));
    // From the lower right to the upper left: the corner where the drag ended is the top-left.
    Drag(editor->Canvas(), {302, 150}, {101, 51});
    QCOMPARE(editor->Geometry().EditRect(), (mirelo::frames::Rect16{101, 51, 201, 99}));
    Button(editor.get(), u"Bt_OK")->click();
    QCOMPARE(Rect(h.settings.StillFrame()), QRect(50, 26, 100, 50));
  }

  void cancelAndTheCloseBoxChangeNothing() {
    for (const bool closeBox : {false, true}) {
      EditorHarness h;
      const std::string path = h.Picture("frame.png", 200, 100);
      h.settings.SetFrame(FrameKind::Still, FrameTemplate{1, 2, 30, 40, path});
      auto editor = h.Open(FrameKind::Still);
      QVERIFY(editor);
      Drag(editor->Canvas(), {10, 10}, {150, 90});
      Button(editor.get(), u"Bt_x3")->click();
      if (closeBox) {
        editor->close();
      } else {
        Button(editor.get(), u"Bt_Cancel")->click();
      }
      QVERIFY(!editor->isVisible());
      QCOMPARE(Rect(h.settings.StillFrame()), QRect(2, 1, 30, 40));
      QVERIFY(!editor->HasPicture());
    }
  }

  void cancelledOpenDialogChangesNothing() {
    EditorHarness h;
    const std::string path = h.Picture("frame.png", 200, 100);
    h.settings.SetFrame(FrameKind::Still, FrameTemplate{1, 2, 30, 40, path});
    auto editor = h.Open(FrameKind::Still);
    QVERIFY(editor);
    Button(editor.get(), u"Bt_Load")->click();  // no answer: cancelled
    QCOMPARE(h.shell.openFilters.size(), 1);
    QVERIFY(h.shell.errors.isEmpty());
    QVERIFY(editor->HasPicture());
    QCOMPARE(editor->Geometry().EditRect(), (mirelo::frames::Rect16{2, 1, 30, 40}));
    QCOMPARE(h.frameEditFile, path);
  }

  // A chosen file that does not load: its message; FrameEditFile names it, while the view and
  // what OK stores stay with the picture that did load.
  void failedLoadKeepsThePicture_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");  // %1: the path
    QTest::newRow("not a picture") << QStringLiteral(u"garbage") << QStringLiteral(u"%1 のファイルフォーマットが不正です。");
    QTest::newRow("a folder") << QStringLiteral(u"folder") << QStringLiteral(u"%1 は読み込めません。");
    QTest::newRow("typed name of a missing file") << QStringLiteral(u"missing") << QStringLiteral(u"Error code: 20010");
  }

  void failedLoadKeepsThePicture() {
    QFETCH(QString, kind);
    QFETCH(QString, message);
    EditorHarness h;
    const std::string good = h.Picture("good.png", 200, 100);
    const std::string bad = h.File("bad.jpg");
    if (kind == u"garbage") mirelo::testing::WriteBytes(bad, "\xff\xd8 broken");
    if (kind == u"folder") std::filesystem::create_directory(bad);
    h.shell.openAnswers = {QString::fromStdString(good), QString::fromStdString(bad)};
    auto editor = h.Open(FrameKind::Still);
    QVERIFY(editor);
    Button(editor.get(), u"Bt_Load")->click();
    Drag(editor->Canvas(), {20, 10}, {120, 60});
    Button(editor.get(), u"Bt_Load")->click();
    const QString expected = message.contains(u'%') ? message.arg(QString::fromStdString(bad)) : message;
    QCOMPARE(h.shell.errors, QStringList{expected});
    QCOMPARE(h.frameEditFile, bad);
    QVERIFY(editor->HasPicture());
    QCOMPARE(editor->PictureFile(), good);
    Button(editor.get(), u"Bt_OK")->click();
    QCOMPARE(h.settings.StillFrameFile, std::optional<std::string>(good));
    QCOMPARE(Rect(h.settings.StillFrame()), QRect(20, 10, 100, 50));
  }

  void failedFirstLoadLeavesOkWithoutEffect() {
    EditorHarness h;
    h.shell.openAnswers = {QString::fromStdString(h.File("nothing.png"))};
    auto editor = h.Open(FrameKind::Video);
    QVERIFY(editor);
    Button(editor.get(), u"Bt_Load")->click();
    QCOMPARE(h.shell.errors.size(), 1);
    Button(editor.get(), u"Bt_OK")->click();
    QCOMPARE(h.settings.VideoFrameFile, std::nullopt);
    QCOMPARE(h.settings.VideoFrameTop, -1);
  }
};

QTEST_MAIN(FrameEditorTest)
#include "frame_editor_test.moc"
