#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace mirelo {

// Error numbers the program tells apart. They are the numbers users see in the error log,
// so they stay stable whatever library produced the failure underneath.
namespace err {
inline constexpr std::int32_t kOverflow = 6;
inline constexpr std::int32_t kDivisionByZero = 11;
inline constexpr std::int32_t kTypeMismatch = 13;
inline constexpr std::int32_t kFileAlreadyExists = 58;
inline constexpr std::int32_t kPathNotFound = 76;
inline constexpr std::int32_t kInvalidPropertyValue = 380;
inline constexpr std::int32_t kFileCannotBeRead = 20007;
inline constexpr std::int32_t kInvalidFileFormat = 20009;
inline constexpr std::int32_t kFileNotFound = 20010;
}  // namespace err

// One exception type for every failure that carries a program error number. The handler that
// owns the outcome (a window slot, the batch engine, the CLI) catches it; it never crosses a Qt
// slot or a C library callback.
class Error : public std::runtime_error {
 public:
  Error(std::int32_t number, const std::string& what) : std::runtime_error(what), number_(number) {}
  explicit Error(std::int32_t number) : Error(number, "error " + std::to_string(number)) {}

  std::int32_t number() const noexcept { return number_; }

 private:
  std::int32_t number_;
};

}  // namespace mirelo
