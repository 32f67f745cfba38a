#include "production/batch_engine.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <new>
#include <thread>
#include <utility>

#include "app/utilities.h"
#include "platform/error.h"
#include "platform/imaging/imaging_control.h"
#include "production/batch_scheduler.h"
#include "production/batch_texts.h"
#include "production/extensions.h"
#include "production/naming.h"
#include "production/video_capture.h"

namespace mirelo::production {

static_assert(std::atomic<bool>::is_always_lock_free, "RequestCancel is called from signal handlers");

std::string RunErrorLine(std::int32_t number) {
  switch (number) {
    case err::kFileCannotBeRead:
      return "→ERROR:ファイルを読み込めません。";
    case err::kInvalidFileFormat:
      return "→ERROR:ファイルフォーマットが不正です。";
    default:
      return "→Error code:" + app::SignedNumberText(number);
  }
}

std::string SizeCaption(int width, int height) {
  return app::SignedNumberText(width) + "x" + app::SignedNumberText(height);
}

std::string SizeCaptionFor(EntryKind kind, int width, int height) {
  if (kind != EntryKind::Still) return SizeCaption(width, height);
  return SizeCaption(static_cast<std::int16_t>(width), static_cast<std::int16_t>(height));
}

std::string RunErrorMessage(std::string_view path, std::int32_t number) {
  std::string message(path);
  message += "\r\n";
  message += RunErrorLine(number);
  return message;
}

namespace {

// Out of memory and an internal failure of a library, in the program's numbering.
constexpr std::int32_t kOutOfMemory = 7;
constexpr std::int32_t kInternalError = 51;

app::MessageText ErrorBox(std::string_view text) { return {std::string(text), std::string(kErrorTitle)}; }

bool Unset(const std::optional<std::string>& text) { return !text || text->empty(); }

// The previews of a run's stills, from the workers to the committer: each entry's is published
// once, as soon as its load is done (or with nothing when the entry has no picture), so the
// committer hands it over while the entry's thumbnail is still being built.
class PreviewBoard {
 public:
  PreviewBoard(int count, imaging::Size box)
      : box_(box), published_(static_cast<std::size_t>(count)), pictures_(static_cast<std::size_t>(count)) {}

  bool On() const { return box_.width > 0 && box_.height > 0; }
  imaging::Size Box() const { return box_; }

  void Publish(int index, std::optional<imaging::Image> picture) {
    {
      std::lock_guard lock(mutex_);
      const auto i = static_cast<std::size_t>(index);
      if (published_[i]) return;
      published_[i] = true;
      pictures_[i] = std::move(picture);
    }
    ready_.notify_all();
  }

  // Waits for the entry's publication; its entry is within the workers' window, so it comes.
  std::optional<imaging::Image> Take(int index) {
    std::unique_lock lock(mutex_);
    const auto i = static_cast<std::size_t>(index);
    ready_.wait(lock, [&] { return static_cast<bool>(published_[i]); });
    return std::exchange(pictures_[i], std::nullopt);
  }

