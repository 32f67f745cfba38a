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

// An open picture file, checked as ReadPictureFile checks it; a reader may stream from it.
class PictureFile {
 public:
  explicit PictureFile(const std::filesystem::path& path);
  ~PictureFile();
  PictureFile(const PictureFile&) = delete;
  PictureFile& operator=(const PictureFile&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The first bytes of the file (fewer when it is shorter), without moving on.
  std::size_t Peek(std::uint8_t* out, std::size_t length) const;
  // Up to `length` bytes from the current position; fewer only at the end of the file. -1 on an
  // I/O error, whose errno error() keeps. For readers that must not throw.
  std::ptrdiff_t Read(std::uint8_t* out, std::size_t length) noexcept;
  int error() const { return error_; }
  // The rest of the file; 20007 on an I/O error.
  FileBytes ReadAll();

 private:
  std::filesystem::path path_;
  int fd_ = -1;
  std::size_t size_ = 0;
  int error_ = 0;
};

// Reads a whole picture file. 20010 when it does not exist (or the path is empty), 20007 when it
// exists but cannot be read (permission, I/O error, a folder or another non-regular file),
// 20009 when it is larger than any picture we accept.
FileBytes ReadPictureFile(const std::filesystem::path& path);

}  // namespace mirelo::imaging::detail
