#pragma once

// Reading dropped folders: the supported files below a folder in the order a file manager shows
// them, without hidden entries, each folder walked once however many links lead to it, and
// without the thumbnails this program made. Shared by the window's folder drop and
// mirelo-batch. GUI-free.

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/thumb_settings.h"

namespace mirelo::production {

// A file manager's order of two names: letters compared without regard to (ASCII) case, runs of
// digits by their value (IMG_2 before IMG_10); names equal that way fall back to their bytes.
bool NaturalLess(std::string_view a, std::string_view b);

// The log line of a folder that cannot be read (the folder's path stands on the line before it).
inline constexpr std::string_view kFolderUnreadableLine = "→ERROR:フォルダーを読み込めません。";

// The single AppendLog message for a folder that cannot be read: path, CR LF, error line.
std::string FolderUnreadableMessage(std::string_view folder);

// Whether fileName (of a folder holding the supported files `siblings`) is the name the naming
// rule of settings gives another of them, with any run of underscores added in front (compared
// without regard to case, as names are taken).
class OwnOutputNames {
 public:
  OwnOutputNames(const std::vector<std::string>& siblings, const app::ThumbSettings& settings);
  bool IsOwnOutput(std::string_view fileName) const;

 private:
  std::vector<std::pair<std::string, std::string>> names_;  // lowered output name, source name; sorted
};

struct FolderReadResult {
  std::vector<std::string> files;       // supported files, full paths, in order
  std::vector<std::string> ownOutput;   // files passed over as this program's thumbnails
  std::vector<std::string> unreadable;  // folders that could not be listed (the root included)
};

struct FolderReadOptions {
  bool recursive = true;
  // The settings whose output folder and naming rule tell the program's own thumbnails apart.
  const app::ThumbSettings* settings = nullptr;
  // Checked between folders; true ends the walk with what was found so far.
  const std::atomic<bool>* cancel = nullptr;
  // Called with each folder's files as it is done (result.files holds them too), so a caller can
  // show them while the walk goes on.
  std::function<void(const std::vector<std::string>& files)> onFolderDone;
};

// The files below root (a folder path; a trailing "/" is dropped): its own files first, in
// NaturalLess order, then each sub folder in that order. Names starting with "." are skipped,
// files and folders alike; a linked folder is followed unless it was walked already. When the
// output folder (OutputMode 1) lies below root, nothing inside it is taken.
FolderReadResult ReadFolderTree(const std::string& root, const FolderReadOptions& options);

// The relative path of an entry's folder below its root ("" for a file directly in it), or
// nothing when path does not lie below root.
std::optional<std::string> FolderBelowRoot(std::string_view path, std::string_view root);

}  // namespace mirelo::production
