// Settings store.

#include "app/settings_store.h"

#include <exception>
#include <string>
#include <system_error>

#include "app/utilities.h"
#include "platform/error.h"
#include "platform/ini/ini_file.h"

namespace mirelo::app {
namespace {

// One writer bound to a file, in the argument order of WriteIni.
struct Writer {
  const std::filesystem::path& file;
  void Text(std::optional<std::string_view> value, std::string_view key, std::string_view section) const {
    WriteIni(value, key, section, file);
  }
  void Plain(std::int64_t value, std::string_view key, std::string_view section) const {
    Text(std::to_string(value), key, section);
  }
  void Signed(std::int64_t value, std::string_view key, std::string_view section) const {
    Text(SignedNumberText(value), key, section);
  }
};

std::int16_t ReadNumber(const std::filesystem::path& file, std::string_view key, std::string_view section) {
  return TextToInt16OrThrow(ReadIni(key, section, file));
}

// The keys that only fill the record (LoadSettings group 1, step 13), in the order in which
// WriteDefaultSettings, LoadSettings and the options dialog's save take them.
struct OptionKey {
  const char* section;
  const char* key;
  std::int16_t ThumbSettings::*field;
  const char* defaultText;
  bool savedByOptions;  // Proc/DPI is written only when the file is created
};
constexpr OptionKey kOptionKeys[] = {
    {"Thumbnail", "Fit", &ThumbSettings::FitMode, "1", true},
    {"Filter", "Sharp", &ThumbSettings::SharpOn, "0", true},
    {"Filter", "SharpValue", &ThumbSettings::SharpValue, "340", true},
    {"Filter", "Mono", &ThumbSettings::MonoOn, "0", true},
    {"FileName", "Char", &ThumbSettings::LowerCaseName, "1", true},
    {"FileName", "Jpeg", &ThumbSettings::JpegExt, "0", true},
    {"Proc", "AutoTrim", &ThumbSettings::AutoTrimOn, "0", true},
    {"Proc", "AutoTrimTH", &ThumbSettings::AutoTrimThreshold, "32", true},
    {"Proc", "AutoContrast", &ThumbSettings::AutoContrastOn, "0", true},
    {"Proc", "DPI", &ThumbSettings::DpiOn, "1", false},
    {"Proc", "DPIValue", &ThumbSettings::DpiValue, "72", true},
};

// [Batch]: the switches of our own. The original program ignores the section; a fresh file has
// none, and each key reads on its own, a missing or unreadable one as 0 (off).
struct BatchKey {
  const char* key;
  std::int16_t ThumbSettings::*field;
};
constexpr const char* kBatchSection = "Batch";
constexpr BatchKey kBatchKeys[] = {
    {"FolderDrop", &ThumbSettings::FolderDrop}, {"KeepTree", &ThumbSettings::KeepTree},
    {"SkipDone", &ThumbSettings::SkipDone},     {"KeepGoing", &ThumbSettings::KeepGoing},
    {"AutoScene", &ThumbSettings::AutoScene},
};

void LoadBatchKeys(const std::filesystem::path& file, ThumbSettings& s) {
  for (const BatchKey& k : kBatchKeys) {
    const Int16Result number = TextToInt16(ReadIni(k.key, kBatchSection, file));
    s.*k.field = number.ok() ? number.value : 0;
  }
}

const char* SectionOf(FrameKind kind) { return kind == FrameKind::Still ? "StillFrame" : "VideoFrame"; }

// Groups 2 and 3 of LoadSettings.
void LoadFrameGroup(const std::filesystem::path& file, ThumbSettings& settings, SettingsSink& sink,
                    FrameKind kind) {
  const char* section = SectionOf(kind);
  FrameTemplate frame = settings.Frame(kind);
  const std::string text = ReadIni("File", section, file);
  frame.File = text;
  settings.SetFrame(kind, frame);
  sink.SetFrameEditFile(text);
  std::error_code ec;
  if (text == kIniError || !std::filesystem::is_regular_file(text, ec)) {
    settings.SetFrame(kind, FrameTemplate{});
    return;
  }
  sink.LoadFramePicture(kind, text);
  // Each number reaches the record as soon as it is read, so a failure keeps the earlier ones.
  std::int16_t FrameTemplate::*const fields[] = {&FrameTemplate::Top, &FrameTemplate::Left,
                                                 &FrameTemplate::Width, &FrameTemplate::Height};
  const char* const keys[] = {"Top", "Left", "Width", "Height"};
  for (int i = 0; i < 4; ++i) {
    frame.*fields[i] = ReadNumber(file, keys[i], section);
    settings.SetFrame(kind, frame);
  }
}

void LoadMainGroup(const std::filesystem::path& file, ThumbSettings& s, SettingsSink& sink) {
  auto num = [&](std::string_view key, std::string_view section) { return ReadNumber(file, key, section); };
  sink.SetWindowTop(num("Top", "Location"));
  sink.SetWindowLeft(num("Left", "Location"));
  s.FrameMode = num("Mode", "Thumbnail");
  s.SizeIndex = num("Size", "Thumbnail");
  sink.SelectSizePreset(s.SizeIndex);
  if (s.FrameMode == 0)
    sink.SelectOption(OptionButton::ThumbWaku1);
  else if (s.FrameMode == 1)
    sink.SelectOption(OptionButton::ThumbWaku2);
  s.FormatIndex = num("Mode", "Image");
  s.Quality = num("Quality", "Image");
  sink.SelectFormat(s.FormatIndex);
  if (!FormatTakesQuality(s.FormatIndex)) {
    sink.HideQuality();
  } else {
    sink.SetQualitySlider(s.Quality);
    sink.SetQualityLabel(SignedNumberText(s.Quality) + "%");
  }
  s.OutputMode = num("Mode", "Output");
  const std::string path = ReadIni("Path", "Output", file);
  if (path != kIniError) {
    s.OutputPath = path;
    sink.ShowOutputFolder(path);
  } else {
    s.OutputPath.reset();
    s.OutputMode = 0;
  }
  if (s.OutputMode == 0)
    sink.SelectOption(OptionButton::ThumbOut1);
  else if (s.OutputMode == 1)
    sink.SelectOption(OptionButton::ThumbOut2);
  s.NameMode = num("Mode", "FileName");
  s.NameText = ReadIni("Text", "FileName", file);
  sink.SelectNamingRule(s.NameMode);
  sink.SetNameText(*s.NameText);
  for (const OptionKey& k : kOptionKeys) s.*k.field = num(k.key, k.section);
}

// Runs one group; any failure abandons the rest of it (the caller goes on with the next group).
template <typename Group>
void Guarded(Group group) {
  try {
    group();
  } catch (const std::exception&) {
  }
}

}  // namespace

// The keys of WriteDefaultSettings in their order.
static std::vector<ini::KeyValue> DefaultSettings(std::int32_t windowTop, std::int32_t windowLeft) {
  std::vector<ini::KeyValue> values = {
      {"Program", "Version", "1.10"},
      {"Location", "Top", std::to_string(windowTop)},
      {"Location", "Left", std::to_string(windowLeft)},
      {"Thumbnail", "Mode", "0"},
      {"Thumbnail", "Size", "0"},
      {"Image", "Mode", "0"},
      {"Image", "Quality", "100"},
      {"Output", "Mode", "0"},
      {"Output", "Path", ""},
      {"FileName", "Mode", "1"},
      {"FileName", "Text", "_thum"},
  };
  for (const OptionKey& k : kOptionKeys) values.push_back({k.section, k.key, k.defaultText});
  return values;
}

bool CreateSettingsFile(const std::filesystem::path& iniFile, std::int32_t windowTop,
                        std::int32_t windowLeft) {
  // Written once, whole: a first start killed half-way leaves no file rather than a part of one.
  return ini::CreateFile(iniFile, {";ミレロ", ";本体用", ""}, DefaultSettings(windowTop, windowLeft));
}

void WriteDefaultSettings(const std::filesystem::path& iniFile, std::int32_t windowTop,
                          std::int32_t windowLeft) {
  ini::WriteValues(iniFile, DefaultSettings(windowTop, windowLeft));
}

void LoadSettings(const std::filesystem::path& iniFile, ThumbSettings& settings, SettingsSink& sink) {
  Guarded([&] { LoadMainGroup(iniFile, settings, sink); });
  Guarded([&] { LoadFrameGroup(iniFile, settings, sink, FrameKind::Still); });
  Guarded([&] { LoadFrameGroup(iniFile, settings, sink, FrameKind::Video); });
  LoadBatchKeys(iniFile, settings);
}

void SaveMainSettings(const std::filesystem::path& iniFile, const ThumbSettings& s, std::int32_t windowTop,
                      std::int32_t windowLeft) {
  const Writer w{iniFile};
  w.Plain(windowTop, "Top", "Location");
  w.Plain(windowLeft, "Left", "Location");
  w.Signed(s.FrameMode, "Mode", "Thumbnail");
  if (s.FrameMode == 1) SaveFrameSettings(iniFile, s);
  w.Signed(s.SizeIndex, "Size", "Thumbnail");
  w.Signed(s.FormatIndex, "Mode", "Image");
  w.Signed(s.Quality, "Quality", "Image");
  w.Signed(s.OutputMode, "Mode", "Output");
  w.Text(s.OutputPath, "Path", "Output");
  w.Signed(s.NameMode, "Mode", "FileName");
  w.Text(s.NameText, "Text", "FileName");
}

void SaveOptionSettings(const std::filesystem::path& iniFile, const ThumbSettings& s) {
  const Writer w{iniFile};
  for (const OptionKey& k : kOptionKeys) {
    if (k.savedByOptions) w.Signed(s.*k.field, k.key, k.section);
  }
  for (const BatchKey& k : kBatchKeys) w.Signed(s.*k.field, k.key, kBatchSection);
}

void SaveFrameSettings(const std::filesystem::path& iniFile, const ThumbSettings& s) {
  const Writer w{iniFile};
  for (const FrameKind kind : {FrameKind::Still, FrameKind::Video}) {
    const FrameTemplate frame = s.Frame(kind);
    if (frame.Top == -1) continue;
    const char* section = SectionOf(kind);
    w.Text(frame.File, "File", section);
    w.Signed(frame.Top, "Top", section);
    w.Signed(frame.Left, "Left", section);
    w.Signed(frame.Width, "Width", section);
    w.Signed(frame.Height, "Height", section);
  }
}

void SaveWindowPosition(const std::filesystem::path& iniFile, std::int32_t windowLeft,
                        std::int32_t windowTop) {
  const Writer w{iniFile};
  w.Plain(windowLeft, "LEFT", "LOCATION");
  w.Plain(windowTop, "TOP", "LOCATION");
}

}  // namespace mirelo::app
