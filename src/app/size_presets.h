#pragma once

// Size presets: size.ini and the logic of the preset list CbSize and the two size
// boxes, GUI-free. The functions take the state of the widgets and return what the widgets must
// do; the desktop window applies it, the command line uses it headless.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mirelo::app {

inline constexpr const char* kSizeFileName = "size.ini";

// A message box with an OK button only and no icon.
struct MessageText {
  std::string text;
  std::string title;
};

// What CbSize_Click does to the size boxes.
struct SizeSelection {
  std::int16_t sizeIndex = 0;  // the new SizeIndex of ThumbSettings
  std::string widthText;       // SizeWidth text
  std::string heightText;      // SizeHeight text
  bool boxesEnabled = false;   // SizeWidth, SizeHeight, Lb_WakuX, Lb_WakuY
  bool beep = false;           // the preset could not be read (open case, see CbSizeClick)
};

// The list CbSize as the preset functions see it.
struct SizeListState {
  std::vector<std::string> names;  // entries in file order
  int selectedIndex = -1;          // -1: none
  std::string editText;            // the combo's edit text (the name for saving and deleting)
  std::string widthText;           // SizeWidth text
  std::string heightText;          // SizeHeight text
};

// What a button of the presets does: the list afterwards, a beep, a message, and the size boxes
// when CbSize_Click ran.
struct PresetOutcome {
  std::vector<std::string> names;  // the list after the action
  int selectedIndex = -1;          // the selection after the action
  bool beep = false;
  std::optional<MessageText> message;
  std::optional<SizeSelection> selection;  // set when CbSize_Click ran
};

// Start-up step 9 for a missing file: ";ミレロ", ";サイズ用", an empty line, then
// WriteDefaultSizes. False when the file could not be created.
bool CreateSizeFile(const std::filesystem::path& sizeFile);

// The seven built-in presets, keys Reserve, Height, Width.
void WriteDefaultSizes(const std::filesystem::path& sizeFile);

// One name per line starting with "[" (the line without its first and last character), in file
// order, duplicates kept. A file without any section gets the built-in presets appended first
// (WriteDefaultSizes), so the list is never empty. The caller selects entry 0 and runs
// CbSizeClick.
std::vector<std::string> LoadSizes(const std::filesystem::path& sizeFile);

// CbSize_Click for the entry index of names. A preset whose Width or Height is missing or not a
// 16-bit number (or an index outside the list) beeps and shows "0" and "0" in disabled boxes, as
// the preset that keeps the source size.
SizeSelection CbSizeClick(const std::filesystem::path& sizeFile, const std::vector<std::string>& names,
                          int index);

// Bt_SizeSave_Click.
PresetOutcome SizeSaveClick(const std::filesystem::path& sizeFile, const SizeListState& state);

// Bt_SizeDel_Click.
PresetOutcome SizeDeleteClick(const std::filesystem::path& sizeFile, const SizeListState& state);

// SizeWidth_LostFocus / SizeHeight_LostFocus.
struct SizeBoxCheck {
  std::string text;  // the box's new text
  bool beep = false;
};
SizeBoxCheck SizeBoxLostFocus(std::string_view text);

}  // namespace mirelo::app
