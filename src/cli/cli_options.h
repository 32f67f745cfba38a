#pragma once

// The command line of mirelo-batch, parsed into a plain struct. Parsing looks at nothing but
// the arguments, so it is tested without files.

#include <optional>
#include <string>
#include <vector>

namespace mirelo::cli {

// Exit statuses.
enum ExitStatus : int {
  kExitDone = 0,          // every selected entry was done
  kExitEntriesFailed = 1, // the run completed, some entries failed
  kExitUsage = 2,         // bad usage; nothing was run
  kExitEndedEarly = 3,    // the run ended early (an error, or a cancel)
};

// --scene auto: the first frame that shows something (see video::AutoScenePosition).
inline constexpr const char* kAutoScene = "auto";
// The percentage of --scene N% (0 to 100, digits with an optional decimal point), or nullopt.
std::optional<double> SceneShare(const std::string& text);

// One PATH argument with the --scene text in force where it stood ("" when none): seconds, N% or
// auto.
struct PathArgument {
  std::string path;
  std::string scene;
  friend bool operator==(const PathArgument&, const PathArgument&) = default;
};

// --set SECTION/KEY=VALUE.
struct IniOverride {
  std::string section;
  std::string key;
  std::string value;
  friend bool operator==(const IniOverride&, const IniOverride&) = default;
};

// --size WxH: the two texts as they would be typed into the size boxes.
struct SizeArgument {
  std::string width;
  std::string height;
  friend bool operator==(const SizeArgument&, const SizeArgument&) = default;
};

struct CliOptions {
  std::optional<std::string> configDir;
  std::vector<IniOverride> overrides;
  std::optional<SizeArgument> size;
  std::optional<std::string> preset;
  std::vector<PathArgument> paths;
  bool recursive = false;
  int jobs = 0;  // 0: one per core
  std::optional<std::string> logFile;
  bool quiet = false;
  bool dryRun = false;  // plan the names, load and write nothing
  bool json = false;    // one JSON object per entry on standard output
  bool help = false;
  bool version = false;
};

struct ParseResult {
  CliOptions options;
  std::string error;  // empty when the command line is usable
  bool ok() const { return error.empty(); }
};

// args: the arguments after the program name. Options take their value as the next argument or
// after "=" (--jobs=4); "--" ends the options.
ParseResult ParseCommandLine(const std::vector<std::string>& args);

// The usage text printed by --help and after a usage error.
std::string UsageText();

// Whether SECTION/KEY is a key of thumb.ini (letter case ignored).
bool IsSettingsKey(const std::string& section, const std::string& key);

}  // namespace mirelo::cli
