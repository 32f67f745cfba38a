#include "production/extensions.h"

#include <sys/stat.h>

#include <algorithm>
#include <iterator>
#include <unordered_set>

namespace mirelo::production {

std::string GetFileExt(std::string_view name) {
  const auto dot = name.rfind('.');
  if (dot == std::string_view::npos) return {};
  return std::string(name.substr(dot + 1));
}

namespace {

// The tables are ASCII, so lowering ASCII letters is all a match can depend on.
std::string LoweredExt(std::string_view name) {
  std::string ext = GetFileExt(name);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
  return ext;
}

template <std::size_t N>
bool Listed(const std::string_view (&table)[N], std::string_view ext) {
  return std::find(std::begin(table), std::end(table), ext) != std::end(table);
}

}  // namespace

std::int16_t ExtOK(std::string_view name) {
  const auto pos = kSupportedExtensions.find(LoweredExt(name));
  if (pos == std::string_view::npos) return 0;
  return static_cast<std::int16_t>(pos + 1);
}

std::optional<EntryKind> SupportedKind(std::string_view path) {
  if (const std::int16_t position = ExtOK(path); position > 0) return KindFromPosition(position);
  const std::string ext = LoweredExt(path);
  if (Listed(kModernStillExtensions, ext)) return EntryKind::Still;
  if (Listed(kModernVideoExtensions, ext)) return EntryKind::Video;
  return std::nullopt;
}

namespace {

// Everything but the duplicate test.
DropVerdict CheckFile(const std::string& path) {
  // stat follows a symbolic link: the link is taken for what it points to.
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return DropVerdict::Missing;
  if (!S_ISREG(st.st_mode)) return DropVerdict::NotRegularFile;
  std::string_view name = path;
  while (name.size() > 1 && name.back() == '/') name.remove_suffix(1);
  if (const auto slash = name.rfind('/'); slash != std::string_view::npos) name.remove_prefix(slash + 1);
  if (!name.empty() && name.front() == '.') return DropVerdict::Hidden;
  if (!SupportedKind(path)) return DropVerdict::Unsupported;
  return DropVerdict::Accepted;
}

}  // namespace

DropVerdict CheckDropPath(const std::string& path, const std::vector<std::string>& listed) {
  const DropVerdict verdict = CheckFile(path);
  if (verdict != DropVerdict::Accepted) return verdict;
  if (std::find(listed.begin(), listed.end(), path) != listed.end()) return DropVerdict::AlreadyListed;
  return DropVerdict::Accepted;
}

std::vector<std::string> AcceptDroppedPaths(const std::vector<std::string>& dropped,
                                            const std::vector<std::string>& listed) {
  // A set keeps large drops (a folder walked by mirelo-batch) from going quadratic.
  std::unordered_set<std::string> seen(listed.begin(), listed.end());
  std::vector<std::string> accepted;
  for (const auto& path : dropped) {
    if (CheckFile(path) != DropVerdict::Accepted) continue;
    if (!seen.insert(path).second) continue;
    accepted.push_back(path);
  }
  return accepted;
}

}  // namespace mirelo::production
