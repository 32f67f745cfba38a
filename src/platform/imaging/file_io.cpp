#include "platform/imaging/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "platform/error.h"
#include "platform/imaging/imaging_control.h"

namespace mirelo::imaging {
namespace {

// Larger files hold no picture within our size limits (200 megapixels, even at 64 bits a pixel
// uncompressed, stay below this).
constexpr std::int64_t kMaxFileBytes = std::int64_t(2) << 30;

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

std::string Describe(const std::filesystem::path& path, int error) {
  return path.string() + ": " + std::strerror(error);
}

int OpenErrorNumber(int error) {
  switch (error) {
    case EEXIST: return err::kFileAlreadyExists;
    case ENOENT:
    case ENOTDIR: return err::kPathNotFound;
    default: return err::kFileCannotBeRead;
  }
}

bool WriteAll(int fd, std::span<const std::uint8_t> bytes, int* error) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      *error = errno;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Writes into an open, newly created file; on failure the file is closed and removed.
void FillNewFile(Fd& fd, const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  int error = 0;
  bool ok = WriteAll(fd.get(), bytes, &error);
  if (::close(fd.release()) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    ::unlink(path.c_str());
    throw Error(err::kFileCannotBeRead, Describe(path, error));
  }
}

}  // namespace

namespace detail {

PictureFile::PictureFile(const std::filesystem::path& path) : path_(path) {
  if (path.empty()) throw Error(err::kFileNotFound, "empty path");
  // O_NONBLOCK keeps a named pipe from blocking the open; it is refused below anyway.
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (fd.get() < 0) {
    int e = errno;
    bool missing = e == ENOENT || e == ENOTDIR || e == ENAMETOOLONG;
    throw Error(missing ? err::kFileNotFound : err::kFileCannotBeRead, Describe(path, e));
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) throw Error(err::kFileCannotBeRead, Describe(path, errno));
  if (!S_ISREG(st.st_mode)) throw Error(err::kFileCannotBeRead, path.string() + ": not a regular file");
  if (st.st_size > kMaxFileBytes) throw Error(err::kInvalidFileFormat, path.string() + ": file too large");
  ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  size_ = static_cast<std::size_t>(st.st_size);
  fd_ = fd.release();
}

PictureFile::~PictureFile() { ::close(fd_); }

std::size_t PictureFile::Peek(std::uint8_t* out, std::size_t length) const {
  std::size_t done = 0;
  while (done < length) {
    ssize_t n = ::pread(fd_, out + done, length - done, off_t(done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw Error(err::kFileCannotBeRead, Describe(path_, errno));
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

std::ptrdiff_t PictureFile::Read(std::uint8_t* out, std::size_t length) noexcept {
  std::size_t done = 0;
  while (done < length) {
    ssize_t n = ::read(fd_, out + done, length - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      error_ = errno;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<std::ptrdiff_t>(done);
}

FileBytes PictureFile::ReadAll() {
  // read() rather than mmap: a file cut short while mapped would raise SIGBUS in the decoder.
  FileBytes bytes;
  bytes.data = std::make_unique_for_overwrite<std::uint8_t[]>(size_);
  const std::ptrdiff_t n = Read(bytes.data.get(), size_);
  if (n < 0) throw Error(err::kFileCannotBeRead, Describe(path_, error_));
  bytes.size = static_cast<std::size_t>(n);  // a file that shrank while we read it: decode what is there
  return bytes;
}

FileBytes ReadPictureFile(const std::filesystem::path& path) { return PictureFile(path).ReadAll(); }

}  // namespace detail

void WriteFileBytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes, CreateMode mode) {
  if (mode == CreateMode::Exclusive) {
    // O_EXCL also refuses a dangling symbolic link, so nothing of that name is ever followed.
    Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666));
    if (fd.get() < 0) {
      int e = errno;
      throw Error(path.empty() ? err::kPathNotFound : OpenErrorNumber(e), Describe(path, e));
    }
    FillNewFile(fd, path, bytes);
    return;
  }
  // Replace: write a temporary file next to the target and rename it over, so the old file is
  // never left half-overwritten.
  static std::atomic<unsigned> counter{0};
  const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
  std::filesystem::path temp;
  int fdNumber = -1;
  for (int attempt = 0; attempt < 100 && fdNumber < 0; ++attempt) {
    temp = folder / ("." + path.filename().string() + ".tmp" + std::to_string(::getpid()) + "-" +
                     std::to_string(counter.fetch_add(1)));
    fdNumber = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fdNumber < 0 && errno != EEXIST) break;
  }
  if (fdNumber < 0) {
    int e = errno;
    throw Error(e == EEXIST ? err::kFileCannotBeRead : OpenErrorNumber(e), Describe(path, e));
  }
  Fd fd(fdNumber);
  FillNewFile(fd, temp, bytes);
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    int e = errno;
    ::unlink(temp.c_str());
    throw Error(e == EISDIR || e == ENOTEMPTY || e == EEXIST ? err::kFileAlreadyExists : OpenErrorNumber(e),
                Describe(path, e));
  }
}

}  // namespace mirelo::imaging
