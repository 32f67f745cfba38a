#pragma once

// Files and drops for the file list, preview and batch tests.

#include <QDropEvent>
#include <QFile>
#include <QListWidget>
#include <QMimeData>
#include <QUrl>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/window/main_window.h"
#include "filelist/preview_panel.h"
#include "filelist/video_view.h"
#include "platform/imaging/image.h"
#include "platform/video/mpv_player.h"
#include "platform/video/test_clips.h"
#include "support/magick.h"

namespace mirelo::testing {

inline std::string Utf8(const std::filesystem::path& path) { return path.string(); }

inline QString Text(const std::filesystem::path& path) { return QFile::decodeName(path.string().c_str()); }

// A picture of width x height drawn by ImageMagick.
inline std::filesystem::path MakePicture(const std::filesystem::path& path, int width, int height) {
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  if (!test::MagickConvert({"-size", size, "gradient:red-blue", path.string()})) throw std::runtime_error("convert");
  return path;
}

inline std::filesystem::path MakeText(const std::filesystem::path& path, const std::string& text = "not a picture\n") {
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

// A testsrc clip of the given length and size, with or without sound.
inline std::filesystem::path MakeClip(const std::filesystem::path& path, double seconds, int width = 320,
                                      int height = 240, bool sound = true, int rate = 25) {
  std::string args = "-f lavfi -i testsrc2=size=" + std::to_string(width) + "x" + std::to_string(height) +
                     ":rate=" + std::to_string(rate) + " ";
  if (sound) args += "-f lavfi -i sine=frequency=440 -c:a mp2 -ac 1 ";
  args += "-t " + std::to_string(seconds) + " -c:v mpeg4 -q:v 4 '" + path.string() + "'";
  test::RunFfmpeg(args);
  return path;
}

// Waits until the selection handler's still decode has ended its pass and the entries after it
// are decoded ahead; false on timeout.
inline bool WaitForPreview(filelist::PreviewPanel& preview, int ms = 15000) {
  QElapsedTimer timer;
  timer.start();
  while (preview.StillsBusy()) {
    if (timer.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
  }
  QCoreApplication::processEvents();
  return true;
}

// A drop of urls on List1, as a file manager delivers it (drag enter, then drop).
inline void DropUrls(window::MainWindow& w, const QList<QUrl>& urls, const QString& plainText = QString()) {
  QWidget* target = w.Controls().List1->viewport();
  QMimeData data;
  if (!urls.isEmpty()) data.setUrls(urls);
  if (!plainText.isEmpty()) data.setText(plainText);
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
  WaitForPreview(w.Preview());
}

inline void DropFiles(window::MainWindow& w, const std::vector<std::filesystem::path>& files) {
  QList<QUrl> urls;
  for (const auto& file : files) urls << QUrl::fromLocalFile(Text(file));
  DropUrls(w, urls);
}

inline QStringList ListTexts(const QListWidget* list) {
  QStringList texts;
  for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
  return texts;
}

// The user clicks entry index of List1 (the selection handler runs from the event loop).
inline void ClickEntry(window::MainWindow& w, int index) {
  QListWidget* list = w.Controls().List1;
  const QRect rect = list->visualItemRect(list->item(index));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center() + QPoint(20, 0));
  QCoreApplication::processEvents();
  WaitForPreview(w.Preview());
}

// Waits until the player has shown the frame of its last seek.
inline bool WaitForFrame(filelist::PreviewPanel& preview, std::uint64_t seeksBefore, int ms = 15000) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (!preview.VideoUsable()) {
      if (preview.Player().Failed()) return false;
      continue;
    }
    if (preview.Player().SeeksDone() > seeksBefore && !preview.View()->Frame().isNull()) {
      // One more round for the frame that belongs to the finished seek.
      QTest::qWait(60);
      return true;
    }
  }
  return false;
}

// The counter index of the frame the video window shows.
inline int ShownCounter(filelist::PreviewPanel& preview) {
  const QImage frame = preview.View()->Frame().convertToFormat(QImage::Format_RGB888);
  imaging::Image image = imaging::Image::blank(frame.width(), frame.height());
  for (int y = 0; y < frame.height(); ++y) {
    std::memcpy(image.row(y), frame.constScanLine(y), static_cast<std::size_t>(frame.width()) * 3);
  }
  return test::CounterIndex(image);
}

}  // namespace mirelo::testing
