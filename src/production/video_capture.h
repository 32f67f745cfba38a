#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/imaging/image.h"
#include "platform/imaging/imaging_control.h"

// The loader of video entries: the frame at the entry's chosen scene becomes the working image.

namespace mirelo::production {

// What one capture did. The capture itself writes no log and changes no list: the batch engine
// appends the lines and deselects the entry when it commits the entry's result in list order.
struct VideoCaptureResult {
  // The working image holds the captured frame (the original's -1).
  bool ok = false;
  // The entry is to be deselected (every failure).
  bool deselect = false;
  // LastErrorNumber after a failure; 0 for a clip without a video stream and after success.
  std::int32_t number = 0;
  // The messages of the AppendLog calls, in order. A message may itself hold CR LF.
  std::vector<std::string> logLines;
  // Shown size of the video (sample aspect ratio and display rotation applied), the size of the
  // captured frame, for the size label; 0 x 0 when it was not found.
  imaging::Size videoSize;
  // The position the frame was taken at, in seconds.
  double position = 0.0;
};

struct VideoCaptureOptions {
  // Decoder threads per capture; 0 lets FFmpeg choose.
  int threads = 0;
  // An entry without a scene is taken at its first frame that shows something
  // (video::AutoScenePosition), exactly, instead of at 0 s. A chosen scene is not affected.
  bool autoScene = false;
};

// Where an entry with the scene text is captured, in seconds: the scene rounded as
// ScenePosition rounds it; for "" 0, or with autoScene the auto scene of the clip. Throws
// mirelo::Error as ScenePosition and the capture do.
double CapturePosition(const std::string& path, std::string_view sceneText, bool autoScene, int threads = 0);

// Capture position of a scene text (the entry's List2 text): "" is 0; otherwise the decimal
// text (blanks around it allowed, a point as decimal separator) rounded to whole seconds,
// nearest, halves to even. Throws mirelo::Error: 13 for a text that is not a number, 6 when
// the result does not fit 32 bits.
std::int32_t ScenePosition(std::string_view sceneText);

// CaptureVideoFrame of entry `path` with its scene text: on success the frame, upright at its
// shown size (see video::CaptureFrame), replaces the image in `working`; on failure `working` is left as it was and the result
// carries the log lines of the error table (the codec message for the wrong-format numbers,
// otherwise the path and "→ERROR:" with the number). Never throws for a failure of the clip.
VideoCaptureResult CaptureVideoFrame(const std::string& path, std::string_view sceneText,
                                     imaging::ImagingControl& working, const VideoCaptureOptions& options = {});

}  // namespace mirelo::production
