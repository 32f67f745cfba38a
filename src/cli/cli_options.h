#pragma once

// The command line of mirelo-batch, parsed into a plain struct. Parsing looks at nothing but
// the arguments, so it is tested without files.

#include <cstddef>
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
  bool fromList = false;  // read from --files-from
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
  bool keepGoing = false;  // Batch/KeepGoing = 1
  bool keepTree = false;   // Batch/KeepTree = 1
  bool skipDone = false;   // Batch/SkipDone = 1
  std::optional<std::string> filesFrom;  // more PATHs, one a line ("-": standard input)
  std::optional<std::string> failedTo;   // where the failed entries' paths are written
  bool nulSeparated = false;             // -0: --files-from and --failed-to use NUL, not new lines
  int shardIndex = 0;                    // --shard K/N: K (1..N); 0 without
  int shardCount = 0;                    // N
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

// The paths of a --files-from text: one a line (a CR before the line end is dropped, empty lines
// are skipped) or, with nul, each ended by a NUL byte.
std::vector<std::string> SplitPathList(const std::string& text, bool nul);

// The --failed-to text of these paths, in the form SplitPathList reads.
std::string JoinPathList(const std::vector<std::string>& paths, bool nul);

// --shard K/N: whether the entry at this position (0-based) of the input belongs to shard K.
inline bool InShard(std::size_t position, int k, int n) {
  return n <= 0 || static_cast<int>(position % static_cast<std::size_t>(n)) == k - 1;
}

// Whether SECTION/KEY is a key of thumb.ini (letter case ignored).
bool IsSettingsKey(const std::string& section, const std::string& key);

}  // namespace mirelo::cli
