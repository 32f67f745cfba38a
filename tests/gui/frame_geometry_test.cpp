// The frame editor's coordinates without widgets: drags in every direction and at every zoom,
// the zoom buttons with x4's fixed factor, OK's nearest-even conversion and the 16-bit clamps.

#include <QList>
#include <QPointF>
#include <QRect>
#include <QtTest>

#include "frames/frame_geometry.h"

using mirelo::frames::FrameGeometry;
using mirelo::frames::Rect16;

namespace {

QRect AsRect(const Rect16& r) { return QRect(r.Left, r.Top, r.Width, r.Height); }

}  // namespace

class FrameGeometryTest : public QObject {
  Q_OBJECT

 private slots:
  // A drag on a picture of pictureSize (picture pixels) at zoom, from press to release in display
  // pixels: EditRect as folded, and what OK stores.
  void drags_data() {
    QTest::addColumn<int>("zoom");
    QTest::addColumn<QSize>("pictureSize");
    QTest::addColumn<QPointF>("press");
    QTest::addColumn<QPointF>("release");
    QTest::addColumn<QRect>("edit");
    QTest::addColumn<QRect>("stored");

    const QSize small(300, 200);
    QTest::newRow("down right") << 100 << small << QPointF(10, 20) << QPointF(110, 100) << QRect(10, 20, 100, 80)
                                << QRect(10, 20, 100, 80);
    QTest::newRow("up left: the corner where it ended")
        << 100 << small << QPointF(110, 100) << QPointF(10, 20) << QRect(10, 20, 100, 80) << QRect(10, 20, 100, 80);
    QTest::newRow("up right") << 100 << small << QPointF(10, 100) << QPointF(110, 20) << QRect(10, 20, 100, 80)
                              << QRect(10, 20, 100, 80);
    QTest::newRow("down left") << 100 << small << QPointF(110, 20) << QPointF(10, 100) << QRect(10, 20, 100, 80)
                               << QRect(10, 20, 100, 80);
    // 50.5 -> 50, 25.5 -> 26, 100.5 -> 100, 49.5 -> 50.
    QTest::newRow("x2 halves to the even neighbour")
        << 200 << small << QPointF(101, 51) << QPointF(302, 150) << QRect(101, 51, 201, 99) << QRect(50, 26, 100, 50);
    QTest::newRow("x2 dragged up left") << 200 << small << QPointF(302, 150) << QPointF(101, 51)
                                        << QRect(101, 51, 201, 99) << QRect(50, 26, 100, 50);
    QTest::newRow("x3 thirds round") << 300 << small << QPointF(31, 62) << QPointF(331, 362)
                                     << QRect(31, 62, 300, 300) << QRect(10, 21, 100, 100);
    QTest::newRow("x4") << 400 << small << QPointF(40, 80) << QPointF(440, 400) << QRect(40, 80, 400, 320)
                        << QRect(10, 20, 100, 80);
    QTest::newRow("held to the picture's right and bottom")
        << 100 << small << QPointF(250, 150) << QPointF(400, 300) << QRect(250, 150, 50, 50)
        << QRect(250, 150, 50, 50);
    QTest::newRow("held to the picture's origin")
        << 100 << small << QPointF(50, 50) << QPointF(-20, -30) << QRect(0, 0, 50, 50) << QRect(0, 0, 50, 50);
    QTest::newRow("x2 held to the zoomed picture")
        << 200 << small << QPointF(500, 300) << QPointF(900, 900) << QRect(500, 300, 100, 100)
        << QRect(250, 150, 50, 50);
    QTest::newRow("fractional mouse positions round half even")
        << 100 << small << QPointF(10.5, 11.5) << QPointF(110.5, 91.5) << QRect(10, 12, 100, 80)
        << QRect(10, 12, 100, 80);
    // A 32767-pixel picture at 400 % is 131068 display pixels wide: beyond 16 bits.
    QTest::newRow("x4 on the largest picture clamps")
        << 400 << QSize(32767, 20000) << QPointF(100, 100) << QPointF(131000, 60000) << QRect(100, 100, 32767, 32767)
        << QRect(25, 25, 8192, 8192);
    QTest::newRow("x4 folded drag beyond 16 bits")
        << 400 << QSize(32767, 100) << QPointF(131000, 10) << QPointF(0, 390) << QRect(0, 10, 32767, 380)
        << QRect(0, 2, 8192, 95);
  }

  void drags() {
    QFETCH(int, zoom);
    QFETCH(QSize, pictureSize);
    QFETCH(QPointF, press);
    QFETCH(QPointF, release);
    QFETCH(QRect, edit);
    QFETCH(QRect, stored);

    FrameGeometry g;
    g.Loaded(pictureSize.width(), pictureSize.height());
    g.SetZoom(zoom);  // x4 grows the loaded rectangle; the drag replaces it
    QCOMPARE(g.ZoomPercent(), zoom);
    g.BeginDrag(press.x(), press.y(), g.ToDisplay(pictureSize.width()), g.ToDisplay(pictureSize.height()));
    QVERIFY(g.Dragging());
    g.MoveDrag((press.x() + release.x()) / 2, (press.y() + release.y()) / 2);
    g.EndDrag(release.x(), release.y());
    QVERIFY(!g.Dragging());
    QVERIFY(g.SelectionOn());
    QCOMPARE(AsRect(g.EditRect()), edit);
    QCOMPARE(AsRect(g.ViewRect()), edit);
    QCOMPARE(AsRect(g.PictureRect()), stored);
  }

