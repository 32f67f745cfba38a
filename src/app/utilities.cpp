// Common utilities and the number forms of the Overview.

#include "app/utilities.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "platform/error.h"
#include "platform/ini/ini_file.h"

namespace mirelo::app {

std::string ReadIni(std::string_view key, std::string_view section, const std::filesystem::path& file) {
  auto value = ini::ReadValue(file, section, key);
  if (!value) return std::string(kIniError);
  // A NUL byte ends the text: no caller gets a path or name with one inside.
  value->resize(std::min(value->size(), value->find('\0')));
  return std::move(*value);
}

bool WriteIni(std::optional<std::string_view> value, std::optional<std::string_view> key,
              std::string_view section, const std::filesystem::path& file) {
  if (!key) return ini::RemoveSection(file, section);
  if (!value) return ini::RemoveKey(file, section, *key);
  return ini::WriteValue(file, section, *key, *value);
}

std::string AddTrailingSeparator(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

SplitPathResult SplitPath(std::string_view path) {
  const auto slash = path.rfind('/');
  const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
  const auto dot = path.rfind('.');
  SplitPathResult result;
  result.dir = std::string(path.substr(0, nameStart));
  if (dot == std::string_view::npos || dot < nameStart) {
    result.base = std::string(path.substr(nameStart));
  } else {
    result.base = std::string(path.substr(nameStart, dot - nameStart));
  }
  return result;
}

std::string SignedNumberText(std::int64_t number) {
  return number < 0 ? std::to_string(number) : " " + std::to_string(number);
}

double RoundHalfEven(double value) {
  if (!std::isfinite(value)) return value;
  const double lower = std::floor(value);
  const double diff = value - lower;
  if (diff < 0.5) return lower;
  if (diff > 0.5) return lower + 1.0;
  return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The number grammar the conversion accepts: [+-] digits [. digits] [(e|E|d|D) [+-] digits], with
// at least one digit before the exponent. Returns the text in from_chars form, or nullopt.
std::optional<std::string> NormaliseNumber(std::string_view t) {
  std::string out;
  std::size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
    if (t[i] == '-') out += '-';
    ++i;
  }
  std::size_t digits = 0;
  while (i < t.size() && IsDigit(t[i])) out += t[i++], ++digits;
  if (i < t.size() && t[i] == '.') {
    out += t[i++];
    while (i < t.size() && IsDigit(t[i])) out += t[i++], ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E' || t[i] == 'd' || t[i] == 'D')) {
    out += 'e';
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) out += t[i++];
    std::size_t expDigits = 0;
    while (i < t.size() && IsDigit(t[i])) out += t[i++], ++expDigits;
    if (expDigits == 0) return std::nullopt;
  }
  if (i != t.size()) return std::nullopt;
  return out;
}

}  // namespace

Int16Result TextToInt16(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  const auto normal = NormaliseNumber(text);
  if (!normal) return {0, err::kTypeMismatch};
  double value = 0;
  const auto [end, ec] = std::from_chars(normal->data(), normal->data() + normal->size(), value);
  if (ec == std::errc::result_out_of_range) {
    // Too large for a double is an overflow; too small is a zero.
    const bool tiny = normal->find("e-") != std::string::npos;
    if (!tiny) return {0, err::kOverflow};
    value = 0;
  } else if (ec != std::errc() || end != normal->data() + normal->size()) {
    return {0, err::kTypeMismatch};
  }
  const double rounded = RoundHalfEven(value);
  if (!(rounded >= -32768.0 && rounded <= 32767.0)) return {0, err::kOverflow};
  return {static_cast<std::int16_t>(rounded), 0};
}

std::int16_t TextToInt16OrThrow(std::string_view text) {
  const Int16Result r = TextToInt16(text);
  if (!r.ok()) throw Error(r.error);
  return r.value;
}

std::int16_t RoundToInt16(double value) {
  const double rounded = RoundHalfEven(value);
  if (!(rounded >= -32768.0 && rounded <= 32767.0)) throw Error(err::kOverflow);
  return static_cast<std::int16_t>(rounded);
}

}  // namespace mirelo::app
