#include "cli/cli_config.h"

#include <algorithm>
#include <cerrno>
#include <functional>
#include <random>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <system_error>
#include <unordered_set>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "app/app_dir.h"
#include "app/settings_store.h"
#include "app/size_presets.h"
#include "app/utilities.h"
#include "platform/error.h"
#include "platform/imaging/imaging_control.h"
#include "platform/video/media_probe.h"
#include "production/extensions.h"
#include "production/folder_reader.h"

namespace mirelo::cli {

namespace fs = std::filesystem;

namespace {

// LoadSettings' control effects without widgets: the list selections are checked against the
// lists the desktop window has, the size preset fills the size box texts, a frame picture is
// loaded to see that it can be.
class HeadlessSink : public app::SettingsSink {
 public:
  HeadlessSink(fs::path sizeFile, std::vector<std::string> presetNames, production::SizeTexts& sizes)
      : sizeFile_(std::move(sizeFile)), names_(std::move(presetNames)), sizes_(sizes) {}

  void SetWindowTop(std::int16_t) override {}
  void SetWindowLeft(std::int16_t) override {}
  void SelectSizePreset(std::int16_t index) override {
    if (index < 0 || static_cast<std::size_t>(index) >= names_.size()) throw Error(err::kInvalidPropertyValue);
    const app::SizeSelection selection = app::CbSizeClick(sizeFile_, names_, index);
    sizes_ = {selection.widthText, selection.heightText};
  }
  void SelectOption(app::OptionButton) override {}
  void SelectFormat(std::int16_t index) override { RequireIndex(index, app::kFormatCount); }
  void HideQuality() override {}
  void SetQualitySlider(std::int16_t quality) override {
    if (quality < 0 || quality > 100) throw Error(err::kInvalidPropertyValue);
  }
  void SetQualityLabel(const std::string&) override {}
  void ShowOutputFolder(const std::string&) override {}
  void SelectNamingRule(std::int16_t index) override { RequireIndex(index, 3); }
  void SetNameText(const std::string&) override {}
  void SetFrameEditFile(const std::string&) override {}
  void LoadFramePicture(app::FrameKind, const std::string& path) override {
    imaging::ImagingControl picture;
    picture.Load(path);
  }

 private:
  static void RequireIndex(std::int16_t index, int count) {
    if (index < 0 || index >= count) throw Error(err::kInvalidPropertyValue);
  }

