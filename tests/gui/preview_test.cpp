// The selection handler and the player through the window: still previews and their sizes, the
// failure messages, clips opened paused at their scene, the slider, frame steps, mute, and the
// player showing the frame the batch captures.

#include <algorithm>
#include <chrono>
#include <future>
#include <thread>

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QtTest>

#include <cmath>

#include "app/window/image_view.h"
#include "filelist/file_list_panel.h"
#include "list_fixtures.h"
#include "platform/video/frame_capture.h"
#include "platform/video/video_errors.h"
#include "support/temp_dir.h"
#include "window_harness.h"

using mirelo::testing::ClickEntry;
using mirelo::testing::DropFiles;
using mirelo::testing::Text;
using mirelo::testing::WaitForFrame;
using mirelo::testing::WindowHarness;
namespace fs = std::filesystem;

namespace {

// Drops one file and waits for its clip (if any) to show.
bool DropAndShow(mirelo::window::MainWindow& w, const fs::path& file) {
  const auto before = w.Preview().VideoUsable() ? w.Preview().Player().SeeksDone() : 0;
  DropFiles(w, {file});
  return !w.Preview().VideoUsable() || WaitForFrame(w.Preview(), before);
}

}  // namespace

class PreviewTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { mirelo::window::ApplyDesktopFont(); }

  void stillShowsItsFullSize_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("jpeg") << QStringLiteral(u"a.jpg") << 640 << 480;
    QTest::newRow("large jpeg shrunk while decoding") << QStringLiteral(u"big.jpg") << 4000 << 3000;
    QTest::newRow("png") << QStringLiteral(u"b.png") << 33 << 999;
    QTest::newRow("bmp") << QStringLiteral(u"c.bmp") << 1 << 1;
    QTest::newRow("tiff") << QStringLiteral(u"d.tif") << 300 << 20;
  }

  void stillShowsItsFullSize() {
    QFETCH(QString, name);
    QFETCH(int, width);
    QFETCH(int, height);
    mirelo::test::TempDir dir;
    WindowHarness h;
    auto& w = h.Start();
    DropFiles(w, {mirelo::testing::MakePicture(dir / name.toStdString(), width, height)});
    const auto& c = w.Controls();
    QCOMPARE(c.Lb_s_size->text(), QStringLiteral(u" %1x %2").arg(width).arg(height));
    QVERIFY(c.Lb_s_size->isEnabled());
    QVERIFY(c.LEAD1->HasImage());
    QVERIFY(!c.V_Play->isEnabled());
    QVERIFY(h.shell.errors.isEmpty());
  }

  // Clicks faster than the decoder: a pass whose entry is no longer current shows nothing, not
  // even its failure; one that stays current ends with its picture or its message.
  void fastClicksShowTheCurrentEntryOnly_data() {
    QTest::addColumn<bool>("slowFails");
    QTest::addColumn<bool>("fastClickAfter");
    QTest::newRow("slow picture, then a fast one") << false << true;
    QTest::newRow("slow failure, then a fast picture") << true << true;
    QTest::newRow("slow failure that stays current") << true << false;
  }

  void fastClicksShowTheCurrentEntryOnly() {
    QFETCH(bool, slowFails);
    QFETCH(bool, fastClickAfter);
    mirelo::test::TempDir dir;
    const fs::path fast = mirelo::testing::MakePicture(dir / "fast.png", 40, 30);
    const fs::path slow = slowFails ? mirelo::testing::MakeText(dir / "slow.bmp")
                                    : mirelo::testing::MakePicture(dir / "slow.png", 64, 48);
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    DropFiles(w, {fast, slow, mirelo::testing::MakePicture(dir / "last.png", 20, 20)});
    h.shell.errors.clear();
    // The slow file's decode waits until the test lets it go.
    struct Gate {
      std::promise<void> promise;
      std::shared_future<void> future = promise.get_future().share();
      bool open = false;
      void Open() {
        if (!std::exchange(open, true)) promise.set_value();
      }
      ~Gate() { Open(); }  // before the window joins its decoding threads
    } gate;
    w.Preview().Loader().beforeDecode = [future = gate.future, slow](const std::string& path) {
      if (path == slow.string()) future.wait();
    };
    const auto click = [&](int row) {
      w.FileList().SetCurrent(row);
      w.Preview().List1_Click();
    };
    QTest::qWait(120);  // no key repeat since the drop's own pass: the box empties at once
    click(1);
    QVERIFY(w.Preview().StillPending());
    // Until the decode ends the label is empty, and a failure leaves it so (not the size of the
    // picture shown before).
    QCOMPARE(c.Lb_s_size->text(), QString());
    QVERIFY(!c.LEAD1->HasImage());
    if (fastClickAfter) {
      click(0);
      QTRY_VERIFY(!w.Preview().StillPending());
      QCOMPARE(c.Lb_s_size->text(), QStringLiteral(u" 40x 30"));
    }
    QVERIFY(h.shell.errors.isEmpty());
    gate.Open();
    QTRY_VERIFY(!w.Preview().StillsBusy());
    QCoreApplication::processEvents();
    if (fastClickAfter) {
      QVERIFY(h.shell.errors.isEmpty());
      QCOMPARE(c.Lb_s_size->text(), QStringLiteral(u" 40x 30"));
      QVERIFY(c.LEAD1->HasImage());
    } else {
      QCOMPARE(h.shell.errors, QStringList{Text(slow) + QStringLiteral(u" のファイルフォーマットが不正です。")});
      QCOMPARE(c.Lb_s_size->text(), QString());
      QVERIFY(!c.LEAD1->HasImage());
    }
  }

  void aPictureChangedAfterItsReadAheadIsShownAsItIsNow() {
    mirelo::test::TempDir dir;
    const fs::path next = mirelo::testing::MakePicture(dir / "next.png", 40, 30);
    WindowHarness h;
    auto& w = h.Start();
    DropFiles(w, {mirelo::testing::MakePicture(dir / "first.png", 20, 20), next,
                  mirelo::testing::MakePicture(dir / "last.png", 20, 20)});
    mirelo::testing::ClickEntry(w, 0);
    QVERIFY(w.Preview().Loader().Find(next.string(), w.Preview().StillBox()));  // decoded ahead
    mirelo::testing::MakePicture(next, 50, 20);
    mirelo::testing::ClickEntry(w, 1);
    QCOMPARE(w.Controls().Lb_s_size->text(), QStringLiteral(u" 50x 20"));
  }

  // A held arrow or page key over photos slower to decode than the key repeats: the photos the
  // selection will reach are decoded ahead of it, so some are shown as their entries become
  // current; the label never names another entry, and the box keeps its last picture between
  // repeating steps.
  void heldKeyShowsPhotosAsTheSelectionReachesThem_data() {
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("count");
    QTest::newRow("arrow key") << 1 << 20;
    QTest::newRow("page key, three rows a step") << 3 << 40;
  }

  void heldKeyShowsPhotosAsTheSelectionReachesThem() {
    QFETCH(int, step);
    QFETCH(int, count);
    mirelo::test::TempDir dir;
    std::vector<fs::path> photos;
    for (int i = 0; i < count; ++i) {
      photos.push_back(mirelo::testing::MakePicture(dir / ("p" + std::to_string(i) + ".png"), 40 + i, 30));
    }
    const auto caption = [](int row) { return QStringLiteral(u" %1x 30").arg(40 + row); };
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    DropFiles(w, photos);
    mirelo::testing::ClickEntry(w, 0);
    QCOMPARE(c.Lb_s_size->text(), caption(0));
    w.Preview().Loader().beforeDecode = [](const std::string&) {
      std::this_thread::sleep_for(std::chrono::milliseconds(60));
    };
    QTest::qWait(120);
    int shownOnTheirStep = 0;
    QElapsedTimer sincePass;
    int last = 0;
    for (int row = step; row < count; row += step) {
      last = row;
      const bool hadPicture = c.LEAD1->HasImage();
      // The window counts from the start of its last pass, a little earlier than this.
      const bool repeats = sincePass.isValid() && sincePass.elapsed() < 60;
      w.FileList().SetCurrent(row);
      w.Preview().List1_Click();
      sincePass.start();
      if (repeats && hadPicture) QVERIFY(c.LEAD1->HasImage());
      QTest::qWait(25);
      const QString label = c.Lb_s_size->text();
      if (label.isEmpty()) continue;
      QCOMPARE(label, caption(row));
      QVERIFY(c.LEAD1->HasImage());
      if (row > step) ++shownOnTheirStep;
    }
    QVERIFY(shownOnTheirStep > 0);
    // The key let go: the last entry's own picture.
    QVERIFY(mirelo::testing::WaitForPreview(w.Preview()));
    QCOMPARE(c.Lb_s_size->text(), caption(last));
    QVERIFY(c.LEAD1->HasImage());
    QVERIFY(h.shell.errors.isEmpty());
  }

  void uncheckedEntriesShowNothingButCanStart() {
    mirelo::test::TempDir dir;
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    DropFiles(w, {mirelo::testing::MakePicture(dir / "a.jpg", 20, 20), mirelo::testing::MakeClip(dir / "v.avi", 1.0)});
    w.FileList().SetSelected(0, false);
    w.FileList().SetSelected(1, false);
    for (int entry : {0, 1}) {
      ClickEntry(w, entry);
      QVERIFY(!c.LEAD1->HasImage());
      QCOMPARE(c.Lb_s_size->text(), QString());
      QVERIFY(!c.V_Play->isEnabled());
      QVERIFY(!w.Preview().VideoUsable());
      QVERIFY(c.Bt_Go->isEnabled());
    }
  }

  void failuresGiveTheirMessages_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("tail");  // after the path, or the whole text when it starts with "Error"
    QTest::addColumn<bool>("deselected");
    // A clip's open enables the player before it fails, and the failure leaves it so.
    QTest::addColumn<bool>("playerEnabled");
    const QString badFormat = QStringLiteral(u" のファイルフォーマットが不正です。");
    const QString badClip =
        QStringLiteral(u" は正しいビデオフォーマットでないか、再生に必要なコーデックがインストールされていません。(-2147220891)");
    QTest::newRow("text named .bmp") << QStringLiteral(u"t.bmp") << QStringLiteral(u"hello") << badFormat << false << false;
    QTest::newRow("empty jpeg") << QStringLiteral(u"e.jpg") << QStringLiteral(u"") << badFormat << false << false;
    QTest::newRow("text named .heic") << QStringLiteral(u"t.HEIC") << QStringLiteral(u"hello") << badFormat << false << false;
    QTest::newRow("text named .avi") << QStringLiteral(u"t.avi") << QStringLiteral(u"hello") << badClip << true << true;
    QTest::newRow("text named .mp4") << QStringLiteral(u"t.mp4") << QStringLiteral(u"hello") << badClip << true << true;
    QTest::newRow("playlist named .mpg")
        << QStringLiteral(u"p.mpg") << QStringLiteral(u"#EXTM3U\nfile:///etc/passwd\n") << badClip << true << true;
  }

  void failuresGiveTheirMessages() {
    QFETCH(QString, name);
    QFETCH(QString, content);
    QFETCH(QString, tail);
    QFETCH(bool, deselected);
    QFETCH(bool, playerEnabled);
    mirelo::test::TempDir dir;
    const fs::path file = mirelo::testing::MakeText(dir / name.toStdString(), content.toStdString());
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    DropFiles(w, {file});
    QTest::qWait(20);  // a click the deselection might have queued would run here
    QCOMPARE(h.shell.errors, QStringList{Text(file) + tail});
    QCOMPARE(c.List1->item(0)->checkState(), deselected ? Qt::Unchecked : Qt::Checked);
    QCOMPARE(c.Lb_s_size->text(), QString());
    QVERIFY(c.Bt_Go->isEnabled());
    for (QWidget* control : {static_cast<QWidget*>(c.V_Play), static_cast<QWidget*>(c.SL1),
                             static_cast<QWidget*>(c.Chk_Mute), static_cast<QWidget*>(c.Bt_Select)}) {
      QCOMPARE(control->isEnabled(), playerEnabled);
    }
  }

  void clipOpensPausedWithItsSizeAndShape_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("copyArgs");  // a stream-copy pass that sets what players apply
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("viewHeight");  // held to the room above the player's buttons
    QTest::newRow("stored size") << QStringLiteral(u"v.avi") << QString() << QStringLiteral(u" 320x 240") << 150;
    QTest::newRow("16:9 display aspect") << QStringLiteral(u"a.mkv") << QStringLiteral(u"-aspect 16:9")
                                         << QStringLiteral(u" 426x 240") << 113;
    QTest::newRow("phone clip turned") << QStringLiteral(u"t.mov") << QStringLiteral(u"-metadata:s:v:0 rotate=90")
                                       << QStringLiteral(u" 240x 320") << 267;
  }

  void clipOpensPausedWithItsSizeAndShape() {
    QFETCH(QString, name);
    QFETCH(QString, copyArgs);
    QFETCH(QString, label);
    QFETCH(int, viewHeight);
    mirelo::test::TempDir dir;
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    fs::path clip = mirelo::testing::MakeClip(dir / "v.avi", 3.0);
    if (!copyArgs.isEmpty()) {
      const fs::path stored = clip;
      clip = dir / name.toStdString();
      mirelo::test::RunFfmpeg("-i '" + stored.string() + "' -c copy " + copyArgs.toStdString() + " '" +
                              clip.string() + "'");
    }
    QVERIFY(DropAndShow(w, clip));
    QCOMPARE(c.Lb_v_size->text(), label);
    QCOMPARE(w.Preview().View()->size(), QSize(200, std::min(viewHeight, c.V_Stop->y() - c.Shape1->y() - 2)));
    QVERIFY(w.Preview().View()->isVisible() || !w.isVisible());
    QCOMPARE(c.SL1->maximum(), 3);
    QCOMPARE(c.SL1->value(), 0);
    for (QWidget* control : {static_cast<QWidget*>(c.V_Play), static_cast<QWidget*>(c.V_PF),
                             static_cast<QWidget*>(c.SL1), static_cast<QWidget*>(c.Bt_Select),
                             static_cast<QWidget*>(c.Chk_Mute)}) {
      QVERIFY(control->isEnabled());
    }
    QCOMPARE(w.Preview().IsPlaying, std::int16_t{0});
    QCOMPARE(w.Preview().FrameStep, 0.04);
  }

  void sliderLimitsFollowTheDuration_data() {
    QTest::addColumn<double>("seconds");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("ticks");
    QTest::newRow("0.4 s") << 0.4 << 0 << 0;
    QTest::newRow("2.5 s, half to even") << 2.5 << 2 << 0;
    QTest::newRow("26 s") << 26.0 << 26 << 3;
  }

  void sliderLimitsFollowTheDuration() {
    QFETCH(double, seconds);
    QFETCH(int, maximum);
    QFETCH(int, ticks);
    mirelo::test::TempDir dir;
    WindowHarness h;
    auto& w = h.Start();
    // Without sound, so the container's length is the video's; 10 frames a second hit 2.5 s.
    QVERIFY(DropAndShow(w, mirelo::testing::MakeClip(dir / "v.avi", seconds, 64, 48, false, 10)));
    QCOMPARE(w.Controls().SL1->maximum(), maximum);
    QCOMPARE(w.Controls().SL1->tickInterval(), ticks);
    QVERIFY(!w.Controls().Chk_Mute->isEnabled());  // nothing to mute
  }

  void sceneIsStoredAndReopenedAtTheSameFrame() {
    mirelo::test::TempDir dir;
    const fs::path clip = mirelo::test::MakeCounterClip(dir.path(), {"c.avi", "-c:v mpeg4 -q:v 2 -g 100 -bf 2", ""});
    const fs::path other = mirelo::testing::MakePicture(dir / "other.png", 20, 20);
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    DropFiles(w, {other});
    QVERIFY(DropAndShow(w, clip));
    auto& preview = w.Preview();
    QCOMPARE(mirelo::testing::ShownCounter(preview), 0);

    // To 12 s with the slider, then three frames on and one back.
    auto seeks = preview.Player().SeeksDone();
    c.SL1->triggerAction(QAbstractSlider::SliderPageStepAdd);  // 10 s
    c.SL1->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    c.SL1->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QTRY_COMPARE(c.SL1->value(), 12);
    QVERIFY(WaitForFrame(preview, seeks));
    QTRY_COMPARE(mirelo::testing::ShownCounter(preview), 300);
    for (int step = 0; step < 3; ++step) {
      seeks = preview.Player().SeeksDone();
      QTest::mouseClick(c.V_PF, Qt::LeftButton);
      QVERIFY(WaitForFrame(preview, seeks));
    }
    seeks = preview.Player().SeeksDone();
    QTest::mouseClick(c.V_PR, Qt::LeftButton);
    QVERIFY(WaitForFrame(preview, seeks));
    QTRY_COMPARE(mirelo::testing::ShownCounter(preview), 302);
    QCOMPARE(c.SL1->value(), 12);  // steps leave the slider alone

    QTest::mouseClick(c.Bt_Select, Qt::LeftButton);
    QCOMPARE(c.List2->item(1)->text(), QStringLiteral(u" 12.08"));

    ClickEntry(w, 0);
    QVERIFY(!preview.VideoUsable());
    seeks = preview.Player().SeeksDone();
    ClickEntry(w, 1);
    QVERIFY(WaitForFrame(preview, seeks));
    QTRY_COMPARE(mirelo::testing::ShownCounter(preview), 302);
    QCOMPARE(c.SL1->value(), 12);

    // The batch takes the whole second of the scene: the frame the player shows at 12 s.
    QCOMPARE(mirelo::test::CounterIndex(mirelo::video::CaptureFrame(clip, 12.0)), 300);
  }

  // With AutoScene a clip without a scene opens paused at the frame the run will take, past its
  // black leader; its scene stays unchosen, and without the option it opens at its start.
  void clipWithoutASceneOpensAtItsAutoScene() {
    mirelo::test::TempDir dir;
    const fs::path clip = dir / "leader.mp4";
    mirelo::test::RunFfmpeg("-f lavfi -i 'color=black:s=64x48:r=10:d=2[a];testsrc=size=64x48:rate=10:duration=28[b];"
                            "[a][b]concat=n=2:v=1:a=0' -c:v libx264 -pix_fmt yuv420p '" + clip.string() + "'");
    const double expected = mirelo::video::AutoScenePosition(clip);
    QVERIFY(expected > 1.9 && expected < 2.1);
    const fs::path other = mirelo::testing::MakePicture(dir / "other.png", 20, 20);
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    QVERIFY(DropAndShow(w, clip));
    QTRY_VERIFY(std::abs(w.Preview().Player().Position()) < 0.01);
    QCOMPARE(c.SL1->value(), 0);
    // The same player opens it again, now with the option.
    w.Settings().AutoScene = 1;
    DropFiles(w, {other});
    const auto seeks = w.Preview().Player().SeeksDone();
    ClickEntry(w, 0);
    QVERIFY(mirelo::testing::WaitForFrame(w.Preview(), seeks));
    QTRY_VERIFY(std::abs(w.Preview().Player().Position() - expected) < 0.01);
    QCOMPARE(c.SL1->value(), 2);
    QCOMPARE(c.List2->item(0)->text(), QString());
  }

  void stopAndStepsStayInsideTheClip() {
    mirelo::test::TempDir dir;
    const fs::path clip = mirelo::test::MakeCounterClip(dir.path(), {"c.avi", "-c:v mpeg4 -q:v 2", ""});
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    QVERIFY(DropAndShow(w, clip));
    auto& preview = w.Preview();
    auto seeks = preview.Player().SeeksDone();
    QTest::mouseClick(c.V_PR, Qt::LeftButton);  // at 0 it stays at 0
    QVERIFY(WaitForFrame(preview, seeks));
    QCOMPARE(mirelo::testing::ShownCounter(preview), 0);

    c.List2->item(0)->setText(QStringLiteral(u" 15"));
    seeks = preview.Player().SeeksDone();
    w.Preview().List1_Click();
    QVERIFY(WaitForFrame(preview, seeks));
    seeks = preview.Player().SeeksDone();
    QTest::mouseClick(c.V_PF, Qt::LeftButton);  // at the end it stays on the last frame
    QVERIFY(WaitForFrame(preview, seeks));
    QTRY_COMPARE(mirelo::testing::ShownCounter(preview), mirelo::test::kClipFrames - 1);

    seeks = preview.Player().SeeksDone();
    QTest::mouseClick(c.V_Stop, Qt::LeftButton);
    QVERIFY(WaitForFrame(preview, seeks));
    QTRY_COMPARE(mirelo::testing::ShownCounter(preview), 0);
    QCOMPARE(c.SL1->value(), 0);
  }

  void playMovesTheSliderOnceASecond() {
    mirelo::test::TempDir dir;
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    QVERIFY(DropAndShow(w, mirelo::testing::MakeClip(dir / "v.avi", 8.0, 64, 48)));
    QTest::mouseClick(c.V_Play, Qt::LeftButton);
    QCOMPARE(w.Preview().IsPlaying, std::int16_t{-1});
    QTRY_VERIFY_WITH_TIMEOUT(c.SL1->value() >= 2, 8000);
    QTest::mouseClick(c.V_Pause, Qt::LeftButton);
    QCOMPARE(w.Preview().IsPlaying, std::int16_t{0});
    const int paused = c.SL1->value();
    QTest::qWait(1300);
    QCOMPARE(c.SL1->value(), paused);
  }

  void muteKeepsTheVolumeOfEachNewClip() {
    mirelo::test::TempDir dir;
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    QVERIFY(DropAndShow(w, mirelo::testing::MakeClip(dir / "a.avi", 1.0, 64, 48)));
    auto& player = w.Preview().Player();
    player.SetVolume(-600);  // the user's volume for this clip
    QTest::mouseClick(c.Chk_Mute, Qt::LeftButton);
    QVERIFY(c.Chk_Mute->isChecked());
    QCOMPARE(w.SavedVolume, std::int16_t{-600});
    QCOMPARE(player.Volume(), -10000);
    // A new clip starts at full volume; mute applies to it at once and remembers that volume.
    QVERIFY(DropAndShow(w, mirelo::testing::MakeClip(dir / "b.avi", 1.0, 64, 48)));
    QCOMPARE(player.Volume(), -10000);
    QCOMPARE(w.SavedVolume, std::int16_t{0});
    QTest::mouseClick(c.Chk_Mute, Qt::LeftButton);
    QCOMPARE(player.Volume(), 0);
  }

  void playerButtonsWithoutAClipDoNothing() {
    mirelo::test::TempDir dir;
    WindowHarness h;
    auto& w = h.Start();
    const auto& c = w.Controls();
    DropFiles(w, {mirelo::testing::MakeText(dir / "t.avi")});  // opening failed after the player was enabled
    QVERIFY(c.V_Play->isEnabled());
    for (QPushButton* button : {c.V_Play, c.V_Pause, c.V_Stop, c.V_PF, c.V_PR, c.Bt_Select}) {
      QTest::mouseClick(button, Qt::LeftButton);
    }
    QTest::mouseClick(c.Chk_Mute, Qt::LeftButton);
    c.SL1->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCoreApplication::processEvents();
    QCOMPARE(c.List2->item(0)->text(), QString());
    QCOMPARE(w.Preview().IsPlaying, std::int16_t{0});
  }
};

QTEST_MAIN(PreviewTest)
#include "preview_test.moc"
