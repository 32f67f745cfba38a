#pragma once

// Small file helpers shared by the app tests.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace mirelo::app::testing {

inline std::string ReadBytes(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::filesystem::path& p, std::string_view bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace mirelo::app::testing
