#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace mirelo::imaging::detail {

// Reads a whole picture file. 20010 when it does not exist (or the path is empty), 20007 when it
// exists but cannot be read (permission, I/O error, a folder or another non-regular file),
// 20009 when it is larger than any picture we accept.
std::vector<std::uint8_t> ReadPictureFile(const std::filesystem::path& path);

}  // namespace mirelo::imaging::detail
