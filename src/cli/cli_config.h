#pragma once

// The settings of one mirelo-batch run: thumb.ini and size.ini in the config folder (created
// with defaults when missing), loaded as the desktop program loads them at start-up, then the
// command line's overrides, which never reach the files.

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "production/batch_engine.h"

namespace mirelo::cli {

// A failure before the run, with the exit status it ends the program with.
class CliError : public std::runtime_error {
 public:
  CliError(int status, const std::string& message) : std::runtime_error(message), status_(status) {}
  int status() const { return status_; }

 private:
  int status_;
};

struct RunConfig {
  std::filesystem::path configDir;
  production::BatchSettings settings;
  std::vector<std::string> warnings;  // told on standard error, the run goes on
};

// The default config folder: the desktop program's AppDir rule.
std::filesystem::path DefaultConfigDir();

// Throws CliError: status 2 for an unknown preset, status 3 when the folder or its files cannot
// be created.
RunConfig LoadRunConfig(const CliOptions& options);

struct CollectedEntries {
  std::vector<production::BatchEntry> entries;
  std::vector<std::string> skipped;     // PATH arguments not taken, with the reason
  int skippedFromList = 0;              // paths of --files-from not taken (told as a count)
  std::vector<std::string> ownOutput;   // files in folders passed over as this program's thumbnails
  std::vector<std::string> unreadable;  // folders that could not be read
};

// The list entries of the PATH arguments, by the rules of a drop; a folder gives its files (and,
// with recursive, those of its sub folders) as a folder drop reads them, each with the folder as
// its root; settings tell the program's own thumbnails apart. A file given by a relative path
// has the working folder as its root, so KeepTree keeps the folders it was named with.
CollectedEntries CollectEntries(const std::vector<PathArgument>& paths, bool recursive,
                                const app::ThumbSettings& settings);

}  // namespace mirelo::cli
