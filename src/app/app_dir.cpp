// AppDir resolution (design.md section 4).

#include "app/app_dir.h"

#include <unistd.h>

#include <cstdlib>
#include <system_error>

namespace mirelo::app {

std::optional<std::filesystem::path> ExecutableDir() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec || exe.empty()) return std::nullopt;
  return exe.parent_path();
}

#ifndef MIRELO_INSTALL_BINDIR
#define MIRELO_INSTALL_BINDIR "/usr/local/bin"
#endif

bool IsSystemProgramFolder(const std::filesystem::path& dir) {
  namespace fs = std::filesystem;
  static constexpr const char* kFolders[] = {
      MIRELO_INSTALL_BINDIR, "/usr/bin",        "/usr/local/bin", "/bin",
      "/usr/sbin",           "/usr/local/sbin", "/sbin",          "/usr/games",
  };
  // Canonical forms, so /bin on a merged-/usr system and trailing slashes compare equal.
  std::error_code ec;
  const fs::path self = fs::weakly_canonical(dir, ec);
  if (ec) return false;
  for (const char* folder : kFolders) {
    const fs::path system = fs::weakly_canonical(folder, ec);
    if (!ec && self == system) return true;
  }
  return false;
}

std::filesystem::path ResolveAppDir(const std::filesystem::path& executableDir, const char* xdgConfigHome,
                                    const char* home) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!executableDir.empty() && fs::is_directory(executableDir, ec) &&
      ::access(executableDir.c_str(), W_OK) == 0 && !IsSystemProgramFolder(executableDir))
    return executableDir;
  fs::path base;
  if (xdgConfigHome && *xdgConfigHome && fs::path(xdgConfigHome).is_absolute()) {
    base = xdgConfigHome;  // the XDG rule: a relative value is ignored
  } else if (home && *home) {
    base = fs::path(home) / ".config";
  } else {
    base = fs::temp_directory_path(ec);
  }
  const fs::path dir = base / "mirelo";
  fs::create_directories(dir, ec);
  return dir;
}

std::filesystem::path ResolveAppDir() {
  return ResolveAppDir(ExecutableDir().value_or(std::filesystem::path()), std::getenv("XDG_CONFIG_HOME"),
                       std::getenv("HOME"));
}

}  // namespace mirelo::app
