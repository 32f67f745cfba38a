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

std::filesystem::path ResolveAppDir(const std::filesystem::path& executableDir, const char* xdgConfigHome,
                                    const char* home) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!executableDir.empty() && fs::is_directory(executableDir, ec) &&
      ::access(executableDir.c_str(), W_OK) == 0)
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
