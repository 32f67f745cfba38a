// A framed run from the window, end to end: both frames chosen and dragged in the editor, the
// options changed in the dialog, the format chosen on the panel; the stills and clips of the run
// then sit in their rectangles of their frame pictures.

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "app/window/main_window.h"
#include "app/window/window_settings_sink.h"
#include "dialogs/options_dialog.h"
#include "filelist/batch_panel.h"
#include "filelist/file_list_panel.h"
#include "frames/frame_editor.h"
#include "frames/frame_panel.h"
#include "platform/imaging/imaging_control.h"
#include "window_harness.h"

using mirelo::frames::FrameEditor;
using mirelo::testing::WindowHarness;

namespace {

QPushButton* Button(QWidget* w, const char16_t* name) { return w->findChild<QPushButton*>(QString::fromUtf16(name)); }

void Drag(QWidget* canvas, QPoint from, QPoint to) {
  QTest::mousePress(canvas, Qt::LeftButton, {}, from);
  QTest::mouseRelease(canvas, Qt::LeftButton, {}, to);
}

// A frame picture: a brown board with a white window in it.
std::string FramePicture(const WindowHarness& h, const char* name) {
  QImage image(200, 150, QImage::Format_RGB32);
  image.fill(QColor(120, 70, 30));
  for (int y = 40; y < 110; ++y) {
    for (int x = 40; x < 160; ++x) image.setPixelColor(x, y, Qt::white);
  }
  const std::string path = (h.appDir() / name).string();
  image.save(QString::fromStdString(path), "PNG");
  return path;
}

mirelo::imaging::Image Load(const std::string& path) {
  mirelo::imaging::ImagingControl control;
  control.Load(path);
  return control.GetImage();
}

QColor Pixel(const mirelo::imaging::Image& image, int x, int y) {
  const std::uint8_t* p = image.row(y) + static_cast<std::size_t>(x) * 3;
  return QColor(p[0], p[1], p[2]);
}

bool IsGrey(const QColor& c) { return std::abs(c.red() - c.green()) <= 2 && std::abs(c.green() - c.blue()) <= 2; }

}  // namespace

class FramedRunTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { mirelo::window::ApplyDesktopFont(); }

  void stillsAndClipsSitInTheirRectangles() {
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    const std::string stillFrame = FramePicture(h, "still_frame.png");
    const std::string videoFrame = FramePicture(h, "video_frame.png");

    // A red still and a blue clip of 64 x 48.
    QImage red(64, 48, QImage::Format_RGB32);
    red.fill(QColor(220, 20, 20));
    const std::string still = (h.appDir() / "red.png").string();
    QVERIFY(red.save(QString::fromStdString(still), "PNG"));
    const std::string clip = (h.appDir() / "blue.avi").string();
    const std::string ffmpeg = "ffmpeg -v error -y -f lavfi -i color=c=0x1414dc:s=64x48:d=2:r=25 -c:v mpeg4 -q:v 2 '" +
                               clip + "'";
    QCOMPARE(std::system(ffmpeg.c_str()), 0);

    // The frames, dragged in the editor: the still's at 200 %, the clip's at 100 %.
    c.OpThumbWaku2->click();
    h.shell.openAnswers = {QString::fromStdString(stillFrame), QString::fromStdString(videoFrame)};
    const auto inEditor = [&](std::function<void(FrameEditor&)> act) {
      w.Frames().editorOpened = [act](FrameEditor& e) {
        QTimer::singleShot(0, &e, [&e, act] {
          e.Form_Activate();
          act(e);
        });
      };
    };
    inEditor([](FrameEditor& e) {
      Button(&e, u"Bt_Load")->click();
      Button(&e, u"Bt_x2")->click();
      Drag(e.Canvas(), {280, 210}, {80, 80});  // picture 40, 40 to 140, 105
      Button(&e, u"Bt_OK")->click();
    });
    c.Bt_SWaku->click();
    inEditor([](FrameEditor& e) {
      Button(&e, u"Bt_Load")->click();
      Drag(e.Canvas(), {60, 50}, {140, 110});
      Button(&e, u"Bt_OK")->click();
    });
    c.Bt_VWaku->click();
    QCOMPARE(QRect(w.Settings().StillFrameLeft, w.Settings().StillFrameTop, w.Settings().StillFrameWidth,
                   w.Settings().StillFrameHeight),
             QRect(40, 40, 100, 65));
    QCOMPARE(QRect(w.Settings().VideoFrameLeft, w.Settings().VideoFrameTop, w.Settings().VideoFrameWidth,
                   w.Settings().VideoFrameHeight),
             QRect(60, 50, 80, 60));

    // Options from the dialog: stretch into the rectangle, monochrome.
    QTimer::singleShot(0, [] {
      auto* d = qobject_cast<mirelo::dialogs::OptionsDialog*>(QApplication::activeModalWidget());
      if (!d) return;
      d->findChild<QRadioButton*>(QStringLiteral(u"OpFit1"))->click();
      d->findChild<QCheckBox*>(QStringLiteral(u"CkMono"))->click();
      d->findChild<QPushButton*>(QStringLiteral(u"cmdOk"))->click();
    });
    c.M_Help_Option->trigger();
    QCOMPARE(w.Settings().FitMode, 0);
    QCOMPARE(w.Settings().MonoOn, 1);
    // PNG, so pixels compare exactly.
    mirelo::window::SelectEntry(c.CbFormat, 2);

    w.FileList().List1_OLEDragDrop({still, clip});
    QSignalSpy ended(&w.Batch(), &mirelo::filelist::BatchPanel::runEnded);
    c.Bt_Go->click();
    QVERIFY(ended.wait(60000));
    const auto& result = w.Batch().LastResult();
    QVERIFY(result);
    QCOMPARE(result->written, 2);
    QVERIFY2(h.log.Text().empty(), h.log.Text().c_str());

    struct Expect {
      std::string output;
      QRect inner;
    };
    const Expect expects[] = {{result->outputs[0], QRect(40, 40, 100, 65)}, {result->outputs[1], QRect(60, 50, 80, 60)}};
    for (const Expect& e : expects) {
      const auto out = Load(e.output);
      QCOMPARE(QSize(out.width, out.height), QSize(200, 150));
      // The reduced picture fills the rectangle, monochrome; the frame around it keeps its colours.
      for (const QPoint p : {e.inner.topLeft(), e.inner.bottomRight(), e.inner.center()}) {
        const QColor inside = Pixel(out, p.x(), p.y());
        QVERIFY2(IsGrey(inside) && inside.red() < 200, qPrintable(inside.name()));
      }
      for (const QPoint p : {e.inner.topLeft() - QPoint(1, 1), e.inner.bottomRight() + QPoint(1, 1)}) {
        const QColor outside = Pixel(out, p.x(), p.y());
        QVERIFY2(!IsGrey(outside) || outside == QColor(Qt::white), qPrintable(outside.name()));
      }
      QCOMPARE(Pixel(out, 5, 5), QColor(120, 70, 30));
    }
    // The still was red and the clip blue: different greys.
    QVERIFY(Pixel(Load(expects[0].output), 90, 70) != Pixel(Load(expects[1].output), 100, 80));
  }
};

QTEST_MAIN(FramedRunTest)
#include "framed_run_test.moc"
