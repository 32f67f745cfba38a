#pragma once

// Still previews decoded off the window's thread. Each is decoded no larger than the preview box
// and kept reduced to it, so a few of them cost little memory; a kept one is used only while its
// file keeps the size and modification time it had when it was decoded.

#include <QObject>
#include <QSize>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/imaging/image.h"

namespace mirelo::filelist {

// A decoded preview, or the error number its load failed with.
struct StillPreview {
  std::string path;
  QSize box;
  // The file as it was before the decode; stamped false when it could not be read.
  bool stamped = false;
  std::uintmax_t size = 0;
  std::int64_t modified = 0;
  imaging::Image picture;  // reduced to box; sourceWidth and sourceHeight: the full size
  std::int32_t error = 0;
  double decodeMs = 0;  // the decode's wall time; 0 for a preview kept from elsewhere
};

class StillLoader : public QObject {
  Q_OBJECT

 public:
  explicit StillLoader(QObject* parent = nullptr);
  ~StillLoader() override;

  // The kept preview of path at box, if its file has not changed since.
  std::shared_ptr<const StillPreview> Find(const std::string& path, QSize box) const;
  // The files to decode at box, most wanted first; replaces the earlier wish. Files already
  // kept or being decoded are left out.
  void Want(const std::vector<std::string>& paths, QSize box);
  // Keeps a preview decoded elsewhere (the batch run's own load) for the file as it is now.
  void Keep(StillPreview preview);
  // Nothing wanted and nothing being decoded.
  bool Idle() const;

  // Called on the window's thread after each decode.
  std::function<void(const std::shared_ptr<const StillPreview>&)> onDecoded;
  // Tests: called on the decoding thread before each decode.
  std::function<void(const std::string& path)> beforeDecode;

  // Stamps preview with its file's size and modification time; false when the file is unreadable.
  static bool Stamp(StillPreview& preview);

 private:
  void Work();
  void Insert(std::shared_ptr<const StillPreview> preview);

  static constexpr int kWorkers = 2;
  static constexpr std::size_t kKept = 8;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<std::string> wanted_;
  QSize wantedBox_;
  std::vector<std::string> decoding_;
  std::deque<std::shared_ptr<const StillPreview>> kept_;  // most recent last
  bool stop_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace mirelo::filelist
