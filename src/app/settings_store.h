#pragma once

// Settings store: thumb.ini and the ThumbSettings record. GUI-free: the control effects
// of LoadSettings go through SettingsSink, which the desktop window implements with widgets and
// the command line implements headless.

#include <cstdint>
#include <filesystem>
#include <string>

#include "app/thumb_settings.h"

namespace mirelo::app {

// The file name of the settings file inside AppDir.
inline constexpr const char* kSettingsFileName = "thumb.ini";

// Option buttons that LoadSettings selects.
enum class OptionButton {
  ThumbWaku1,  // "枠なし" (FrameMode 0)
  ThumbWaku2,  // "枠付き" (FrameMode 1)
  ThumbOut1,   // "元のファイルと同じにする" (OutputMode 0)
  ThumbOut2,   // "フォルダを指定する" (OutputMode 1)
};

// The control effects of LoadSettings, called in the order the original program used. Selecting
// runs the control's own click behaviour, which is the implementer's business. A failing effect throws mirelo::Error (for example 380 for an index the list does
// not have, or the imaging component's numbers for a frame picture that cannot be loaded);
// LoadSettings catches it and abandons the rest of that group.
class SettingsSink {
 public:
  virtual ~SettingsSink() = default;

  // Group 1, step 1 (twips).
  virtual void SetWindowTop(std::int16_t top) = 0;
  virtual void SetWindowLeft(std::int16_t left) = 0;
  // CbSize.ListIndex := index (runs CbSize_Click).
  virtual void SelectSizePreset(std::int16_t index) = 0;
  // Selects one option button (runs its click behaviour).
  virtual void SelectOption(OptionButton button) = 0;
  // CbFormat.ListIndex := index (runs CbFormat_Click).
  virtual void SelectFormat(std::int16_t index) = 0;
  // A format without a quality (FormatIndex 2..6): SL_Q and Lb_Q are hidden.
  virtual void HideQuality() = 0;
  // SL_Q.Value := quality (slider range 0..100; out of range throws 380).
  virtual void SetQualitySlider(std::int16_t quality) = 0;
  // Lb_Q caption (quality in sign-reserving form followed by "%").
  virtual void SetQualityLabel(const std::string& caption) = 0;
  // Lb_Out caption := the output folder.
  virtual void ShowOutputFolder(const std::string& path) = 0;
  // CbFName.ListIndex := index (runs CbFName_Click).
  virtual void SelectNamingRule(std::int16_t index) = 0;
  // FNameStr.Text := text (its change behaviour copies the text back into NameText).
  virtual void SetNameText(const std::string& text) = 0;
  // FrameEditFile := text, the text as read (possibly "ERROR").
  virtual void SetFrameEditFile(const std::string& text) = 0;
  // Loads an existing frame picture into LEAD3 (still) or LEAD4 (video) at its own colour depth,
  // first page, and redraws the preview. Throws mirelo::Error when it cannot be loaded. A sink
  // without an imaging component may count an existing file as loaded.
  virtual void LoadFramePicture(FrameKind kind, const std::string& path) = 0;
};

// Start-up step 11 for a missing file: creates thumb.ini with ";ミレロ", ";本体用" and an empty
// line (CP932, CR LF), then WriteDefaultSettings. windowTop/windowLeft: the centred position in
// twips. False when the file could not be created.
bool CreateSettingsFile(const std::filesystem::path& iniFile, std::int32_t windowTop,
                        std::int32_t windowLeft);

// Writes every default key in the order (the window position in plain decimal).
void WriteDefaultSettings(const std::filesystem::path& iniFile, std::int32_t windowTop,
                          std::int32_t windowLeft);

// Reads thumb.ini into settings in three guarded groups and drives the controls through sink, then
// the [Batch] keys (each missing or unreadable one as 0). Never fails to its caller.
void LoadSettings(const std::filesystem::path& iniFile, ThumbSettings& settings, SettingsSink& sink);

// The writes of Bt_Save_Click ("設定の保存"): the window position in plain decimal, then the main
// window's fields in sign-reserving form, with the frame save when FrameMode is 1.
void SaveMainSettings(const std::filesystem::path& iniFile, const ThumbSettings& settings,
                      std::int32_t windowTop, std::int32_t windowLeft);

// The options dialog's "保存": ten keys in sign-reserving form, then the five of [Batch].
void SaveOptionSettings(const std::filesystem::path& iniFile, const ThumbSettings& settings);

// Bt_Waku_Save_Click: each frame whose Top is not -1: File, Top, Left, Width, Height.
void SaveFrameSettings(const std::filesystem::path& iniFile, const ThumbSettings& settings);

// The exit command: LOCATION/LEFT then LOCATION/TOP, plain decimal.
void SaveWindowPosition(const std::filesystem::path& iniFile, std::int32_t windowLeft,
                        std::int32_t windowTop);

}  // namespace mirelo::app
