#include "production/batch_engine.h"

#include <algorithm>
#include <exception>
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

// What a worker made of one entry.
struct EntryWork {
  enum class State {
    Unselected,  // nothing to do
    LoadFailed,  // the loader failed: log, maybe deselect, go on
    Ready,       // built and encoded
    Failed,      // an error that ends the run
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
};

// The image buffers one worker owns: the working image (LEAD12) and the output image (LEAD11).
struct WorkerBuffers {
  imaging::ImagingControl work;
  imaging::ImagingControl output;
};

EntryWork BuildEntry(WorkerBuffers& buffers, const BatchEntry& entry, const BatchSettings& snapshot,
                     int captureThreads) {
  EntryWork result;
  if (!entry.selected) return result;
  const EntryKind kind = KindOf(entry.path);
  bool saving = false;
  try {
    if (kind == EntryKind::Video) {
      VideoCaptureResult capture = CaptureVideoFrame(entry.path, entry.scene, buffers.work, {captureThreads});
      result.pictureSize = capture.videoSize;
      if (!capture.ok) {
        result.state = EntryWork::State::LoadFailed;
        result.log = std::move(capture.logLines);
        result.deselect = capture.deselect;
        result.number = capture.number;
        return result;
      }
    } else {
      const LoadOutcome load = LoadStillImage(buffers.work, entry.path, snapshot.settings, snapshot.sizes);
      result.pictureSize = load.fullSize;
      if (!load.ok) {
        if (load.failedInLoad) {
          // The run's own preview load meets an unreadable still first, so the run ends.
          result.state = EntryWork::State::Failed;
          result.number = load.errorNumber;
          return result;
        }
        result.state = EntryWork::State::LoadFailed;
        result.log = load.logLines();
        result.deselect = load.deselect;
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
      case EntryWork::State::LoadFailed:
        result_.lastErrorNumber = work.number;
        for (const std::string& line : work.log) Append(line);
        if (work.deselect) {
          result_.selected[static_cast<std::size_t>(index)] = false;
          frontEnd_.entryDeselected(index);
        }
        frontEnd_.entryFailed(index, work.number, false);
        ++result_.loadFailures;
        break;
      case EntryWork::State::Failed: {
        std::int32_t number = work.number;
        if (work.failedInSave) {
          try {
            (void)MakeOutputPath(entry.path, snapshot_.settings);
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
          if (work.bytes) {
            std::string path = WriteBytesUnderFreeName(entry.path, snapshot_.settings, *work.bytes);
            ++result_.written;
            frontEnd_.thumbnailWritten(index, path);
            result_.outputs[static_cast<std::size_t>(index)] = std::move(path);
          } else {
            // A format that saves nothing still has its name computed.
            (void)MakeOutputPath(entry.path, snapshot_.settings);
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
  void Append(const std::string& message) {
    log_.Append(message);
    frontEnd_.logAppended(message);
  }

  bool Fail(int index, std::int32_t number) {
    result_.lastErrorNumber = number;
    result_.errorIndex = index;
    result_.outcome = BatchOutcome::Failed;
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
  // One decoder thread per capture when every core already runs a worker.
  const int captureThreads = std::max(1, cores / jobs);
  std::vector<WorkerBuffers> buffers(static_cast<std::size_t>(std::min(jobs, result.total)));

  frontEnd.runStarted(result.total);
  Committer committer(list, snapshot, frontEnd, log, result);
  OrderedRunner<EntryWork>::Run(
      result.total, jobs, 2 * jobs,
      [&](int worker, int index) {
        return BuildEntry(buffers[static_cast<std::size_t>(worker)], list[static_cast<std::size_t>(index)], snapshot,
                          captureThreads);
      },
      [&](int index) {
        if (cancelRequested_.exchange(false, std::memory_order_relaxed) && frontEnd.askCancel()) {
          result.outcome = BatchOutcome::Cancelled;
          return false;
        }
        frontEnd.entryStarted(index);
        return true;
      },
      [&](int index, EntryWork&& work) { return committer.Commit(index, std::move(work)); });

  frontEnd.runFinished(result);
  if (result.outcome != BatchOutcome::Failed) {
    frontEnd.showMessage({std::string(kFinishedText), std::string(kFinishedTitle)});
  }
  return result;
}

}  // namespace mirelo::production
