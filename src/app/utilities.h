#pragma once

// Common utilities and the number forms of the Overview. GUI-free; texts are UTF-8.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace mirelo::app {

// What ReadIni returns for a missing file, section or key.
inline constexpr std::string_view kIniError = "ERROR";

// One INI value, whole (no 254-byte cut) up to a NUL byte, blanks around it removed; "ERROR"
// when the file, the section or the key is missing. Never fails.
std::string ReadIni(std::string_view key, std::string_view section, const std::filesystem::path& file);

// Writes one INI value. An unset value removes the key; an
// unset key with an unset value removes the whole section. True when the file was written.
bool WriteIni(std::optional<std::string_view> value, std::optional<std::string_view> key,
              std::string_view section, const std::filesystem::path& file);

// AddBackslash, with the platform separator: the path ending in "/".
// An empty path gives "/".
std::string AddTrailingSeparator(std::string path);

// SplitPath. Returned instead of the process-wide SplitDir and SplitBase, so
// that parallel workers can use it.
struct SplitPathResult {
  std::string dir;   // the folder with its trailing "/"; empty when the path has no "/"
  std::string base;  // the file name without its last extension
};
// A file name without a dot (or whose last dot stands in the folder part) gives the whole file
// name as base.
SplitPathResult SplitPath(std::string_view path);

// Sign-reserving number form: " 380" for 380, "-5" for -5, " 0" for 0.
std::string SignedNumberText(std::int64_t number);

// Nearest integer, a half to the even neighbour (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
double RoundHalfEven(double value);

// Result of a conversion to a signed 16-bit integer. error is 0 on success, otherwise the
// program's error number: 13 (type mismatch: "ERROR", empty or non-numeric text) or 6 (overflow:
// outside -32768..32767 after rounding).
struct Int16Result {
  std::int16_t value = 0;
  std::int32_t error = 0;
  bool ok() const { return error == 0; }
};

// Text to signed 16-bit as the original converts it: blanks (spaces, tabs) around the number are
// ignored; an optional sign, digits with an optional fraction and an optional exponent; a
// fraction is rounded half to even.
Int16Result TextToInt16(std::string_view text);

// The same, throwing mirelo::Error with the number 13 or 6 on failure.
std::int16_t TextToInt16OrThrow(std::string_view text);

// A whole number from a fractional value, nearest-even; throws mirelo::Error(6) outside 16 bits.
std::int16_t RoundToInt16(double value);

}  // namespace mirelo::app
