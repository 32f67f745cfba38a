// Size presets.

#include "app/size_presets.h"

#include <algorithm>
#include <array>

#include "app/utilities.h"
#include "platform/error.h"
#include "platform/ini/ini_file.h"

namespace mirelo::app {
namespace {

constexpr std::string_view kErrorTitle = "エラーメッセージ";

struct BuiltIn {
  const char* name;
  const char* height;
  const char* width;
};
constexpr std::array<BuiltIn, 7> kBuiltIns{{
    {"元画像と同じ", "0", "0"},
    {"100x75", "75", "100"},
    {"120x90", "90", "120"},
    {"160x120", "120", "160"},
    {"200x150", "150", "200"},
    {"240x180", "180", "240"},
    {"280x210", "210", "280"},
}};

// Length in bytes of the last UTF-8 character of a non-empty text.
std::size_t LastCharLength(std::string_view s) {
  std::size_t n = 1;
  while (n < s.size() && n < 4 && (static_cast<unsigned char>(s[s.size() - n]) & 0xC0) == 0x80) ++n;
  return n;
}

std::vector<std::string> SectionLineNames(const std::vector<std::string>& lines) {
  std::vector<std::string> names;
  for (const std::string& line : lines) {
    if (line.empty() || line.front() != '[') continue;
    std::string_view inner = std::string_view(line).substr(1);
    if (!inner.empty()) inner.remove_suffix(LastCharLength(inner));
    names.emplace_back(inner);
  }
  return names;
}

bool Blank(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c == ' ' || c == '\t'; });
}

// A name the INI file can hold as a section that LoadSizes reads back.
bool StorableName(std::string_view name) {
  return name.find_first_of(std::string_view("]\r\n\0", 4)) == std::string_view::npos;
}

}  // namespace

static std::vector<ini::KeyValue> BuiltInValues() {
  std::vector<ini::KeyValue> values;
  for (const BuiltIn& preset : kBuiltIns) {
    values.push_back({preset.name, "Reserve", "1"});
    values.push_back({preset.name, "Height", preset.height});
    values.push_back({preset.name, "Width", preset.width});
  }
  return values;
}

bool CreateSizeFile(const std::filesystem::path& sizeFile) {
  // Written once, whole: a first start killed half-way never leaves a list without the presets.
  return ini::CreateFile(sizeFile, {";ミレロ", ";サイズ用", ""}, BuiltInValues());
}

void WriteDefaultSizes(const std::filesystem::path& sizeFile) { ini::WriteValues(sizeFile, BuiltInValues()); }

std::vector<std::string> LoadSizes(const std::filesystem::path& sizeFile) {
  const auto lines = ini::ReadLines(sizeFile);
  if (!lines) return {};
  std::vector<std::string> names = SectionLineNames(*lines);
  if (!names.empty()) return names;
  // Open case: a file without any section gets the built-in presets, so the list is never empty.
  WriteDefaultSizes(sizeFile);
  const auto again = ini::ReadLines(sizeFile);
  return again ? SectionLineNames(*again) : std::vector<std::string>{};
}

SizeSelection CbSizeClick(const std::filesystem::path& sizeFile, const std::vector<std::string>& names,
                          int index) {
  SizeSelection out;
  out.sizeIndex = static_cast<std::int16_t>(std::clamp(index, -32768, 32767));
  out.widthText = "0";
  out.heightText = "0";
  if (index < 0 || static_cast<std::size_t>(index) >= names.size()) {
    out.beep = true;
    return out;
  }
  const std::string& name = names[static_cast<std::size_t>(index)];
  const Int16Result width = TextToInt16(ReadIni("Width", name, sizeFile));
  const Int16Result height = TextToInt16(ReadIni("Height", name, sizeFile));
  if (!width.ok() || !height.ok()) {
    // Open case: an unreadable preset acts as the one that keeps the source size, with a beep.
    out.beep = true;
    return out;
  }
  out.boxesEnabled = width.value != 0 && height.value != 0;
  out.widthText = std::to_string(width.value);
  out.heightText = std::to_string(height.value);
  return out;
}

PresetOutcome SizeSaveClick(const std::filesystem::path& sizeFile, const SizeListState& state) {
  PresetOutcome out{state.names, state.selectedIndex, false, std::nullopt, std::nullopt};
  const std::string& name = state.editText;
  if (Blank(name)) {
    out.message = MessageText{"名称がありません。", std::string(kErrorTitle)};
    return out;
  }
  if (!StorableName(name)) {
    out.beep = true;
    return out;
  }
  if (ReadIni("Width", name, sizeFile) == kIniError) {
    out.names.push_back(name);
    WriteIni("0", "Reserve", name, sizeFile);
    WriteIni(state.widthText, "Width", name, sizeFile);
    WriteIni(state.heightText, "Height", name, sizeFile);
    return out;
  }
  if (ReadIni("Reserve", name, sizeFile) != "0") {
    out.beep = true;
    out.selection = CbSizeClick(sizeFile, out.names, out.selectedIndex);
    return out;
  }
  WriteIni(state.widthText, "Width", name, sizeFile);
  WriteIni(state.heightText, "Height", name, sizeFile);
  return out;
}

PresetOutcome SizeDeleteClick(const std::filesystem::path& sizeFile, const SizeListState& state) {
  PresetOutcome out{state.names, state.selectedIndex, false, std::nullopt, std::nullopt};
  const std::string& name = state.editText;
  if (out.names.size() <= 1) {
    out.message = MessageText{"これ以上、削除できません。", std::string(kErrorTitle)};
  } else if (Blank(name) || ReadIni("Reserve", name, sizeFile) != "0") {
    out.beep = true;
  } else {
    WriteIni(std::nullopt, std::nullopt, name, sizeFile);
    // Open cases: the list loses the entry of the section the file lost (the first one of that
    // name, as the file's first section of that name is the one removed), whatever is selected.
    // The selection stays on the same entry; when that entry was removed, the one above it is
    // selected (entry 0 when it was the first).
    const auto it = std::find_if(out.names.begin(), out.names.end(),
                                 [&](const std::string& n) { return ini::NamesEqual(n, name); });
    if (it != out.names.end()) {
      const int removed = static_cast<int>(it - out.names.begin());
      out.names.erase(it);
      if (removed < out.selectedIndex)
        --out.selectedIndex;
      else if (removed == out.selectedIndex)
        out.selectedIndex = std::max(removed - 1, 0);
    }
    if (out.selectedIndex >= static_cast<int>(out.names.size()))
      out.selectedIndex = static_cast<int>(out.names.size()) - 1;
  }
  out.selection = CbSizeClick(sizeFile, out.names, out.selectedIndex);
  return out;
}

SizeBoxCheck SizeBoxLostFocus(std::string_view text) {
  const Int16Result r = TextToInt16(text);
  if (!r.ok()) {
    // Open cases (design.md section 8): empty or non-numeric -> 10, beyond 16 bits -> the
    // nearest limit.
    const bool negative = text.find('-') != std::string_view::npos;
    return {r.error == err::kOverflow && !negative ? "1024" : "10", true};
  }
  std::int16_t value = r.value;
  bool beep = false;
  if (value >= 1024) {
    beep = true;
    value = 1024;
  }
  if (value < 10) {
    beep = true;
    value = 10;
  }
  return {std::to_string(value), beep};
}

}  // namespace mirelo::app
