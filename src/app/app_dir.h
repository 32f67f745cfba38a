#pragma once

#include <filesystem>
#include <optional>

namespace mirelo::app {

// The folder of the running executable (/proc/self/exe), or nullopt.
std::optional<std::filesystem::path> ExecutableDir();

// AppDir (design.md section 4): executableDir when it is a writable folder; otherwise
// $XDG_CONFIG_HOME/mirelo (default ~/.config/mirelo), created on demand. Environment values
// come from the arguments so tests need not touch the process environment; nullptr means unset.
std::filesystem::path ResolveAppDir(const std::filesystem::path& executableDir, const char* xdgConfigHome,
                                    const char* home);

// The same with the process's executable folder and environment.
std::filesystem::path ResolveAppDir();

}  // namespace mirelo::app
