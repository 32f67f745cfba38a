#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>

namespace mirelo::imaging::detail {

// A file's bytes in a buffer that was never zero-filled (a photo's file runs to tens of
// megabytes, and clearing it first cost as much as reading it).
struct FileBytes {
  std::unique_ptr<std::uint8_t[]> data;
  std::size_t size = 0;
  std::span<const std::uint8_t> view() const { return {data.get(), size}; }
};

// Reads a whole picture file. 20010 when it does not exist (or the path is empty), 20007 when it
// exists but cannot be read (permission, I/O error, a folder or another non-regular file),
// 20009 when it is larger than any picture we accept.
FileBytes ReadPictureFile(const std::filesystem::path& path);

}  // namespace mirelo::imaging::detail
