#include "production/naming.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <memory>

#include "app/utilities.h"
#include "platform/error.h"
#include "platform/imaging/imaging_control.h"
#include "production/folder_reader.h"

namespace mirelo::production {
namespace {

// No file name on Linux is longer than 255 bytes, so after this many underscores no candidate can
// be taken; only an injected test that answers "taken" for everything gets here.
constexpr std::size_t kMaxPrefix = 4096;

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

std::string FileNameFor(const OutputNameParts& parts, std::size_t prefixLength) {
  std::string fileName(prefixLength, '_');
  fileName += parts.name;
  fileName += '.';
  fileName += parts.extension;
  if (parts.lowerCase) {
    for (char& c : fileName) c = AsciiLower(c);
  }
  return fileName;
}

std::string LowerAscii(std::string s) {
  for (char& c : s) c = AsciiLower(c);
  return s;
}

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

// Calls f with every name in the folder; false when the folder does not exist. Throws 75 when
// it cannot be listed.
template <typename F>
bool ForEachName(const std::string& folder, F&& f) {
  const std::string dirPath = folder.empty() ? std::string(".") : folder;
  std::unique_ptr<DIR, DirCloser> dir(::opendir(dirPath.c_str()));
  if (!dir) {
    if (errno == ENOENT || errno == ENOTDIR) return false;  // the save reports the missing folder
    throw Error(kPathFileAccessError, "cannot list folder " + dirPath);
  }
  errno = 0;
  while (const dirent* entry = ::readdir(dir.get())) {
    if (f(std::string_view(entry->d_name))) return true;
  }
  if (errno != 0) throw Error(kPathFileAccessError, "cannot list folder " + dirPath);
  return true;
}

bool ExactEntryExists(const std::string& folder, const std::string& fileName) {
  struct stat st {};
  return ::lstat((folder + fileName).c_str(), &st) == 0;
}

}  // namespace

bool NameTakenOnDisk(const std::string& folder, const std::string& fileName) {
  // The exact name first: the usual answer, and the only one a folder without read permission
  // can give.
  if (ExactEntryExists(folder, fileName)) return true;
  bool found = false;
  ForEachName(folder, [&](std::string_view name) {
    found = EqualsIgnoringCase(name, fileName);
    return found;
  });
  return found;
}

bool RunNameIndex::Taken(const std::string& folder, const std::string& fileName) {
  const std::lock_guard<std::mutex> lock(mutex_);
  auto it = lowered_.find(folder);
  if (it == lowered_.end()) {
    std::unordered_set<std::string> names;
    ForEachName(folder, [&](std::string_view name) {
      names.insert(LowerAscii(std::string(name)));
      return false;
    });
    it = lowered_.emplace(folder, std::move(names)).first;
  }
  const std::string key = LowerAscii(fileName);
  if (it->second.count(key) > 0 || ExactEntryExists(folder, fileName)) {
    it->second.insert(key);
    return true;
  }
  it->second.insert(key);  // handed out: the caller writes it next
  return false;
}

NameTakenTest RunNameIndex::Test() {
  return [this](const std::string& folder, const std::string& fileName) { return Taken(folder, fileName); };
}

std::string OutputExtension(std::int16_t formatIndex, std::int16_t jpegExt) {
  switch (formatIndex) {
    case 0:
    case 1:
      return jpegExt == 1 ? "jpeg" : "jpg";
    case 2:
      return "png";
    case 3:
    case 4:
      return "gif";
    case 5:
      return "pct";
    case 6:
      return "bmp";
    case app::kWebpFormatIndex:
      return "webp";
    default:
      return {};
  }
}

OutputNameParts OutputNamePartsFor(std::string_view sourcePath, const app::ThumbSettings& settings,
                                   std::string_view root) {
  const app::SplitPathResult split = app::SplitPath(sourcePath);
  OutputNameParts parts;
  std::string folder = split.dir;
  if (settings.OutputMode == 1) {
    folder = settings.OutputPath.value_or(std::string());
    if (settings.KeepTree == 1 && !folder.empty()) {
      if (const std::optional<std::string> below = FolderBelowRoot(sourcePath, root); below && !below->empty()) {
        folder = app::AddTrailingSeparator(std::move(folder)) + *below;
      }
    }
  }
  // An empty folder stays the current folder rather than becoming the root "/".
  parts.folder = folder.empty() ? std::string() : app::AddTrailingSeparator(std::move(folder));

  const std::string text = settings.NameText.value_or(std::string());
  switch (settings.NameMode) {
    case 1:
      parts.name = text + split.base;
      break;
    case 2:
      parts.name = split.base + text;
      break;
    default:
      parts.name = split.base;
      break;
  }
  parts.extension = OutputExtension(settings.FormatIndex, settings.JpegExt);
  parts.lowerCase = settings.LowerCaseName == 1;
  return parts;
}

std::string OutputCandidate(const OutputNameParts& parts, std::size_t prefixLength) {
  return parts.folder + FileNameFor(parts, prefixLength);
}

std::string MakeOutputPath(std::string_view sourcePath, const app::ThumbSettings& settings,
                           const NameTakenTest& taken) {
  return MakeOutputPath(OutputNamePartsFor(sourcePath, settings), taken);
}

std::string MakeOutputPath(const OutputNameParts& parts, const NameTakenTest& taken) {
  for (std::size_t prefix = 0; prefix <= kMaxPrefix; ++prefix) {
    // The test is made on the name that will be written, lowered or not.
    const std::string fileName = FileNameFor(parts, prefix);
    if (!taken(parts.folder, fileName)) return parts.folder + fileName;
  }
  throw Error(err::kFileAlreadyExists, "no free output name for " + parts.name);
}

namespace {

std::string WriteUnderFreeName(const OutputNameParts& parts, const std::function<void(const std::string& path)>& write,
                               const NameTakenTest& taken) {
  for (std::size_t prefix = 0; prefix <= kMaxPrefix; ++prefix) {
    const std::string fileName = FileNameFor(parts, prefix);
    if (taken(parts.folder, fileName)) continue;
    const std::string path = parts.folder + fileName;
    try {
      write(path);
      return path;
    } catch (const Error& e) {
      // Another program took the name between the test and the creation: next candidate.
      if (e.number() != err::kFileAlreadyExists) throw;
    }
  }
  throw Error(err::kFileAlreadyExists, "no free output name for " + parts.name);
}

}  // namespace

std::string WriteUnderFreeName(std::string_view sourcePath, const app::ThumbSettings& settings,
                               const std::function<void(const std::string& path)>& write,
                               const NameTakenTest& taken) {
  return WriteUnderFreeName(OutputNamePartsFor(sourcePath, settings), write, taken);
}

std::string WriteBytesUnderFreeName(std::string_view sourcePath, const app::ThumbSettings& settings,
                                    std::span<const std::uint8_t> bytes, const NameTakenTest& taken) {
  return WriteBytesUnderFreeName(OutputNamePartsFor(sourcePath, settings), bytes, taken);
}

std::string WriteBytesUnderFreeName(const OutputNameParts& parts, std::span<const std::uint8_t> bytes,
                                    const NameTakenTest& taken) {
  return WriteUnderFreeName(
      parts,
      [bytes](const std::string& path) {
        imaging::WriteFileBytes(path, bytes, imaging::CreateMode::Exclusive);
      },
      taken);
}

std::optional<std::string> UpToDateThumbnail(std::string_view sourcePath, const OutputNameParts& parts) {
  if (parts.extension.empty()) return std::nullopt;
  const std::string thumbnail = OutputCandidate(parts, 0);
  struct stat source {};
  struct stat made {};
  if (::stat(std::string(sourcePath).c_str(), &source) != 0 || ::stat(thumbnail.c_str(), &made) != 0) {
    return std::nullopt;
  }
  if (!S_ISREG(made.st_mode)) return std::nullopt;
  // With the source's own name (same name, same extension) the "thumbnail" is the source.
  if (made.st_dev == source.st_dev && made.st_ino == source.st_ino) return std::nullopt;
  const auto older = [](const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
  };
  if (older(made.st_mtim, source.st_mtim)) return std::nullopt;
  return thumbnail;
}

void CreateTreeFolders(const OutputNameParts& parts, const app::ThumbSettings& settings) {
  if (settings.OutputMode != 1 || !settings.OutputPath || settings.OutputPath->empty()) return;
  std::error_code ec;
  if (!std::filesystem::is_directory(*settings.OutputPath, ec)) return;
  std::filesystem::create_directories(parts.folder, ec);
}

}  // namespace mirelo::production