  void theViewShowsTheDragUnfoldedWhileItRuns() {
    FrameGeometry g;
    g.Loaded(300, 200);
    g.BeginDrag(100, 100, 300, 200);
    g.MoveDrag(40, 30);
    QCOMPARE(AsRect(g.ViewRect()), QRect(100, 100, -60, -70));
    QCOMPARE(AsRect(g.EditRect()), QRect(0, 0, 300, 200));  // EditRect follows at the end only
  }

  void aClickWithoutAreaKeepsTheRectangle_data() {
    QTest::addColumn<QPointF>("release");
    QTest::newRow("click") << QPointF(50, 50);
    QTest::newRow("horizontal stroke") << QPointF(120, 50);
    QTest::newRow("vertical stroke") << QPointF(50, 10);
  }

  void aClickWithoutAreaKeepsTheRectangle() {
    QFETCH(QPointF, release);
    FrameGeometry g;
    g.ShowStored(10, 20, 100, 80);
    g.BeginDrag(50, 50, 300, 200);
    g.EndDrag(release.x(), release.y());
    QCOMPARE(AsRect(g.EditRect()), QRect(10, 20, 100, 80));
    QCOMPARE(AsRect(g.ViewRect()), QRect(10, 20, 100, 80));
  }

  // Zoom buttons pressed in order after loading a picture (the rectangle then covers it at
  // display size, whatever the zoom).
  void zoomButtons_data() {
    QTest::addColumn<QSize>("pictureSize");
    QTest::addColumn<QList<int>>("buttons");
    QTest::addColumn<QRect>("edit");
    QTest::addColumn<QRect>("stored");

    const QSize picture(300, 200);
    QTest::newRow("loaded at 100") << picture << QList<int>{} << QRect(0, 0, 300, 200) << QRect(0, 0, 300, 200);
    QTest::newRow("x4 at 100") << picture << QList<int>{400} << QRect(0, 0, 1200, 800) << QRect(0, 0, 300, 200);
    QTest::newRow("x2 keeps display coordinates")
        << picture << QList<int>{200} << QRect(0, 0, 300, 200) << QRect(0, 0, 150, 100);
    QTest::newRow("x4 from 200 still grows four times")
        << picture << QList<int>{200, 400} << QRect(0, 0, 1200, 800) << QRect(0, 0, 300, 200);
    QTest::newRow("x4 twice") << picture << QList<int>{400, 400} << QRect(0, 0, 4800, 3200)
                              << QRect(0, 0, 1200, 800);
    QTest::newRow("x3 rounds thirds") << picture << QList<int>{300} << QRect(0, 0, 300, 200)
                                      << QRect(0, 0, 100, 67);
    QTest::newRow("x4 then x1 keeps the grown rectangle")
        << picture << QList<int>{400, 100} << QRect(0, 0, 1200, 800) << QRect(0, 0, 1200, 800);
    QTest::newRow("x4 beyond 16 bits clamps")
        << QSize(20000, 10000) << QList<int>{400} << QRect(0, 0, 32767, 32767) << QRect(0, 0, 8192, 8192);
    QTest::newRow("a picture wider than 16 bits") << QSize(40000, 50) << QList<int>{} << QRect(0, 0, 32767, 50)
                                                  << QRect(0, 0, 32767, 50);
  }

  void zoomButtons() {
    QFETCH(QSize, pictureSize);
    QFETCH(QList<int>, buttons);
    QFETCH(QRect, edit);
    QFETCH(QRect, stored);

    FrameGeometry g;
    g.Loaded(pictureSize.width(), pictureSize.height());
    for (int zoom : buttons) g.SetZoom(zoom);
    QCOMPARE(AsRect(g.EditRect()), edit);
    QCOMPARE(AsRect(g.PictureRect()), stored);
  }

  void loadingAtAZoomSetsThePictureSizeInDisplayPixels() {
    FrameGeometry g;
    g.SetZoom(200);
    g.Loaded(300, 200);
    QCOMPARE(g.ZoomPercent(), 200);
    QCOMPARE(AsRect(g.EditRect()), QRect(0, 0, 300, 200));
    QCOMPARE(AsRect(g.PictureRect()), QRect(0, 0, 150, 100));
  }

  void storedFrameRoundTrips() {
    FrameGeometry g;
    g.SetZoom(300);
    g.SetSelectionOn(false);
    g.ShowStored(10, 20, 100, 80);
    QCOMPARE(g.ZoomPercent(), 100);
    QVERIFY(g.SelectionOn());
    QCOMPARE(AsRect(g.PictureRect()), QRect(10, 20, 100, 80));
  }

  void foldClampsSumsAndNegations() {
    using mirelo::frames::Fold;
    QCOMPARE(AsRect(Fold(0, 0, -32768, -32768)), QRect(-32768, -32768, 32767, 32767));
    QCOMPARE(AsRect(Fold(-30000, 5, -10000, 10)), QRect(-32768, 5, 10000, 10));
    QCOMPARE(AsRect(Fold(1e9, -1e9, 2.5, 3.5)), QRect(32767, -32768, 2, 4));
    QCOMPARE(mirelo::frames::ClampToInt16(std::nan("")), 0);
  }

  void displayAndPictureCoordinates() {
    FrameGeometry g;
    for (int zoom : {100, 200, 300, 400}) {
      g.SetZoom(zoom);
      QCOMPARE(g.ToDisplay(75), 75.0 * zoom / 100);
      QCOMPARE(g.ToPicture(g.ToDisplay(75)), 75.0);
    }
    g.SetZoom(50);  // only the four zooms exist
    QCOMPARE(g.ZoomPercent(), 100);
  }
};

QTEST_GUILESS_MAIN(FrameGeometryTest)
#include "frame_geometry_test.moc"
