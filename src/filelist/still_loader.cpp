#include "filelist/still_loader.h"

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <filesystem>
#include <new>
#include <system_error>

#include "platform/error.h"
#include "platform/imaging/imaging_control.h"
#include "production/batch_engine.h"

namespace mirelo::filelist {
namespace {

// Out of memory and an internal failure of a library, in the program's numbering.
constexpr std::int32_t kOutOfMemory = 7;
constexpr std::int32_t kInternalError = 51;

StillPreview Decode(const std::string& path, QSize box) {
  StillPreview preview;
  preview.path = path;
  preview.box = box;
  StillLoader::Stamp(preview);
  try {
    // A large JPEG shrinks while it is decoded: no larger than the box needs.
    imaging::LoadOptions options;
    options.minimumSize = [box](imaging::Size full) {
      const double scale = std::min({1.0, static_cast<double>(box.width()) / std::max(1, full.width),
                                     static_cast<double>(box.height()) / std::max(1, full.height)});
      return imaging::Size{std::max(1, static_cast<int>(std::ceil(full.width * scale))),
                           std::max(1, static_cast<int>(std::ceil(full.height * scale)))};
    };
    imaging::ImagingControl control;
    control.Load(std::filesystem::path(path), options);
    preview.picture = production::ReducedToBox(control.GetImage(), {box.width(), box.height()});
  } catch (const Error& error) {
    preview.error = error.number();
  } catch (const std::bad_alloc&) {
    preview.error = kOutOfMemory;
  } catch (const std::exception&) {
    preview.error = kInternalError;
  }
  return preview;
}

}  // namespace

StillLoader::StillLoader(QObject* parent) : QObject(parent) {
  for (int i = 0; i < kWorkers; ++i) threads_.emplace_back([this] { Work(); });
}

StillLoader::~StillLoader() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  // A decode under way cannot be broken off; its result is dropped with this object.
  for (std::thread& thread : threads_) thread.join();
}

bool StillLoader::Stamp(StillPreview& preview) {
  std::error_code ec;
  const std::filesystem::path file(preview.path);
  preview.size = std::filesystem::file_size(file, ec);
  if (!ec) preview.modified = std::filesystem::last_write_time(file, ec).time_since_epoch().count();
  preview.stamped = !ec;
  return preview.stamped;
}

std::shared_ptr<const StillPreview> StillLoader::Find(const std::string& path, QSize box) const {
  std::shared_ptr<const StillPreview> found;
  {
    std::lock_guard lock(mutex_);
    for (const auto& kept : kept_) {
      if (kept->path == path && kept->box == box) found = kept;
    }
  }
  if (!found) return nullptr;
  StillPreview now;
  now.path = path;
  if (!Stamp(now) || now.size != found->size || now.modified != found->modified) return nullptr;
  return found;
}

void StillLoader::Want(const std::vector<std::string>& paths, QSize box) {
  std::vector<std::string> missing;
  for (const std::string& path : paths) {
    if (!Find(path, box)) missing.push_back(path);
  }
  {
    std::lock_guard lock(mutex_);
    wanted_ = std::move(missing);
    wantedBox_ = box;
  }
  wake_.notify_all();
}

void StillLoader::Keep(StillPreview preview) {
  if (!Stamp(preview)) return;
  std::lock_guard lock(mutex_);
  Insert(std::make_shared<const StillPreview>(std::move(preview)));
}

bool StillLoader::Idle() const {
  std::lock_guard lock(mutex_);
  return wanted_.empty() && decoding_.empty();
}

void StillLoader::Insert(std::shared_ptr<const StillPreview> preview) {
  std::erase_if(kept_, [&](const auto& kept) { return kept->path == preview->path && kept->box == preview->box; });
  kept_.push_back(std::move(preview));
  while (kept_.size() > kKept) kept_.pop_front();
}

void StillLoader::Work() {
  for (;;) {
    std::string path;
    QSize box;
    {
      std::unique_lock lock(mutex_);
      // The most wanted file nobody decodes yet.
      auto next = wanted_.end();
      wake_.wait(lock, [&] {
        next = std::find_if(wanted_.begin(), wanted_.end(), [&](const std::string& candidate) {
          return std::find(decoding_.begin(), decoding_.end(), candidate) == decoding_.end();
        });
        return stop_ || next != wanted_.end();
      });
      if (stop_) return;
      path = *next;
      box = wantedBox_;
      wanted_.erase(next);
      decoding_.push_back(path);
    }
    const auto start = std::chrono::steady_clock::now();
    if (beforeDecode) beforeDecode(path);
    StillPreview decoded = Decode(path, box);
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    decoded.decodeMs = took.count();
    auto preview = std::make_shared<const StillPreview>(std::move(decoded));
    {
      std::lock_guard lock(mutex_);
      // A file that could not be stamped is decoded again next time.
      if (preview->stamped) Insert(preview);
      std::erase(wanted_, path);  // asked for again while it was being decoded
      decoding_.erase(std::find(decoding_.begin(), decoding_.end(), path));
    }
    // Wanted entries that another thread skipped while this one was busy with the same file.
    wake_.notify_all();
    QMetaObject::invokeMethod(
        this, [this, preview] { if (onDecoded) onDecoded(preview); }, Qt::QueuedConnection);
    // The file's bytes and the decoder's buffers (tens of megabytes for a large photo) go back to
    // the system rather than staying with this thread's heap while the window browses on.
    ::malloc_trim(0);
  }
}

}  // namespace mirelo::filelist
