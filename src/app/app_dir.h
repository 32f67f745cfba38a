#pragma once

#include <filesystem>
#include <optional>

namespace mirelo::app {

// The folder of the running executable (/proc/self/exe), or nullopt.
std::optional<std::filesystem::path> ExecutableDir();

// True for the folders installed programs live in (/usr/bin and the like, and the configured install
// bindir): a program there is installed, not portable, whoever may write to the folder.
bool IsSystemProgramFolder(const std::filesystem::path& dir);

// AppDir (design.md section 4): executableDir when it is a writable folder that is not a system
// program folder; otherwise $XDG_CONFIG_HOME/mirelo (default ~/.config/mirelo), created on demand.
// Environment values come from the arguments so tests need not touch the process environment;
// nullptr means unset.
std::filesystem::path ResolveAppDir(const std::filesystem::path& executableDir, const char* xdgConfigHome,
                                    const char* home);

// The same with the process's executable folder and environment.
std::filesystem::path ResolveAppDir();

}  // namespace mirelo::app
