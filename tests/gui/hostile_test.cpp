// Hostile files through the window: truncated and empty stills of every format, headers that
// claim enormous pictures, a decompression bomb, text and random bytes under media names, clips
// cut short or with a frame rate or duration of 0 or none, and an audio-only clip. Each is
// dropped on the list (the selection handler previews it), opened in the player and worked
// (play, steps, seek, stop), loaded in the frame editor, and finally the whole set goes through
// mirelo-batch. Every failure gives its message, nothing hangs, and the window still previews a
// good picture afterwards. Built with the sanitizers by the asan preset.

#include <QCheckBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QtTest>

#include <array>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>

#include "app/thumb_settings.h"
#include "app/window/image_view.h"
#include "fake_shell.h"
#include "filelist/file_list_panel.h"
#include "frames/frame_editor.h"
#include "list_fixtures.h"
#include "platform/error.h"
#include "platform/imaging/codecs.h"
#include "platform/imaging/raw_decoder.h"
#include "support/magick.h"
#include "support/temp_dir.h"
#include "window_harness.h"

using mirelo::testing::DropFiles;
using mirelo::testing::Text;
using mirelo::testing::WindowHarness;
namespace fs = std::filesystem;

namespace {

const QString kBadFormat = QStringLiteral(u" のファイルフォーマットが不正です。");
const QString kUnreadable = QStringLiteral(u" は読み込めません。");
const QString kBadVideo = QStringLiteral(
    u" は正しいビデオフォーマットでないか、再生に必要なコーデックがインストールされていません。(");

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

fs::path Write(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

void Put16(std::string& s, std::size_t at, unsigned v, bool big) {
  s[at] = static_cast<char>(big ? v >> 8 : v);
  s[at + 1] = static_cast<char>(big ? v : v >> 8);
}

void Put32(std::string& s, std::size_t at, std::uint32_t v, bool big) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(v >> (big ? 24 - 8 * i : 8 * i));
}

std::uint32_t Crc32(const char* data, std::size_t size) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= static_cast<std::uint8_t>(data[i]);
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

std::string PngChunk(const char* type, const std::string& data) {
  std::string chunk(4, '\0');
  Put32(chunk, 0, static_cast<std::uint32_t>(data.size()), true);
  chunk += type;
  chunk += data;
  std::string tail(4, '\0');
  Put32(tail, 0, Crc32(chunk.data() + 4, chunk.size() - 4), true);
  return chunk + tail;
}

// A PNG whose header claims width x height (1-bit grey) with `idat` as its picture data.
std::string Png(std::uint32_t width, std::uint32_t height, const std::string& idat) {
  std::string ihdr(13, '\0');
  Put32(ihdr, 0, width, true);
  Put32(ihdr, 4, height, true);
  ihdr[8] = 1;  // bit depth; colour type 0 (grey)
  return std::string("\x89PNG\r\n\x1a\n", 8) + PngChunk("IHDR", ihdr) + PngChunk("IDAT", idat) +
         PngChunk("IEND", "");
}

// 20000 x 20000 one-bit rows of zeros: 50 MB of picture data deflated to a few tens of KB.
std::string PngBomb() {
  const int side = 20000;
  const QByteArray raw(static_cast<qsizetype>(side / 8 + 1) * side, '\0');
  const QByteArray packed = qCompress(raw, 9).mid(4);  // drop Qt's length prefix: a zlib stream
  return Png(side, side, packed.toStdString());
}

std::string Bmp(std::int32_t width, std::int32_t height) {
  std::string s(54, '\0');
  s[0] = 'B';
  s[1] = 'M';
  Put32(s, 2, 54, false);
  Put32(s, 10, 54, false);
  Put32(s, 14, 40, false);
  Put32(s, 18, static_cast<std::uint32_t>(width), false);
  Put32(s, 22, static_cast<std::uint32_t>(height), false);
  Put16(s, 26, 1, false);
  Put16(s, 28, 24, false);
  return s;
}

// A baseline little-endian RGB TIFF header of width x height with one strip of 3 bytes.
std::string Tiff(std::uint32_t width, std::uint32_t height) {
  struct Tag {
    std::uint16_t id, type;
    std::uint32_t value;
  };
  const std::array<Tag, 9> tags{{{256, 4, width},
                                 {257, 4, height},
                                 {258, 3, 8},
                                 {259, 3, 1},
                                 {262, 3, 2},
                                 {273, 4, 8},
                                 {277, 3, 3},
                                 {278, 4, height},
                                 {279, 4, 3}}};
  std::string s("II*\0", 4);
  s += std::string(4, '\0');
  s += std::string(3, '\x7f');  // the strip
  s += '\0';
  Put32(s, 4, static_cast<std::uint32_t>(s.size()), false);
  std::string ifd(2 + tags.size() * 12 + 4, '\0');
  Put16(ifd, 0, tags.size(), false);
  for (std::size_t i = 0; i < tags.size(); ++i) {
    Put16(ifd, 2 + i * 12, tags[i].id, false);
    Put16(ifd, 4 + i * 12, tags[i].type, false);
    Put32(ifd, 6 + i * 12, 1, false);
    if (tags[i].type == 3)
      Put16(ifd, 10 + i * 12, tags[i].value, false);
    else
      Put32(ifd, 10 + i * 12, tags[i].value, false);
  }
  return s + ifd;
}

// Sets every frame size field of a small JPEG (SOFn) to side x side.
std::string PatchJpeg(std::string s, unsigned side) {
  for (std::size_t i = 2; i + 9 < s.size(); ++i) {
    const auto m = static_cast<std::uint8_t>(s[i + 1]);
    if (static_cast<std::uint8_t>(s[i]) == 0xFF && m >= 0xC0 && m <= 0xC2) {
      Put16(s, i + 5, side, true);
      Put16(s, i + 7, side, true);
    }
  }
  return s;
}

// Sets the logical screen and the first image of a small GIF to side x side.
std::string PatchGif(std::string s, unsigned side) {
  Put16(s, 6, side, false);
  Put16(s, 8, side, false);
  const std::size_t image = s.find(',', 13);
  if (image != std::string::npos && image + 9 < s.size()) {
    Put16(s, image + 5, side, false);
    Put16(s, image + 7, side, false);
  }
  return s;
}

// Sets the picture frame, the header's source rectangle and the pixel map bounds of a small
// 64 x 48 PICT to side x side (every bottom-right corner of 48, 64 in its header part).
std::string PatchPict(std::string s, unsigned side) {
  const std::string corner("\x00\x30\x00\x40", 4);
  for (std::size_t at = s.find(corner, 512); at != std::string::npos && at < 512 + 96;
       at = s.find(corner, at + 4)) {
    Put16(s, at, side, true);
    Put16(s, at + 2, side, true);
  }
  return s;
}

// An AVI with its stream header's rate, or its frame counts, set to 0.
std::string PatchAvi(std::string s, bool rate) {
  const std::size_t avih = s.find("avih");
  const std::size_t strh = s.find("strh");
  if (avih == std::string::npos || strh == std::string::npos) throw std::runtime_error("no AVI headers");
  if (rate) {
    Put32(s, avih + 8, 0, false);       // microseconds per frame
    Put32(s, strh + 8 + 24, 0, false);  // rate (scale stays)
  } else {
    Put32(s, avih + 8 + 16, 0, false);  // total frames
    Put32(s, strh + 8 + 32, 0, false);  // length
  }
  return s;
}

struct Hostile {
  fs::path file;
  bool clip = false;  // a video name: the player is opened
};

// The hostile set, made in `dir`.
std::vector<Hostile> MakeHostileSet(const fs::path& dir) {
  std::vector<Hostile> set;
  const auto add = [&](const fs::path& file, bool clip = false) { set.push_back({file, clip}); };

  for (const char* ext : {"bmp", "jpg", "gif", "png", "tif", "pct"}) {
    const fs::path good = mirelo::testing::MakePicture(dir / (std::string("good.") + ext), 64, 48);
    const std::string bytes = ReadAll(good);
    add(Write(dir / (std::string("half.") + ext), bytes.substr(0, bytes.size() / 2)));
    add(Write(dir / (std::string("empty.") + ext), ""));
    if (std::string_view(ext) == "jpg") add(Write(dir / "huge.jpg", PatchJpeg(bytes, 65000)));
    if (std::string_view(ext) == "gif") add(Write(dir / "huge.gif", PatchGif(bytes, 65535)));
    if (std::string_view(ext) == "pct") add(Write(dir / "huge.pct", PatchPict(bytes, 16000)));
    fs::remove(good);
  }
  add(Write(dir / "huge.png", Png(100000, 100000, "")));
  add(Write(dir / "huge.bmp", Bmp(100000, 100000)));
  add(Write(dir / "huge.tif", Tiff(100000, 100000)));
  add(Write(dir / "bomb.png", PngBomb()));
  add(mirelo::testing::MakeText(dir / "text.bmp"));

  // Today's stills from their own encoders: cut, empty, a size beyond the limits, and a clip
  // under a picture's name.
  const fs::path seed = mirelo::testing::MakePicture(dir / "seed.png", 64, 48);
  const std::vector<std::pair<std::string, std::string>> encoders = {
      {"heic", "heif-enc -q 50 -o OUT IN"}, {"avif", "avifenc -s 10 IN OUT"},
      {"webp", "cwebp -quiet IN -o OUT"},   {"jxl", "cjxl IN OUT --quiet"}};
  std::string heic;
  for (const auto& [ext, command] : encoders) {
    const fs::path out = dir / ("good." + ext);
    std::string line = command;
    line.replace(line.find("OUT"), 3, "'" + out.string() + "'");
    line.replace(line.find("IN"), 2, "'" + seed.string() + "'");
    if (std::system((line + " >/dev/null 2>&1").c_str()) != 0) throw std::runtime_error("encoder: " + line);
    const std::string bytes = ReadAll(out);
    if (ext == "heic") heic = bytes;
    add(Write(dir / ("half." + ext), bytes.substr(0, bytes.size() / 2)));
    add(Write(dir / ("empty." + ext), ""));
    fs::remove(out);
  }
  fs::remove(seed);
  std::string huge = heic;
  for (std::size_t at = huge.find("ispe"); at != std::string::npos; at = huge.find("ispe", at + 4)) {
    Put32(huge, at + 8, 100000, true);
    Put32(huge, at + 12, 100000, true);
  }
  add(Write(dir / "huge.heic", huge));
  add(Write(dir / "text.dng", "II*\0not a camera raw"));
  // A file that made LibRaw 0.20 write past a heap buffer while unpacking its preview.
  const std::string overflow =
      ReadAll(fs::path(MIRELO_SOURCE_DIR) / "tests/platform/imaging/data/fuzz_raw/libraw_unpack_thumb_overflow.dng");
  add(Write(dir / "preview_overflow.dng", overflow));
  add(Write(dir / "preview_overflow.nef", overflow));

  // Today's clips: text, noise and a picture under clip names, a file cut before its index.
  const fs::path mp4 = mirelo::testing::MakeClip(dir / "clip.mp4", 1.0, 64, 48);
  const std::string mp4Bytes = ReadAll(mp4);
  add(Write(dir / "clip.heic", mp4Bytes));
  add(Write(dir / "cut.mp4", mp4Bytes.substr(0, mp4Bytes.size() / 2)), true);
  fs::remove(mp4);
  add(mirelo::testing::MakeText(dir / "text.mp4"), true);
  add(Write(dir / "empty.mov", ""), true);
  add(Write(dir / "photo.mov", heic), true);

  add(mirelo::testing::MakeText(dir / "text.avi"), true);
  std::mt19937 random(11);
  std::string noise(4096, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  add(Write(dir / "noise.flv", noise), true);
  add(Write(dir / "noise.mkv", noise), true);
  add(Write(dir / "noise.ts", noise), true);
  const fs::path clip = mirelo::testing::MakeClip(dir / "clip.avi", 1.0, 64, 48);
  const std::string avi = ReadAll(clip);
  add(Write(dir / "cut.avi", avi.substr(0, avi.find("movi") + 4)), true);
  add(Write(dir / "rate0.avi", PatchAvi(avi, true)), true);
  add(Write(dir / "length0.avi", PatchAvi(avi, false)), true);
  fs::remove(clip);
  // An elementary stream carries neither a duration nor a container frame rate.
  mirelo::test::RunFfmpeg("-f lavfi -i testsrc2=size=64x48:rate=25 -t 1 -c:v mpeg4 -f m4v '" +
                          (dir / "bare.mpg").string() + "'");
  add(dir / "bare.mpg", true);
  mirelo::test::RunFfmpeg("-f lavfi -i sine=frequency=440 -t 1 -c:a mp2 '" + (dir / "audio.avi").string() +
                          "'");
  add(dir / "audio.avi", true);
  return set;
}

// Whether a message is one of the selection handler's failure texts for this file.
bool IsTableMessage(const QString& message, const fs::path& file) {
  const QString path = Text(file);
  if (message == path + kBadFormat || message == path + kUnreadable) return true;
  if (message.startsWith(path + kBadVideo) && message.endsWith(u')')) return true;
  return message.startsWith(QStringLiteral(u"Error code:")) && !message.contains(u'\n');
}

// Runs the event loop until the player has settled (a frame shown, or given up) or `ms` pass.
bool Settle(mirelo::window::MainWindow& w, int ms = 15000) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    auto& preview = w.Preview();
    if (!preview.VideoUsable() || preview.Player().Failed()) return true;
    if (preview.Player().SeeksDone() > 0 && !preview.View()->Frame().isNull()) return true;
  }
  return false;
}

}  // namespace

class HostileTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    mirelo::window::ApplyDesktopFont();
    set_ = MakeHostileSet(dir_.path());
  }

  // Each file on its own: its message, a player that can be worked or stays inert, and a good
  // picture previewed afterwards in the same window.
  void eachFileFailsCleanlyInThePreviewAndPlayer() {
    const fs::path good = mirelo::testing::MakePicture(dir_ / "ok.png", 40, 30);
    for (const Hostile& hostile : set_) {
      const QByteArray name = QFile::encodeName(Text(hostile.file.filename()));
      WindowHarness h;
      auto& w = h.Start();
      const auto& c = w.Controls();
      DropFiles(w, {good, hostile.file});
      QVERIFY2(Settle(w), name);
      // The drop shows its last file; a click shows it again, as the user would.
      // (A clip that failed has lost its check mark by then and shows nothing.)
      mirelo::testing::ClickEntry(w, 1);
      QVERIFY2(Settle(w), name);
      for (const QString& message : h.shell.errors) {
        QVERIFY2(IsTableMessage(message, hostile.file),
                 qPrintable(Text(hostile.file.filename()) + QStringLiteral(u": ") + message));
      }
      qInfo("%s: %s", name.constData(), qPrintable(h.shell.errors.join(u'|')));
      // A clip that cannot be shown says so once, also when libmpv opens it and then stalls.
      if (hostile.clip && !w.Preview().VideoUsable()) QCOMPARE(h.shell.errors.size(), 1);
      if (hostile.clip && w.Preview().VideoUsable()) {
        // A clip that opened: every control works on it and nothing new fails.
        for (QPushButton* button : {c.V_Play, c.V_PF, c.V_PR, c.V_Pause, c.V_Stop}) {
          QTest::mouseClick(button, Qt::LeftButton);
          QVERIFY2(Settle(w), name);
        }
        c.SL1->triggerAction(QAbstractSlider::SliderToMaximum);
        QVERIFY2(Settle(w), name);
        QTest::mouseClick(c.V_PF, Qt::LeftButton);
        QVERIFY2(Settle(w), name);
      }
      const int before = static_cast<int>(h.shell.errors.size());
      mirelo::testing::ClickEntry(w, 0);
      QVERIFY2(Settle(w), name);
      QCOMPARE(h.shell.errors.size(), before);
      QVERIFY2(c.LEAD1->HasImage(), name);
      QCOMPARE(c.Lb_s_size->text(), QStringLiteral(u" 40x 30"));
      QVERIFY(c.Bt_Go->isEnabled());
      // And back to the hostile entry: no hang.
      mirelo::testing::ClickEntry(w, 1);
      QVERIFY2(Settle(w), name);
    }
  }

  // The whole set in one drop, worked through entry by entry.
  void wholeSetInOneDrop() {
    WindowHarness h;
    auto& w = h.Start();
    std::vector<fs::path> files;
    for (const Hostile& hostile : set_) files.push_back(hostile.file);
    DropFiles(w, files);
    QVERIFY(Settle(w));
    QCOMPARE(w.Controls().List1->count(), static_cast<int>(files.size()));
    for (int i = 0; i < static_cast<int>(files.size()); ++i) {
      mirelo::testing::ClickEntry(w, i);
      QVERIFY2(Settle(w), qPrintable(Text(files[static_cast<std::size_t>(i)].filename())));
    }
    QVERIFY(w.Controls().Bt_Go->isEnabled());
  }

  // The frame editor's load of every still: a table message, the earlier picture kept.
  void frameEditorLoadKeepsItsPicture() {
    mirelo::testing::FakeShell shell;
    mirelo::app::ThumbSettings settings;
    std::string frameEditFile = "ERROR";
    const fs::path good = mirelo::testing::MakePicture(dir_ / "frame.png", 120, 80);
    for (const Hostile& hostile : set_) {
      if (hostile.clip) continue;
      shell.errors.clear();
      shell.openAnswers = {Text(good), Text(hostile.file)};
      mirelo::frames::FrameEditor editor(mirelo::app::FrameKind::Still, settings, frameEditFile, shell);
      editor.show();
      QVERIFY(QTest::qWaitFor([&] { return editor.Activated(); }, 5000));
      auto* load = editor.findChild<QPushButton*>(QStringLiteral(u"Bt_Load"));
      load->click();
      load->click();
      const QString path = Text(hostile.file);
      QVERIFY2(shell.errors.size() == 1, qPrintable(path + QStringLiteral(u": ") + shell.errors.join(u'|')));
      const QString& message = shell.errors.front();
      QVERIFY2(
          message == path + kBadFormat || message == path + kUnreadable || message.startsWith(u"Error code:"),
          qPrintable(message));
      QVERIFY(editor.HasPicture());
      QCOMPARE(editor.PictureFile(), good.string());
    }
  }

  // A camera RAW decoder that crashes, hangs past its time or eats memory past its limit costs
  // that file only: its message in the preview, the window goes on, and mirelo-batch ends the
  // run at it as at any damaged file, having written what came before.
  void rawDecoderFaultsStayInItsProcess() {
    struct Fault {
      const char* name;
      const char* script;
      mirelo::imaging::RawDecoderLimits limits;
      const char* why;
    };
    const std::uint64_t mb = 1 << 20;
    const Fault faults[] = {{"crash", "kill -SEGV $$", {}, "crashed"},
                            {"hang", "exec sleep 600", {0, 600, 2}, "took longer than 2 s"},
                            {"memory", "a=x; while :; do a=\"$a$a\"; done", {64 * mb, 600, 60}, "crashed"}};  // the shell faults at its limit
    const fs::path good = mirelo::testing::MakePicture(dir_ / "before.png", 40, 30);
    const fs::path after = mirelo::testing::MakePicture(dir_ / "after.png", 40, 30);
    fs::create_directories(dir_ / "config");
    const fs::path raw = Write(dir_ / "camera.dng", ReadAll(fs::path(MIRELO_SOURCE_DIR) / "fuzz/corpus/fuzz_raw/dng_cfa.dng"));
    for (const Fault& fault : faults) {
      const fs::path script = Write(dir_ / (std::string("decoder_") + fault.name), std::string("#!/bin/sh\n") + fault.script + "\n");
      fs::permissions(script, fs::perms::owner_all);
      mirelo::imaging::SetRawDecoder(script.string(), fault.limits);
      try {
        mirelo::imaging::ReadRaw(mirelo::test::ReadFileBytes(raw), {});
        QFAIL(fault.name);
      } catch (const mirelo::Error& e) {
        QCOMPARE(e.number(), mirelo::err::kInvalidFileFormat);
        QVERIFY2(std::strstr(e.what(), fault.why), e.what());
      }
      WindowHarness h;
      auto& w = h.Start();
      DropFiles(w, {good, raw});
      mirelo::testing::ClickEntry(w, 1);
      QVERIFY(QTest::qWaitFor([&] { return !h.shell.errors.isEmpty(); }, 20000));
      for (const QString& message : h.shell.errors) QCOMPARE(message, Text(raw) + kBadFormat);
      mirelo::testing::ClickEntry(w, 0);
      QVERIFY(QTest::qWaitFor([&] { return w.Controls().LEAD1->HasImage(); }, 20000));
      QCOMPARE(w.Controls().Lb_s_size->text(), QStringLiteral(u" 40x 30"));

      // As any damaged file: it ends the run, or with --keep-going the run goes on past it.
      for (const bool keepGoing : {false, true}) {
        const fs::path out = dir_ / (std::string("out_") + fault.name + (keepGoing ? "_on" : ""));
        fs::create_directory(out);
        QProcess batch;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral(u"MIRELO_RAW_DECODER"), Text(script));
        env.insert(QStringLiteral(u"MIRELO_RAW_DECODER_LIMITS"),
                   QStringLiteral(u"%1,%2,%3")
                       .arg(fault.limits.memoryBytes >> 20)
                       .arg(fault.limits.cpuSeconds)
                       .arg(fault.limits.wallSeconds));
        batch.setProcessEnvironment(env);
        QStringList arguments = {QStringLiteral(u"--config"), Text(dir_ / "config"), QStringLiteral(u"--quiet"),
                                 QStringLiteral(u"--set"), QStringLiteral(u"Output/Mode=1"), QStringLiteral(u"--set"),
                                 QStringLiteral(u"Output/Path=") + Text(out), Text(good), Text(raw), Text(after)};
        if (keepGoing) arguments.prepend(QStringLiteral(u"--keep-going"));
        batch.start(QStringLiteral(MIRELO_BATCH_EXE), arguments);
        QVERIFY(batch.waitForFinished(60000));
        const QByteArray errors = batch.readAllStandardError();
        QCOMPARE(batch.exitCode(), keepGoing ? 1 : 3);
        QVERIFY2(errors.contains("camera.dng"), errors.constData());
        QCOMPARE(std::distance(fs::directory_iterator(out), fs::directory_iterator()), keepGoing ? 2 : 1);
      }
    }
    mirelo::imaging::SetRawDecoder({}, {});
  }

  // mirelo-batch over each file of the set (a still it cannot read ends a run, so one run each):
  // every run ends by itself with an exit status of the program's and no sanitizer report.
  void batchRunOverEachFile() {
    const fs::path config = dir_ / "config";
    fs::create_directory(config);
    for (const Hostile& hostile : set_) {
      const QString name = Text(hostile.file.filename());
      QProcess batch;
      batch.start(QStringLiteral(MIRELO_BATCH_EXE), {QStringLiteral(u"--config"), Text(config),
                                                     QStringLiteral(u"--quiet"), Text(hostile.file)});
      QVERIFY2(batch.waitForFinished(60000), qPrintable(name));
      QVERIFY2(batch.exitStatus() == QProcess::NormalExit, qPrintable(name));
      const QByteArray errors = batch.readAllStandardError();
      QVERIFY2(!errors.contains("Sanitizer") && !errors.contains("runtime error"), errors.constData());
      const int code = batch.exitCode();
      QVERIFY2(code == 0 || code == 1 || code == 3,
               qPrintable(name + QStringLiteral(u": ") + QString::number(code)));
      // A failure names the file and gives the error line.
      const QString report = name + QStringLiteral(u": ") + QString::fromUtf8(errors);
      if (code != 0)
        QVERIFY2(errors.contains("\xe2\x86\x92"
                                 "ERROR:"),
                 qPrintable(report));
    }
  }

 private:
  mirelo::test::TempDir dir_;
  std::vector<Hostile> set_;
};

QTEST_MAIN(HostileTest)
#include "hostile_test.moc"
