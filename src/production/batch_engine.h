#pragma once

// The batch run of the start button without its widgets. The checks, the order of work per
// entry, the log lines, deselection, progress, cancel and the end of a run are those of a
// sequential run; loading, building and encoding run on worker threads while one
// committer names and writes the thumbnails in list order.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/log_buffer.h"
#include "app/size_presets.h"
#include "app/thumb_settings.h"
#include "production/pipeline.h"

namespace mirelo::production {

// One entry of the file list: the path as listed (List1), its check box and its scene text
// (List2: seconds, "" when no scene was chosen).
struct BatchEntry {
  std::string path;
  bool selected = true;
  std::string scene;
  std::string root;  // the dropped folder the entry was found under; "" for a file dropped by itself
  // With no scene, the first frame that shows something rather than the first frame (as the
  // option AutoScene does for every entry; mirelo-batch --scene auto for some).
  bool autoScene = false;
};

// What the run reads of the settings, copied when it starts.
struct BatchSettings {
  app::ThumbSettings settings;
  SizeTexts sizes;  // texts of SizeWidth and SizeHeight
};

enum class BatchOutcome {
  Refused,    // a check refused the run; nothing was processed
  Completed,  // every entry was passed
  Cancelled,  // the user answered Yes to the cancel question
  Failed,     // an error ended the run
};

struct BatchResult {
  BatchOutcome outcome = BatchOutcome::Completed;
  std::optional<app::MessageText> refusal;  // Refused: the message shown
  int total = 0;                            // entries in the list
  int done = 0;                             // progress value at the end
  int written = 0;                          // thumbnails written
  int loadFailures = 0;                     // entries skipped because their load failed
  int skippedDone = 0;                      // SkipDone: entries whose thumbnail is up to date
  std::vector<int> failed;                  // entries that failed, the one that ended the run included
  int errorIndex = -1;                      // Failed: the entry whose error ended the run
  std::int32_t lastErrorNumber = 0;         // LastErrorNumber after the run
  std::vector<bool> selected;               // check boxes after the run (failed loads deselected)
  std::vector<std::string> outputs;         // written path per entry, "" for none
};

// What a front end (the main window, mirelo-batch) does for the run. Every call is made on the
// thread that called BatchEngine::Run, in the order a sequential run makes them.
class BatchFrontEnd {
 public:
  virtual ~BatchFrontEnd() = default;

  // The checks passed: enter the running state; the progress bar runs from 0 to total.
  virtual void runStarted(int total) { (void)total; }
  // Entry index becomes the current entry of the list.
  virtual void entryStarted(int index) { (void)index; }
  // The still of entry index was loaded, after entryStarted(index) and before pictureSized: its
  // picture reduced to BatchOptions::previewBox (sourceWidth and sourceHeight: its full size).
  // Only made when previewBox is set; an entry whose load fails has none.
  virtual void stillLoaded(int index, const imaging::Image& picture) {
    (void)index;
    (void)picture;
  }
  // The entry's check box is cleared (its load failed).
  virtual void entryDeselected(int index) { (void)index; }
  // The picture of entry index was opened, before its log lines if any: a still's size for the
  // still-size label, a video's native size for the video-size label (text: SizeCaption).
  virtual void pictureSized(int index, EntryKind kind, int width, int height) {
    (void)index;
    (void)kind;
    (void)width;
    (void)height;
  }
  // Entry index failed with this error number (LastErrorNumber; 0 for a clip without a video
  // stream), after its log lines: a failed load the run goes past, or (endsRun) the error that
  // ends the run.
  virtual void entryFailed(int index, std::int32_t number, bool endsRun) {
    (void)index;
    (void)number;
    (void)endsRun;
  }
  // SkipDone: entry index was not loaded, its thumbnail (path) is not older than the source.
  virtual void entrySkipped(int index, const std::string& thumbnail) {
    (void)index;
    (void)thumbnail;
  }
  // One message was appended to the error log (it may hold CR LF).
  virtual void logAppended(std::string_view message) { (void)message; }
  // A thumbnail of entry index was written at path.
  virtual void thumbnailWritten(int index, const std::string& path) {
    (void)index;
    (void)path;
  }
  // After every entry, selected or not, loaded or not.
  virtual void progress(int done, int total) {
    (void)done;
    (void)total;
  }
  // A cancel was requested; called before the next entry. Beep and ask kCancelQuestion (Yes and
  // No, question icon, title kAppTitle). True (Yes) ends the run; false (No) goes on.
  virtual bool askCancel() = 0;
  // A message box with an OK button only and no icon: a refusal of the checks, or the completion
  // message after runFinished.
  virtual void showMessage(const app::MessageText& message) = 0;
  // The running state is left (not called for a refused run). For a completed or cancelled run
  // the last entry becomes current and the completion message follows; after a run-ending error
  // the current entry and the progress bar stay as they are and no message follows.
  virtual void runFinished(const BatchResult& result) { (void)result; }
};

// The checks before a run: an empty list, then a frame picture missing for the selected kinds
// while frames are on (only the still message when both apply).
std::optional<app::MessageText> CheckBatch(const std::vector<BatchEntry>& entries, const app::ThumbSettings& settings);

struct BatchOptions {
  int jobs = 0;                   // worker threads; 0: one per core
  app::LogBuffer* log = nullptr;  // nullptr: the process-wide log
  // The box of the window's still preview in pixels; 0 x 0: no stillLoaded calls.
  imaging::Size previewBox;
};

// A copy of picture no larger than box (aspect kept, never enlarged); Palette8 becomes Rgb24.
// Each pixel averages at most 4 x 4 samples of its area, so the cost does not grow with the
// picture. sourceWidth and sourceHeight are carried over.
imaging::Image ReducedToBox(const imaging::Image& picture, imaging::Size box);

// The completion message's text: "作業が終了しました。", and when KeepGoing or SkipDone is on and
// entries failed or were skipped as up to date, a second line that counts them.
std::string FinishedText(const BatchResult& result, const app::ThumbSettings& settings);

// The worker threads to use for `jobs` (0: the number of cores, at least 1).
int EffectiveJobs(int jobs);

class BatchEngine {
 public:
  explicit BatchEngine(BatchOptions options = {}) : options_(options) {}

  // Bt_Go_Click: checks, then the run. Blocks until the run has ended.
  BatchResult Run(const std::vector<BatchEntry>& entries, const BatchSettings& settings, BatchFrontEnd& frontEnd);

  // Bt_Cancel_Click: seen before the next entry. Safe from any thread and from a signal handler.
  void RequestCancel() noexcept { cancelRequested_.store(true, std::memory_order_relaxed); }

 private:
  BatchOptions options_;
  std::atomic<bool> cancelRequested_{false};
};

}  // namespace mirelo::production