 private:
  imaging::Size box_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::vector<char> published_;
  std::vector<std::optional<imaging::Image>> pictures_;
};

// Publishes nothing for an entry that left BuildEntry without a picture.
struct PublishGuard {
  PreviewBoard* board;
  int index;
  ~PublishGuard() {
    if (board) board->Publish(index, std::nullopt);
  }
};

// What a worker made of one entry.
struct EntryWork {
  enum class State {
    Unselected,  // nothing to do
    LoadFailed,  // the loader failed: log, maybe deselect, go on
    Ready,       // built and encoded
    Failed,      // an error that ends the run
    UpToDate,    // SkipDone: its thumbnail is not older than the source; not loaded
  };
  State state = State::Unselected;
  std::vector<std::string> log;  // LoadFailed: the loader's AppendLog messages
  bool deselect = false;
  std::int32_t number = 0;  // LoadFailed: LastErrorNumber; Failed: the error's number
  // Failed while encoding: a sequential run names the file before it saves, so a failing name
  // test is reported first.
  bool failedInSave = false;
  std::optional<std::vector<std::uint8_t>> bytes;  // Ready: nullopt when the format saves nothing
  imaging::Size pictureSize;  // size shown on the size label; 0 x 0 when the picture never opened
  std::string thumbnail;      // UpToDate: the thumbnail found
};

// The image buffers one worker owns: the working image (LEAD12) and the output image (LEAD11).
struct WorkerBuffers {
  imaging::ImagingControl work;
  imaging::ImagingControl output;
};

EntryWork BuildEntry(WorkerBuffers& buffers, const BatchEntry& entry, const BatchSettings& snapshot,
                     int captureThreads, PreviewBoard& board, int index) {
  const PublishGuard nothing{board.On() ? &board : nullptr, index};
  EntryWork result;
  if (!entry.selected) return result;
  const EntryKind kind = KindOf(entry.path);
  const bool keepGoing = snapshot.settings.KeepGoing == 1;
  bool saving = false;
  try {
    if (snapshot.settings.SkipDone == 1) {
      const OutputNameParts parts = OutputNamePartsFor(entry.path, snapshot.settings, entry.root);
      if (std::optional<std::string> done = UpToDateThumbnail(entry.path, parts)) {
        result.state = EntryWork::State::UpToDate;
        result.thumbnail = std::move(*done);
        return result;
      }
    }
    if (kind == EntryKind::Video) {
      VideoCaptureResult capture = CaptureVideoFrame(
          entry.path, entry.scene, buffers.work,
          {.threads = captureThreads, .autoScene = entry.autoScene || snapshot.settings.AutoScene == 1});
      result.pictureSize = capture.videoSize;
      if (!capture.ok) {
        result.state = EntryWork::State::LoadFailed;
        result.log = std::move(capture.logLines);
        result.deselect = capture.deselect || keepGoing;
        result.number = capture.number;
        return result;
      }
    } else {
      std::function<void(const imaging::Image&)> onLoaded;
      if (board.On()) {
        onLoaded = [&board, index](const imaging::Image& picture) {
          try {
            board.Publish(index, ReducedToBox(picture, board.Box()));
          } catch (const std::bad_alloc&) {
            // No preview; the run itself goes on.
          }
        };
      }
      const LoadOutcome load =
          LoadStillImage(buffers.work, entry.path, snapshot.settings, snapshot.sizes, true, onLoaded);
      result.pictureSize = load.fullSize;
      if (!load.ok) {
        if (load.failedInLoad && !keepGoing) {
          // The run's own preview load meets an unreadable still first, so the run ends.
          result.state = EntryWork::State::Failed;
          result.number = load.errorNumber;
          return result;
        }
        result.state = EntryWork::State::LoadFailed;
        // KeepGoing: the line the run would have ended with, and the entry is passed.
        result.log = load.failedInLoad ? std::vector<std::string>{RunErrorMessage(entry.path, load.errorNumber)}
                                       : load.logLines();
        result.deselect = load.deselect || keepGoing;
        result.number = load.errorNumber;
        return result;
      }
    }
    BuildThumbnail(kind, buffers.work, buffers.output, snapshot.settings, snapshot.sizes);
    saving = true;
    std::optional<PreparedThumbnail> prepared = PrepareThumbnail(buffers.output, snapshot.settings);
    result.state = EntryWork::State::Ready;
    if (prepared) result.bytes = std::move(prepared->bytes);
  } catch (const Error& error) {
    result.state = EntryWork::State::Failed;
    result.number = error.number();
    result.failedInSave = saving;
  } catch (const std::bad_alloc&) {
    result.state = EntryWork::State::Failed;
    result.number = kOutOfMemory;
    result.failedInSave = saving;
  } catch (const std::exception&) {
    result.state = EntryWork::State::Failed;
    result.number = kInternalError;
    result.failedInSave = saving;
  }
  return result;
}

// The committer's side of one run: everything that must happen in list order.
class Committer {
 public:
  Committer(const std::vector<BatchEntry>& entries, const BatchSettings& snapshot, BatchFrontEnd& frontEnd,
            app::LogBuffer& log, BatchResult& result)
      : entries_(entries), snapshot_(snapshot), frontEnd_(frontEnd), log_(log), result_(result) {}

  // Returns false when the entry's error ended the run.
  bool Commit(int index, EntryWork&& work) {
    const BatchEntry& entry = entries_[static_cast<std::size_t>(index)];
    if (work.pictureSize.width > 0 && work.pictureSize.height > 0) {
      frontEnd_.pictureSized(index, KindOf(entry.path), work.pictureSize.width, work.pictureSize.height);
    }
    switch (work.state) {
      case EntryWork::State::Unselected:
        break;
      case EntryWork::State::UpToDate:
        ++result_.skippedDone;
        frontEnd_.entrySkipped(index, work.thumbnail);
        break;
      case EntryWork::State::LoadFailed:
        result_.lastErrorNumber = work.number;
        for (const std::string& line : work.log) Append(line);
        if (work.deselect) {
          result_.selected[static_cast<std::size_t>(index)] = false;
          frontEnd_.entryDeselected(index);
        }
        frontEnd_.entryFailed(index, work.number, false);
        ++result_.loadFailures;
        result_.failed.push_back(index);
        break;
      case EntryWork::State::Failed: {
        std::int32_t number = work.number;
        if (work.failedInSave) {
          try {
            (void)MakeOutputPath(PartsFor(entry));
          } catch (const Error& error) {
            number = error.number();
          } catch (const std::exception&) {
            number = kInternalError;
          }
        }
        return Fail(index, number);
      }
      case EntryWork::State::Ready:
        try {
          const OutputNameParts parts = PartsFor(entry);
          if (work.bytes) {
            if (snapshot_.settings.KeepTree == 1) CreateTreeFolders(parts, snapshot_.settings);
            std::string path = WriteBytesUnderFreeName(parts, *work.bytes);
            ++result_.written;
            frontEnd_.thumbnailWritten(index, path);
            result_.outputs[static_cast<std::size_t>(index)] = std::move(path);
          } else {
            // A format that saves nothing still has its name computed.
            (void)MakeOutputPath(parts);
          }
        } catch (const Error& error) {
          return Fail(index, error.number());
        } catch (const std::bad_alloc&) {
          return Fail(index, kOutOfMemory);
        } catch (const std::exception&) {
          return Fail(index, kInternalError);
        }
        break;
    }
    result_.done = index + 1;
    frontEnd_.progress(result_.done, result_.total);
    return true;
  }

