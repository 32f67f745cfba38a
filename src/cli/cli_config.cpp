#include "cli/cli_config.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <system_error>
#include <unistd.h>

#include "app/app_dir.h"
#include "app/settings_store.h"
#include "app/size_presets.h"
#include "app/utilities.h"
#include "platform/error.h"
#include "platform/imaging/imaging_control.h"
#include "platform/video/media_probe.h"
#include "production/extensions.h"

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

// A private copy of thumb.ini for the overrides of one run, removed afterwards.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::error_code ec;
    std::string pattern = (fs::temp_directory_path(ec) / "mirelo-batch-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw CliError(kExitEndedEarly, "cannot create a temporary folder");
    path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
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

bool Hidden(const fs::path& path) {
  const std::string name = path.filename().string();
  return !name.empty() && name[0] == '.';
}

// The entry of a path with the --scene text in force: auto marks it; N% becomes the seconds of
// that share of the clip's length (a clip whose length is unknown, or a picture, gets none).
production::BatchEntry EntryFor(const std::string& path, const std::string& scene) {
  if (scene == kAutoScene) return {path, true, "", true};
  if (const std::optional<double> percent = SceneShare(scene)) {
    if (production::KindOf(path) != production::EntryKind::Video) return {path, true, ""};
    try {
      const double duration = video::ProbeMedia(path).duration;
      if (!(duration > 0.0)) return {path, true, ""};
      char text[40];
      std::snprintf(text, sizeof text, " %.15g", duration * *percent / 100.0);
      return {path, true, text};
    } catch (const Error&) {
      return {path, true, ""};  // the capture reports what is wrong with the clip
    }
  }
  return {path, true, scene};
}

void CollectFolder(const fs::path& folder, bool recursive, const std::string& scene,
                   std::vector<production::BatchEntry>& entries, std::vector<std::string>& listed) {
  std::vector<fs::path> files;
  std::vector<fs::path> folders;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path& p = it->path();
    if (Hidden(p)) continue;
    std::error_code typeError;
    if (it->is_directory(typeError)) {
      if (recursive) folders.push_back(p);
    } else {
      files.push_back(p);
    }
  }
  std::sort(files.begin(), files.end());
  std::sort(folders.begin(), folders.end());
  for (const fs::path& file : files) {
    const std::string text = file.string();
    if (production::CheckDropPath(text, listed) != production::DropVerdict::Accepted) continue;
    listed.push_back(text);
    entries.push_back(EntryFor(text, scene));
  }
  for (const fs::path& sub : folders) {
    // A linked folder is not followed, so a loop of links cannot recurse forever.
    std::error_code linkError;
    if (fs::is_symlink(sub, linkError)) continue;
    CollectFolder(sub, recursive, scene, entries, listed);
  }
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
  if (!fs::exists(sizeFile, ec) && !app::CreateSizeFile(sizeFile)) {
    throw CliError(kExitEndedEarly, "cannot create " + sizeFile.string());
  }
  const std::vector<std::string> names = app::LoadSizes(sizeFile);
  production::SizeTexts& sizes = config.settings.sizes;
  {
    const app::SizeSelection first = app::CbSizeClick(sizeFile, names, 0);
    sizes = {first.widthText, first.heightText};
  }

  const fs::path iniFile = folder / app::kSettingsFileName;
  if (!fs::exists(iniFile, ec) && !app::CreateSettingsFile(iniFile, 0, 0)) {
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
  return config;
}

std::vector<production::BatchEntry> CollectEntries(const std::vector<PathArgument>& paths, bool recursive,
                                                   std::vector<std::string>& skipped) {
  std::vector<production::BatchEntry> entries;
  std::vector<std::string> listed;
  for (const PathArgument& argument : paths) {
    std::error_code ec;
    // Entries hold full paths, as a drop delivers them.
    fs::path full = fs::absolute(argument.path, ec).lexically_normal();
    if (full.has_filename() == false && full.has_parent_path()) full = full.parent_path();
    const std::string text = full.string();
    if (fs::is_directory(full, ec)) {
      CollectFolder(full, recursive, argument.scene, entries, listed);
      continue;
    }
    const production::DropVerdict verdict = production::CheckDropPath(text, listed);
    if (verdict != production::DropVerdict::Accepted) {
      skipped.push_back(argument.path + ": " + VerdictText(verdict));
      continue;
    }
    listed.push_back(text);
    entries.push_back(EntryFor(text, argument.scene));
  }
  return entries;
}

}  // namespace mirelo::cli
