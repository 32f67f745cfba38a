#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace mirelo::app {

// A frame picture with its placement rectangle (pixels of the frame picture). Top -1: no frame.
struct FrameTemplate {
  std::int16_t Top = -1;
  std::int16_t Left = -1;
  std::int16_t Width = -1;
  std::int16_t Height = -1;
  std::optional<std::string> File;  // unset: no file
};

// FormatIndex of the WebP entry, appended after the seven original formats; CbFormat's count.
inline constexpr std::int16_t kWebpFormatIndex = 7;
inline constexpr std::int16_t kFormatCount = 8;

// The formats whose encoder takes the quality setting: the two JPEG entries and WebP.
inline bool FormatTakesQuality(std::int16_t formatIndex) {
  return formatIndex == 0 || formatIndex == 1 || formatIndex == kWebpFormatIndex;
}

// Which of the two frames of ThumbSettings.
enum class FrameKind { Still, Video };

// The one settings record of the process, mirrored in thumb.ini. Fields stand in the documented
// order; the initialisers are the values before loading (after start-up initialisation).
// Texts are UTF-8; std::nullopt is an unset text (a save removes the key), as opposed to the
// empty text.
struct ThumbSettings {
  std::int16_t FrameMode = 0;          // Thumbnail/Mode: 0 no frame, 1 framed
  std::int16_t SizeIndex = 0;          // Thumbnail/Size: index in CbSize
  std::int16_t FitMode = 0;            // Thumbnail/Fit: 0 stretch, 1 fit inside, 2 cover
  std::int16_t SharpOn = 0;            // Filter/Sharp
  std::int16_t SharpValue = 0;         // Filter/SharpValue
  std::int16_t MonoOn = 0;             // Filter/Mono
  std::int16_t LowerCaseName = 0;      // FileName/Char
  std::int16_t JpegExt = 0;            // FileName/Jpeg
  std::int16_t AutoTrimOn = 0;         // Proc/AutoTrim
  std::int16_t AutoTrimThreshold = 0;  // Proc/AutoTrimTH
  std::int16_t AutoContrastOn = 0;     // Proc/AutoContrast
  std::int16_t DpiOn = 0;              // Proc/DPI (read, nothing depends on it)
  std::int16_t DpiValue = 0;           // Proc/DPIValue
  std::int16_t StillFrameTop = -1;     // StillFrame/Top; -1: no still frame
  std::int16_t StillFrameLeft = -1;
  std::int16_t StillFrameWidth = -1;
  std::int16_t StillFrameHeight = -1;
  std::int16_t VideoFrameTop = -1;  // VideoFrame/Top; -1: no video frame
  std::int16_t VideoFrameLeft = -1;
  std::int16_t VideoFrameWidth = -1;
  std::int16_t VideoFrameHeight = -1;
  std::optional<std::string> StillFrameFile;  // StillFrame/File
  std::optional<std::string> VideoFrameFile;  // VideoFrame/File
  std::int16_t FormatIndex = 0;               // Image/Mode: index in CbFormat (0, 1 JPEG; 7 WebP)
  std::int16_t Quality = 0;                   // Image/Quality
  std::int16_t OutputMode = 0;                // Output/Mode: 0 next to the source, 1 into OutputPath
  std::optional<std::string> OutputPath;      // Output/Path
  std::int16_t NameMode = 0;                  // FileName/Mode: index in CbFName
  std::optional<std::string> NameText;        // FileName/Text
  // [Batch]: settings of our own, absent from a fresh thumb.ini; 0 off (as the original), 1 on.
  std::int16_t FolderDrop = 0;  // Batch/FolderDrop: a dropped folder adds the files below it
  std::int16_t KeepTree = 0;    // Batch/KeepTree: the output folder mirrors the dropped tree
  std::int16_t SkipDone = 0;    // Batch/SkipDone: an up-to-date thumbnail is not made again
  std::int16_t KeepGoing = 0;   // Batch/KeepGoing: a file that fails is logged and the run goes on
  std::int16_t AutoScene = 0;   // Batch/AutoScene: a clip without a scene starts at its first non-blank frame

  // The two frames as FrameTemplate values (copies of the flat fields above).
  FrameTemplate StillFrame() const {
    return {StillFrameTop, StillFrameLeft, StillFrameWidth, StillFrameHeight, StillFrameFile};
  }
  FrameTemplate VideoFrame() const {
    return {VideoFrameTop, VideoFrameLeft, VideoFrameWidth, VideoFrameHeight, VideoFrameFile};
  }
  FrameTemplate Frame(FrameKind kind) const { return kind == FrameKind::Still ? StillFrame() : VideoFrame(); }
  // Sets a frame's file and its four numbers together.
  void SetFrame(FrameKind kind, const FrameTemplate& frame) {
    if (kind == FrameKind::Still) {
      StillFrameTop = frame.Top;
      StillFrameLeft = frame.Left;
      StillFrameWidth = frame.Width;
      StillFrameHeight = frame.Height;
      StillFrameFile = frame.File;
    } else {
      VideoFrameTop = frame.Top;
      VideoFrameLeft = frame.Left;
      VideoFrameWidth = frame.Width;
      VideoFrameHeight = frame.Height;
      VideoFrameFile = frame.File;
    }
  }
};

}  // namespace mirelo::app