 private:
  OutputNameParts PartsFor(const BatchEntry& entry) const {
    return OutputNamePartsFor(entry.path, snapshot_.settings, entry.root);
  }

  void Append(const std::string& message) {
    log_.Append(message);
    frontEnd_.logAppended(message);
  }

  bool Fail(int index, std::int32_t number) {
    result_.lastErrorNumber = number;
    result_.errorIndex = index;
    result_.outcome = BatchOutcome::Failed;
    result_.failed.push_back(index);
    Append(RunErrorMessage(entries_[static_cast<std::size_t>(index)].path, number));
    frontEnd_.entryFailed(index, number, true);
    return false;
  }

  const std::vector<BatchEntry>& entries_;
  const BatchSettings& snapshot_;
  BatchFrontEnd& frontEnd_;
  app::LogBuffer& log_;
  BatchResult& result_;
};

}  // namespace

std::optional<app::MessageText> CheckBatch(const std::vector<BatchEntry>& entries, const app::ThumbSettings& settings) {
  if (entries.empty()) return ErrorBox(kNoListText);
  bool stillSelected = false;
  bool videoSelected = false;
  for (const BatchEntry& entry : entries) {
    if (!entry.selected) continue;
    if (KindOf(entry.path) == EntryKind::Still) {
      stillSelected = true;
    } else {
      videoSelected = true;
    }
  }
  if (stillSelected && settings.FrameMode == 1 && Unset(settings.StillFrameFile)) return ErrorBox(kNoStillFrameText);
  if (videoSelected && settings.FrameMode == 1 && Unset(settings.VideoFrameFile)) return ErrorBox(kNoVideoFrameText);
  return std::nullopt;
}

imaging::Image ReducedToBox(const imaging::Image& picture, imaging::Size box) {
  if (picture.empty() || box.width <= 0 || box.height <= 0) return picture;
  const double scale = std::min({1.0, static_cast<double>(box.width) / picture.width,
                                 static_cast<double>(box.height) / picture.height});
  const int width = std::clamp(static_cast<int>(picture.width * scale + 0.5), 1, picture.width);
  const int height = std::clamp(static_cast<int>(picture.height * scale + 0.5), 1, picture.height);
  const bool gray = picture.format == imaging::PixelFormat::Gray8;
  imaging::Image out = imaging::Image::blank(width, height, gray ? imaging::PixelFormat::Gray8 : imaging::PixelFormat::Rgb24);
  out.dpiX = picture.dpiX;
  out.dpiY = picture.dpiY;
  out.storedBitsPerPixel = picture.storedBitsPerPixel;
  out.sourceWidth = picture.sourceWidth > 0 ? picture.sourceWidth : picture.width;
  out.sourceHeight = picture.sourceHeight > 0 ? picture.sourceHeight : picture.height;
  const int channels = gray ? 1 : 3;
  const int inBytes = picture.bytesPerPixel();
  for (int y = 0; y < height; ++y) {
    // The source rows of this output row, and up to four of them sampled evenly.
    const std::int64_t top = static_cast<std::int64_t>(y) * picture.height / height;
    const std::int64_t bottom = std::max(top + 1, static_cast<std::int64_t>(y + 1) * picture.height / height);
    const int rows = static_cast<int>(std::min<std::int64_t>(4, bottom - top));
    std::uint8_t* target = out.row(y);
    for (int x = 0; x < width; ++x) {
      const std::int64_t left = static_cast<std::int64_t>(x) * picture.width / width;
      const std::int64_t right = std::max(left + 1, static_cast<std::int64_t>(x + 1) * picture.width / width);
      const int columns = static_cast<int>(std::min<std::int64_t>(4, right - left));
      unsigned sum[3] = {0, 0, 0};
      for (int r = 0; r < rows; ++r) {
        const std::uint8_t* row = picture.row(static_cast<int>(top + (bottom - top) * (2 * r + 1) / (2 * rows)));
        for (int c = 0; c < columns; ++c) {
          const std::int64_t sx = left + (right - left) * (2 * c + 1) / (2 * columns);
          const std::uint8_t* pixel = row + sx * inBytes;
          if (picture.format == imaging::PixelFormat::Palette8) {
            const imaging::Rgb colour =
                *pixel < picture.palette.size() ? picture.palette[*pixel] : imaging::Rgb{};
            sum[0] += colour.r;
            sum[1] += colour.g;
            sum[2] += colour.b;
          } else {
            for (int k = 0; k < channels; ++k) sum[k] += pixel[k];
          }
        }
      }
      const unsigned samples = static_cast<unsigned>(rows * columns);
      for (int k = 0; k < channels; ++k) target[x * channels + k] = static_cast<std::uint8_t>((sum[k] + samples / 2) / samples);
    }
  }
  return out;
}

std::string FinishedText(const BatchResult& result, const app::ThumbSettings& settings) {
  std::string text(kFinishedText);
  if (settings.KeepGoing != 1 && settings.SkipDone != 1) return text;
  if (result.loadFailures == 0 && result.skippedDone == 0) return text;
  text += "\n（";
  if (result.skippedDone > 0) text += std::to_string(result.skippedDone) + " 件は作成済みのため作成しませんでした。";
  if (result.loadFailures > 0) {
    text += std::to_string(result.loadFailures) + " 件のファイルを処理できませんでした。ログを確認してください。";
  }
  return text + "）";
}

int EffectiveJobs(int jobs) {
  if (jobs > 0) return jobs;
  return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

BatchResult BatchEngine::Run(const std::vector<BatchEntry>& entries, const BatchSettings& settings,
                             BatchFrontEnd& frontEnd) {
  BatchResult result;
  result.total = static_cast<int>(entries.size());
  result.selected.reserve(entries.size());
  for (const BatchEntry& entry : entries) result.selected.push_back(entry.selected);
  result.outputs.resize(entries.size());

  if (auto refusal = CheckBatch(entries, settings.settings)) {
    result.outcome = BatchOutcome::Refused;
    result.refusal = refusal;
    frontEnd.showMessage(*refusal);
    return result;
  }

  // A request left over from an earlier run does not count.
  cancelRequested_.store(false, std::memory_order_relaxed);
  // The snapshot: nothing the front end changes from here on reaches this run.
  const std::vector<BatchEntry> list = entries;
  const BatchSettings snapshot = settings;
  app::LogBuffer& log = options_.log ? *options_.log : app::ProcessLog();

  const int jobs = EffectiveJobs(options_.jobs);
  const int cores = EffectiveJobs(0);
  // Captures side by side still decode on frame threads, twice their share of the cores and at
  // least two: clips are rarely alike, and a long one left on a single thread would keep one core
  // busy alone at the end of the run (six 720p clips on two cores: 2.6 s instead of 3.6 s, for 3 %
  // more CPU time). Twice the share, not every core, since each frame thread holds frames of its
  // own: a 4K clip's decoder on 16 threads beside 15 others would take gigabytes.
  const int captureThreads = std::min(cores, std::max(2, 2 * cores / jobs));
  std::vector<WorkerBuffers> buffers(static_cast<std::size_t>(std::min(jobs, result.total)));

  PreviewBoard board(result.total, options_.previewBox);
  frontEnd.runStarted(result.total);
  Committer committer(list, snapshot, frontEnd, log, result);
  OrderedRunner<EntryWork>::Run(
      result.total, jobs, 2 * jobs,
      [&](int worker, int index) {
        return BuildEntry(buffers[static_cast<std::size_t>(worker)], list[static_cast<std::size_t>(index)], snapshot,
                          captureThreads, board, index);
      },
      [&](int index) {
        if (cancelRequested_.exchange(false, std::memory_order_relaxed) && frontEnd.askCancel()) {
          result.outcome = BatchOutcome::Cancelled;
          return false;
        }
        frontEnd.entryStarted(index);
        if (board.On()) {
          if (std::optional<imaging::Image> picture = board.Take(index)) frontEnd.stillLoaded(index, *picture);
        }
        return true;
      },
      [&](int index, EntryWork&& work) { return committer.Commit(index, std::move(work)); });

  frontEnd.runFinished(result);
  if (result.outcome != BatchOutcome::Failed) {
    frontEnd.showMessage({FinishedText(result, snapshot.settings), std::string(kFinishedTitle)});
  }
  return result;
}

}  // namespace mirelo::production
