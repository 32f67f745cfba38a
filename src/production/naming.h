#pragma once

// Where a thumbnail goes and what it is called. GUI-free; paths are UTF-8 texts with "/".

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "app/thumb_settings.h"

namespace mirelo::production {

// Error number of a name test whose folder exists but cannot be listed (permission, I/O).
inline constexpr std::int32_t kPathFileAccessError = 75;

// Whether a file name counts as taken in a folder. folder ends in "/" or is empty (the current
// folder).
using NameTakenTest = std::function<bool(const std::string& folder, const std::string& fileName)>;

// The test on disk: taken when any entry of that name exists in the folder, files, folders and
// hidden entries alike, compared without regard to (ASCII) letter case. A folder that does not
// exist holds nothing; a folder that cannot be listed throws mirelo::Error 75.
bool NameTakenOnDisk(const std::string& folder, const std::string& fileName);

// The same test for a whole run, for folders with many files: each folder is listed once, and a
// name answered free counts as taken from then on (the caller is about to write it). The exact
// name is still looked up on disk every time, so a file another program creates meanwhile is
// seen; exclusive creation covers the rest. Thread-safe.
class RunNameIndex {
 public:
  bool Taken(const std::string& folder, const std::string& fileName);
  // A NameTakenTest bound to this index (which must outlive it).
  NameTakenTest Test();

 private:
  std::mutex mutex_;
  std::unordered_map<std::string, std::unordered_set<std::string>> lowered_;  // by folder
};

// The fixed parts of the output name of one entry.
struct OutputNameParts {
  std::string folder;      // with its trailing "/", or empty for the current folder
  std::string name;        // base name with the naming text
  std::string extension;   // without the dot; empty for a format index without a file
  bool lowerCase = false;  // lower the file name (not the folder)
};

// Folder, name and extension from the source path and the settings. root: the folder the entry
// was found under ("" for a file dropped by itself); with KeepTree and an output folder, the
// entry's folder below root is kept below the output folder.
OutputNameParts OutputNamePartsFor(std::string_view sourcePath, const app::ThumbSettings& settings,
                                   std::string_view root = {});

// Output extension of a format index ("jpg"/"jpeg", "png", "gif", "pct", "bmp", "webp"); empty outside 0..7.
std::string OutputExtension(std::int16_t formatIndex, std::int16_t jpegExt);

// folder + prefixLength underscores + name + "." + extension, the file-name part lowered when
// asked (ASCII letters).
std::string OutputCandidate(const OutputNameParts& parts, std::size_t prefixLength);

// MakeOutputPath: the first candidate, with 0, 1, 2 ... underscores before the name, whose
// written file name is not taken. Throws what the test throws.
std::string MakeOutputPath(std::string_view sourcePath, const app::ThumbSettings& settings,
                           const NameTakenTest& taken = NameTakenOnDisk);
std::string MakeOutputPath(const OutputNameParts& parts, const NameTakenTest& taken = NameTakenOnDisk);

// Names and writes in one go so nothing is ever overwritten: write is called with the first free
// candidate and must create the file exclusively, throwing mirelo::Error 58 when the name got
// taken meanwhile; then the next candidate is tried. Returns the path written. Other errors
// propagate.
std::string WriteUnderFreeName(std::string_view sourcePath, const app::ThumbSettings& settings,
                               const std::function<void(const std::string& path)>& write,
                               const NameTakenTest& taken = NameTakenOnDisk);

// The same for encoded bytes, written with imaging::WriteFileBytes (exclusive creation).
std::string WriteBytesUnderFreeName(std::string_view sourcePath, const app::ThumbSettings& settings,
                                    std::span<const std::uint8_t> bytes,
                                    const NameTakenTest& taken = NameTakenOnDisk);
std::string WriteBytesUnderFreeName(const OutputNameParts& parts, std::span<const std::uint8_t> bytes,
                                    const NameTakenTest& taken = NameTakenOnDisk);

// SkipDone: the thumbnail named without added underscores, when it is a file (not the source
// itself) whose modification time is not before the source's.
std::optional<std::string> UpToDateThumbnail(std::string_view sourcePath, const OutputNameParts& parts);

// KeepTree: creates the folders of parts.folder below the output folder, when the output folder
// itself exists (a missing output folder stays an error of the save). Errors are left to the save.
void CreateTreeFolders(const OutputNameParts& parts, const app::ThumbSettings& settings);

}  // namespace mirelo::production