  fs::path sizeFile_;
  std::vector<std::string> names_;
  production::SizeTexts& sizes_;
};

constexpr std::string_view kScratchPrefix = "mirelo-batch-";
constexpr const char* kScratchLock = ".lock";

// Scratch folders of this user that no living run holds: left by a run that was killed. A folder
// still without its lock is given a minute, the time between its creation and its lock.
void RemoveStaleScratchFolders(const fs::path& temp) {
  std::error_code ec;
  for (fs::directory_iterator it(temp, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path& folder = it->path();
    const std::string name = folder.filename().string();
    struct stat info {};
    if (name.rfind(kScratchPrefix, 0) != 0 || name.size() != kScratchPrefix.size() + 6) continue;
    if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) continue;
    const int fd = ::open((folder / kScratchLock).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    bool stale = false;
    if (fd >= 0) {
      stale = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
      ::close(fd);
    } else if (errno == ENOENT) {
      stale = std::time(nullptr) - info.st_mtime > 60;
    }
    std::error_code removeError;
    if (stale) fs::remove_all(folder, removeError);
  }
}

// A private copy of thumb.ini for the overrides of one run, removed afterwards. The folder's lock
// is held while the run lives, so a run killed before its clean-up leaves a folder the next run
// recognises as stale and removes.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::error_code ec;
    const fs::path temp = fs::temp_directory_path(ec);
    RemoveStaleScratchFolders(temp);
    std::string pattern = (temp / (std::string(kScratchPrefix) + "XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) throw CliError(kExitEndedEarly, "cannot create a temporary folder");
    path_ = pattern;
    // Locked before it gets its name, so no other run sees the lock free while this one lives.
    const fs::path lock = path_ / "lock.new";
    lockFd_ = ::open(lock.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (lockFd_ < 0 || ::flock(lockFd_, LOCK_EX) != 0 || ::rename(lock.c_str(), (path_ / kScratchLock).c_str()) != 0) {
      throw CliError(kExitEndedEarly, "cannot create a temporary folder");
    }
  }
  ~ScratchFolder() {
    // The lock goes last, so a run killed while cleaning up leaves a folder seen as stale.
    std::error_code ec;
    for (fs::directory_iterator it(path_, ec), end; !ec && it != end; it.increment(ec)) {
      std::error_code removeError;
      if (it->path().filename() != kScratchLock) fs::remove_all(it->path(), removeError);
    }
    fs::remove(path_ / kScratchLock, ec);
    fs::remove(path_, ec);
    if (lockFd_ >= 0) ::close(lockFd_);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
  int lockFd_ = -1;
};

production::SizeTexts SizeFromArgument(const SizeArgument& size, std::vector<std::string>& warnings) {
  // Both zero is the preset that keeps the source size; otherwise the boxes' own limits apply,
  // as when a typed value leaves its box.
  if (app::TextToInt16(size.width).value == 0 && app::TextToInt16(size.height).value == 0 &&
      app::TextToInt16(size.width).ok() && app::TextToInt16(size.height).ok()) {
    return {"0", "0"};
  }
  const app::SizeBoxCheck width = app::SizeBoxLostFocus(size.width);
  const app::SizeBoxCheck height = app::SizeBoxLostFocus(size.height);
  if (width.beep || height.beep) {
    warnings.push_back("size " + size.width + "x" + size.height + " taken as " + width.text + "x" + height.text +
                       " (each side 10 to 1024, 1024 itself included, as in the size boxes)");
  }
  return {width.text, height.text};
}

// Creates a missing config file whole under a name of its own, then links it into place unless
// another process did first: runs started side by side on a new config folder (a shard on each
// core) would otherwise read each other's half-written file and run with different settings.
bool CreateOnce(const fs::path& file, const std::function<bool(const fs::path&)>& make) {
  std::random_device random;
  const fs::path temp = file.parent_path() / ("." + file.filename().string() + "." + std::to_string(::getpid()) + "." +
                                              std::to_string(random()) + ".new");
  std::error_code ec;
  bool placed = make(temp);
  if (placed) placed = ::link(temp.c_str(), file.c_str()) == 0 || errno == EEXIST;
  fs::remove(temp, ec);
  return placed;
}

// The entry of a path with the --scene text in force: auto marks it; N% becomes the seconds of
// that share of the clip's length (a clip whose length is unknown, or a picture, gets none).
production::BatchEntry EntryFor(const std::string& path, const std::string& scene, const std::string& root) {
  if (scene == kAutoScene) return {path, true, "", root, true};
  if (const std::optional<double> percent = SceneShare(scene)) {
    if (production::KindOf(path) != production::EntryKind::Video) return {path, true, "", root};
    try {
      const double duration = video::ProbeMedia(path).duration;
      if (!(duration > 0.0)) return {path, true, "", root};
      char text[40];
      std::snprintf(text, sizeof text, " %.15g", duration * *percent / 100.0);
      return {path, true, text, root};
    } catch (const Error&) {
      return {path, true, "", root};  // the capture reports what is wrong with the clip
    }
  }
  return {path, true, scene, root};
}

std::string VerdictText(production::DropVerdict verdict) {
  switch (verdict) {
    case production::DropVerdict::Accepted:
      return "accepted";
    case production::DropVerdict::Missing:
      return "no such file";
    case production::DropVerdict::NotRegularFile:
      return "not a regular file";
    case production::DropVerdict::Hidden:
      return "hidden file";
    case production::DropVerdict::Unsupported:
      return "not a supported file type";
    case production::DropVerdict::AlreadyListed:
      return "listed already";
  }
  return "skipped";
}

}  // namespace

fs::path DefaultConfigDir() { return app::ResolveAppDir(); }

RunConfig LoadRunConfig(const CliOptions& options) {
  RunConfig config;
  config.configDir = options.configDir ? fs::path(*options.configDir) : DefaultConfigDir();
  std::error_code ec;
  // A dry run writes nothing, its config included: it reads copies, and the files a real run
  // would create with defaults are made in the copies' folder.
  std::optional<ScratchFolder> dryRunCopies;
  fs::path folder = config.configDir;
  if (options.dryRun) {
    dryRunCopies.emplace();
    folder = dryRunCopies->path();
    for (const char* name : {app::kSizeFileName, app::kSettingsFileName}) {
      const fs::path file = config.configDir / name;
      if (!fs::exists(file, ec)) continue;
      fs::copy_file(file, folder / name, ec);
      if (ec) throw CliError(kExitEndedEarly, "cannot read " + file.string());
    }
  } else {
    fs::create_directories(config.configDir, ec);
    if (!fs::is_directory(config.configDir)) {
      throw CliError(kExitEndedEarly, "cannot create the config folder " + config.configDir.string());
    }
  }

  // Start-up order of the desktop program: size.ini first, then thumb.ini.
  const fs::path sizeFile = folder / app::kSizeFileName;
  if (!fs::exists(sizeFile, ec) && !CreateOnce(sizeFile, [](const fs::path& f) { return app::CreateSizeFile(f); })) {
    throw CliError(kExitEndedEarly, "cannot create " + sizeFile.string());
  }
  const std::vector<std::string> names = app::LoadSizes(sizeFile);
  production::SizeTexts& sizes = config.settings.sizes;
  {
    const app::SizeSelection first = app::CbSizeClick(sizeFile, names, 0);
    sizes = {first.widthText, first.heightText};
  }

  const fs::path iniFile = folder / app::kSettingsFileName;
  if (!fs::exists(iniFile, ec) &&
      !CreateOnce(iniFile, [](const fs::path& f) { return app::CreateSettingsFile(f, 0, 0); })) {
    throw CliError(kExitEndedEarly, "cannot create " + iniFile.string());
  }

  HeadlessSink sink(sizeFile, names, sizes);
  if (options.overrides.empty()) {
    app::LoadSettings(iniFile, config.settings.settings, sink);
  } else {
    ScratchFolder scratch;
    const fs::path copy = scratch.path() / app::kSettingsFileName;
    fs::copy_file(iniFile, copy, ec);
    if (ec) throw CliError(kExitEndedEarly, "cannot read " + iniFile.string());
    for (const IniOverride& o : options.overrides) {
      if (!app::WriteIni(o.value, o.key, o.section, copy)) {
        throw CliError(kExitEndedEarly, "cannot apply --set " + o.section + "/" + o.key);
      }
    }
    app::LoadSettings(copy, config.settings.settings, sink);
  }

  if (options.preset) {
    const auto it = std::find(names.begin(), names.end(), *options.preset);
    if (it == names.end()) {
      std::string known;
      for (const std::string& name : names) known += "\n  " + name;
      throw CliError(kExitUsage, "no size preset named \"" + *options.preset + "\"; the presets are:" + known);
    }
    const int index = static_cast<int>(it - names.begin());
    const app::SizeSelection selection = app::CbSizeClick(sizeFile, names, index);
    config.settings.settings.SizeIndex = selection.sizeIndex;
    sizes = {selection.widthText, selection.heightText};
  }
  if (options.size) sizes = SizeFromArgument(*options.size, config.warnings);
  // The flags as their keys; the files are never written.
  app::ThumbSettings& s = config.settings.settings;
  if (options.keepGoing) s.KeepGoing = 1;
  if (options.keepTree) s.KeepTree = 1;
  if (options.skipDone) s.SkipDone = 1;
  return config;
}

CollectedEntries CollectEntries(const std::vector<PathArgument>& paths, bool recursive,
                                const app::ThumbSettings& settings) {
  CollectedEntries collected;
  // A set keeps a tree of millions of files from going quadratic.
  std::unordered_set<std::string> listed;
  for (const PathArgument& argument : paths) {
    std::error_code ec;
    // Entries hold full paths, as a drop delivers them.
    fs::path full = fs::absolute(argument.path, ec).lexically_normal();
    if (full.has_filename() == false && full.has_parent_path()) full = full.parent_path();
    const std::string text = full.string();
    if (fs::is_directory(full, ec)) {
      production::FolderReadOptions options;
      options.recursive = recursive;
      options.settings = &settings;
      production::FolderReadResult found = production::ReadFolderTree(text, options);
      for (std::string& file : found.files) {
        if (listed.insert(file).second) collected.entries.push_back(EntryFor(file, argument.scene, text));
      }
      for (std::string& file : found.ownOutput) collected.ownOutput.push_back(std::move(file));
      for (std::string& folder : found.unreadable) collected.unreadable.push_back(std::move(folder));
      continue;
    }
    const production::DropVerdict verdict = production::CheckDropPath(text, {});
    if (verdict != production::DropVerdict::Accepted || !listed.insert(text).second) {
      const auto why = verdict != production::DropVerdict::Accepted ? verdict : production::DropVerdict::AlreadyListed;
      if (argument.fromList) {
        ++collected.skippedFromList;
      } else {
        collected.skipped.push_back(argument.path + ": " + VerdictText(why));
      }
      continue;
    }
    const std::string root = fs::path(argument.path).is_absolute() ? std::string() : fs::current_path(ec).string();
    collected.entries.push_back(EntryFor(text, argument.scene, root));
  }
  return collected;
}

}  // namespace mirelo::cli
