#include "production/folder_reader.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <set>
#include <utility>

#include "production/extensions.h"
#include "production/naming.h"

namespace mirelo::production {
namespace {

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string Lowered(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

using FolderId = std::pair<dev_t, ino_t>;

class TreeWalker {
 public:
  TreeWalker(const FolderReadOptions& options, FolderReadResult& result) : options_(options), result_(result) {
    const app::ThumbSettings* s = options.settings;
    struct stat st {};
    if (s && s->OutputMode == 1 && s->OutputPath && !s->OutputPath->empty() &&
        ::stat(s->OutputPath->c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      output_ = FolderId{st.st_dev, st.st_ino};
    }
  }

  void Walk(const std::string& folder, bool isRoot) {
    if (options_.cancel && options_.cancel->load(std::memory_order_relaxed)) return;
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      result_.unreadable.push_back(folder);
      return;
    }
    const FolderId id{st.st_dev, st.st_ino};
    if (!visited_.insert(id).second) return;
    // The thumbnails of a run into a folder inside the tree are not sources; a drop of the
    // output folder itself is taken as asked.
    if (!isRoot && output_ && *output_ == id) return;

    std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
    if (!dir) {
      result_.unreadable.push_back(folder);
      return;
    }
    std::vector<std::string> files;
    std::vector<std::string> folders;
    const std::string prefix = folder == "/" ? folder : folder + "/";
    while (const dirent* entry = ::readdir(dir.get())) {
      const std::string_view name(entry->d_name);
      if (name.empty() || name.front() == '.') continue;  // ".", ".." and hidden entries
      unsigned char type = entry->d_type;
      if (type == DT_LNK || type == DT_UNKNOWN) {
        // A link is taken for what it points to, as a drop takes it.
        struct stat target {};
        if (::stat((prefix + std::string(name)).c_str(), &target) != 0) continue;
        type = S_ISDIR(target.st_mode) ? DT_DIR : S_ISREG(target.st_mode) ? DT_REG : DT_UNKNOWN;
      }
      if (type == DT_DIR) {
        if (options_.recursive) folders.emplace_back(name);
      } else if (type == DT_REG && SupportedKind(name)) {
        files.emplace_back(name);
      }
    }
    dir.reset();

    const auto natural = [](const std::string& a, const std::string& b) { return NaturalLess(a, b); };
    std::sort(files.begin(), files.end(), natural);
    std::sort(folders.begin(), folders.end(), natural);
    std::vector<std::string> taken;
    taken.reserve(files.size());
    if (options_.settings) {
      const OwnOutputNames own(files, *options_.settings);
      for (const std::string& name : files) {
        (own.IsOwnOutput(name) ? result_.ownOutput : taken).push_back(prefix + name);
      }
    } else {
      for (const std::string& name : files) taken.push_back(prefix + name);
    }
    result_.files.insert(result_.files.end(), taken.begin(), taken.end());
    if (options_.onFolderDone && !taken.empty()) options_.onFolderDone(taken);
    for (const std::string& sub : folders) Walk(prefix + sub, false);
  }

 private:
  const FolderReadOptions& options_;
  FolderReadResult& result_;
  std::set<FolderId> visited_;
  std::optional<FolderId> output_;
};

}  // namespace

bool NaturalLess(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      // Compare the runs by value: without leading zeros, the longer is larger, else digit by digit.
      std::size_t ei = i;
      std::size_t ej = j;
      while (ei < a.size() && IsDigit(a[ei])) ++ei;
      while (ej < b.size() && IsDigit(b[ej])) ++ej;
      std::size_t zi = i;
      std::size_t zj = j;
      while (zi + 1 < ei && a[zi] == '0') ++zi;
      while (zj + 1 < ej && b[zj] == '0') ++zj;
      const std::string_view na = a.substr(zi, ei - zi);
      const std::string_view nb = b.substr(zj, ej - zj);
      if (na.size() != nb.size()) return na.size() < nb.size();
      if (na != nb) return na < nb;
      i = ei;
      j = ej;
      continue;
    }
    const char x = AsciiLower(a[i]);
    const char y = AsciiLower(b[j]);
    if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    ++i;
    ++j;
  }
  if ((a.size() - i) != (b.size() - j)) return (a.size() - i) < (b.size() - j);
  return a < b;
}

std::string FolderUnreadableMessage(std::string_view folder) {
  std::string message(folder);
  message += "\r\n";
  message += kFolderUnreadableLine;
  return message;
}

OwnOutputNames::OwnOutputNames(const std::vector<std::string>& siblings, const app::ThumbSettings& settings) {
  for (const std::string& name : siblings) {
    const OutputNameParts parts = OutputNamePartsFor(name, settings);
    if (parts.extension.empty()) return;  // a format that saves nothing leaves no thumbnails
    names_.emplace_back(Lowered(OutputCandidate(parts, 0).substr(parts.folder.size())), name);
  }
  std::sort(names_.begin(), names_.end());
}

bool OwnOutputNames::IsOwnOutput(std::string_view fileName) const {
  const std::string lowered = Lowered(fileName);
  for (std::size_t k = 0; k <= lowered.size(); ++k) {
    const std::string_view rest = std::string_view(lowered).substr(k);
    auto it = std::lower_bound(names_.begin(), names_.end(), rest,
                               [](const auto& entry, std::string_view key) { return entry.first < key; });
    for (; it != names_.end() && it->first == rest; ++it) {
      if (it->second != fileName) return true;  // the name of another file, not the file's own
    }
    if (k < lowered.size() && lowered[k] != '_') break;
  }
  return false;
}

FolderReadResult ReadFolderTree(const std::string& root, const FolderReadOptions& options) {
  FolderReadResult result;
  std::string folder = root;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  TreeWalker(options, result).Walk(folder, true);
  return result;
}

std::optional<std::string> FolderBelowRoot(std::string_view path, std::string_view root) {
  while (root.size() > 1 && root.back() == '/') root.remove_suffix(1);
  if (root.empty()) return std::nullopt;
  const std::size_t start = root == "/" ? 1 : root.size() + 1;
  if (path.size() <= start || path.substr(0, root.size()) != root || (root != "/" && path[root.size()] != '/')) {
    return std::nullopt;
  }
  const std::string_view rest = path.substr(start);
  const std::size_t slash = rest.rfind('/');
  return slash == std::string_view::npos ? std::string() : std::string(rest.substr(0, slash));
}

}  // namespace mirelo::production
