// The camera RAW decoder process: the parent's side (ReadRaw) and the decoder's (ServeRawDecode).
//
// Protocol over one stream socket, native byte order (both ends are this build):
//   parent  -> decoder: "MIRAW001", u64 length, u8 shrink (the file's bytes are in a sealed
//                       memory file, the decoder's descriptor 3, mapped and never copied)
//   decoder -> parent:  'S' i32 width, i32 height   (full upright size; only when shrink is 1)
//   parent  -> decoder: i32 width, i32 height       (the smallest size the caller can use)
//   decoder -> parent:  'I' picture header + pixels, or 'E' i32 number, u32 length, message

#include "platform/imaging/raw_decoder.h"

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/error.h"
#include "platform/imaging/codec_common.h"
#include "platform/imaging/codecs.h"

extern char** environ;

namespace mirelo::imaging {
namespace {

constexpr char kMagic[8] = {'M', 'I', 'R', 'A', 'W', '0', '0', '1'};
// A RAW file larger than this is not a camera's (medium-format backs stay well below).
constexpr std::uint64_t kMaxFileBytes = std::uint64_t{1} << 30;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

struct PictureHeader {
  std::int32_t width, height, format, storedBitsPerPixel, sourceWidth, sourceHeight, paletteSize;
  double dpiX, dpiY;
};

std::mutex g_setupMutex;
std::string g_path;
RawDecoderLimits g_limits;
bool g_limitsSet = false;

RawDecoderLimits DefaultLimits() {
  RawDecoderLimits limits;
  // AddressSanitizer maps terabytes of shadow memory, which any data limit refuses.
  if (kSanitized) limits.memoryBytes = 0;
  // "MB,CPU seconds,seconds" for files beyond the usual (and for tests of mirelo-batch).
  if (const char* env = std::getenv("MIRELO_RAW_DECODER_LIMITS")) {
    unsigned long long mb = 0;
    int cpu = 0, wall = 0;
    if (std::sscanf(env, "%llu,%d,%d", &mb, &cpu, &wall) == 3 && cpu > 0 && wall > 0) {
      limits = {mb << 20, cpu, wall};
    }
  }
  return limits;
}

std::filesystem::path OwnExecutableFolder() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : exe.parent_path();
}

std::string FindDecoder() {
  if (const char* env = std::getenv("MIRELO_RAW_DECODER"); env && *env) return env;
  const auto here = OwnExecutableFolder();
  std::vector<std::filesystem::path> candidates;
  if (!here.empty()) {
    candidates.push_back(here / "mirelo-raw-decoder");
    candidates.push_back(here / ".." / "libexec" / "mirelo" / "mirelo-raw-decoder");
  }
#ifdef MIRELO_RAW_DECODER_BUILD_PATH
  candidates.emplace_back(MIRELO_RAW_DECODER_BUILD_PATH);
#endif
  for (const auto& c : candidates) {
    if (::access(c.c_str(), X_OK) == 0) return c.lexically_normal().string();
  }
  return {};
}

bool WriteAll(int fd, const void* bytes, std::size_t size);

// ---------------------------------------------------------------------------------------------
// The parent's side

class DecoderProcess {
 public:
  DecoderProcess(const std::string& path, const RawDecoderLimits& limits, Bytes data)
      : limits_(limits), deadline_(Clock::now() + std::chrono::seconds(limits.wallSeconds)) {
    const int file = ::memfd_create("mirelo-raw-file", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (file < 0) Fail("cannot create a memory file");
    const bool written = WriteAll(file, data.data(), data.size()) &&
                         ::fcntl(file, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) == 0;
    if (!written) {
      ::close(file);
      Fail("cannot fill a memory file");
    }
    int sv[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) {
      ::close(file);
      Fail("cannot create a socket");
    }
    fd_ = sv[0];
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, sv[1], 0);
    posix_spawn_file_actions_adddup2(&actions, sv[1], 1);
    posix_spawn_file_actions_adddup2(&actions, file, 3);
    posix_spawn_file_actions_addclosefrom_np(&actions, 4);
    posix_spawnattr_init(&attr);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const std::string serve = "--serve";
    char* argv[] = {const_cast<char*>(path.c_str()), const_cast<char*>(serve.c_str()), nullptr};
    const int rc = ::posix_spawn(&pid_, path.c_str(), &actions, &attr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(sv[1]);
    ::close(file);
    if (rc != 0) {
      pid_ = -1;
      Fail(std::string("cannot start ") + path + ": " + std::strerror(rc));
    }
    // The decoder waits for its input, so the limits are in place before it sees a byte.
    const auto limit = [this](int resource, rlim_t soft, rlim_t hard) {
      const rlimit value{soft, hard};
      ::prlimit(pid_, static_cast<__rlimit_resource>(resource), &value, nullptr);
    };
    if (limits_.memoryBytes) limit(RLIMIT_DATA, limits_.memoryBytes, limits_.memoryBytes);
    if (limits_.cpuSeconds > 0) limit(RLIMIT_CPU, rlim_t(limits_.cpuSeconds), rlim_t(limits_.cpuSeconds) + 2);
    limit(RLIMIT_CORE, 0, 0);
  }

  ~DecoderProcess() {
    if (fd_ >= 0) ::close(fd_);
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      int status = 0;
      while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
    }
  }

  DecoderProcess(const DecoderProcess&) = delete;
  DecoderProcess& operator=(const DecoderProcess&) = delete;

  Image Decode(Bytes data, const LoadOptions& options) {
    const std::uint64_t length = data.size();
    const std::uint8_t shrink = options.minimumSize ? 1 : 0;
    Send(kMagic, sizeof kMagic);
    Send(&length, sizeof length);
    Send(&shrink, 1);
    for (;;) {
      char kind = 0;
      Receive(&kind, 1);
      if (kind == 'S' && shrink) {
        std::int32_t full[2];
        Receive(full, sizeof full);
        const Size need = options.minimumSize(Size{full[0], full[1]});
        const std::int32_t answer[2] = {need.width, need.height};
        Send(answer, sizeof answer);
      } else if (kind == 'E') {
        std::int32_t number = 0;
        std::uint32_t size = 0;
        Receive(&number, sizeof number);
        Receive(&size, sizeof size);
        std::string what(std::min<std::uint32_t>(size, 4096), '\0');
        Receive(what.data(), what.size());
        Finish();
        throw Error(number == err::kFileCannotBeRead ? number : err::kInvalidFileFormat, what);
      } else if (kind == 'I') {
        Image image = ReceivePicture();
        Finish();
        return image;
      } else {
        Fail("the RAW decoder answered out of turn");
      }
    }
  }

 private:
  using Clock = std::chrono::steady_clock;

  // Waits for the socket to be ready; a decoder past its time is killed here.
  void Wait(short events) {
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
      if (left <= 0) {
        ::kill(pid_, SIGKILL);
        Reap();
        detail::ThrowInvalidFormat("raw: the decoder took longer than " + std::to_string(limits_.wallSeconds) +
                                   " s and was stopped");
      }
      pollfd p{fd_, events, 0};
      const int n = ::poll(&p, 1, int(std::min<long long>(left, 1000)));
      if (n > 0) return;
      if (n < 0 && errno != EINTR) Died();
    }
  }

  void Send(const void* bytes, std::size_t size) {
    const auto* at = static_cast<const std::uint8_t*>(bytes);
    while (size) {
      Wait(POLLOUT);
      const ssize_t n = ::send(fd_, at, std::min<std::size_t>(size, 1 << 20), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n <= 0) Died();
      at += n;
      size -= std::size_t(n);
    }
  }

  void Receive(void* bytes, std::size_t size) {
    auto* at = static_cast<std::uint8_t*>(bytes);
    while (size) {
      Wait(POLLIN);
      const ssize_t n = ::recv(fd_, at, size, MSG_DONTWAIT);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n <= 0) Died();
      at += n;
      size -= std::size_t(n);
    }
  }

  Image ReceivePicture() {
    PictureHeader h{};
    Receive(&h, sizeof h);
    if (!detail::DimensionsOk(h.width, h.height) || h.format < 0 || h.format > 2 || h.paletteSize < 0 ||
        h.paletteSize > 256 || h.sourceWidth <= 0 || h.sourceHeight <= 0) {
      Fail("the RAW decoder sent an impossible picture");
    }
    Image image;
    image.width = h.width;
    image.height = h.height;
    image.format = static_cast<PixelFormat>(h.format);
    image.storedBitsPerPixel = h.storedBitsPerPixel;
    image.sourceWidth = h.sourceWidth;
    image.sourceHeight = h.sourceHeight;
    image.dpiX = h.dpiX;
    image.dpiY = h.dpiY;
    image.palette.resize(std::size_t(h.paletteSize));
    image.pixels.resize(image.stride() * std::size_t(image.height));
    Receive(image.palette.data(), image.palette.size() * sizeof(Rgb));
    Receive(image.pixels.data(), image.pixels.size());
    return image;
  }

  // The answer is complete: the decoder has nothing left to do but end, which it would spend
  // freeing what the kernel frees at once. Its exit is collected beside the caller, which need
  // not wait for the kernel to tear the process down.
  void Finish() {
    ::close(fd_);
    fd_ = -1;
    ::kill(pid_, SIGKILL);
    try {
      std::thread([pid = pid_] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
      }).detach();
      pid_ = -1;
    } catch (const std::system_error&) {
      Reap();
    }
  }

  int Reap() {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return status;
  }

  // The connection broke: say how the decoder ended.
  [[noreturn]] void Died() {
    ::close(fd_);
    fd_ = -1;
    const int status = Reap();
    if (WIFSIGNALED(status)) {
      const int sig = WTERMSIG(status);
      const char* name = sigabbrev_np(sig);
      if (sig == SIGXCPU)
        detail::ThrowInvalidFormat("raw: the decoder used up its CPU time (" + std::to_string(limits_.cpuSeconds) +
                                   " s) and was stopped");
      detail::ThrowInvalidFormat("raw: the decoder crashed on this file (signal " +
                                 (name ? std::string("SIG") + name : std::to_string(sig)) + ")");
    }
    detail::ThrowInvalidFormat("raw: the decoder ended without an answer (exit status " +
                               std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + ")");
  }

  [[noreturn]] static void Fail(const std::string& what) { detail::ThrowInvalidFormat("raw: " + what); }

  RawDecoderLimits limits_;
  Clock::time_point deadline_;
  int fd_ = -1;
  pid_t pid_ = -1;
};

// ---------------------------------------------------------------------------------------------
// The decoder's side

bool ReadAll(int fd, void* bytes, std::size_t size) {
  auto* at = static_cast<std::uint8_t*>(bytes);
  while (size) {
    const ssize_t n = ::read(fd, at, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += n;
    size -= std::size_t(n);
  }
  return true;
}

bool WriteAll(int fd, const void* bytes, std::size_t size) {
  const auto* at = static_cast<const std::uint8_t*>(bytes);
  while (size) {
    const ssize_t n = ::write(fd, at, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += n;
    size -= std::size_t(n);
  }
  return true;
}

// A system-call filter for decoding: memory, threads (LibRaw demosaics with OpenMP), time, and
// reading and writing descriptors already open. No file can be opened, no process started, no
// socket made, no memory made executable; anything else fails with EPERM.
void Confine() {
  ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
  // The sanitizers' runtimes probe memory through pipes and read /proc to report; a build made
  // to find faults runs without the filter (the release build is tested with it).
  if (kSanitized) return;
#if defined(__x86_64__)
  std::vector<sock_filter> f;
  const auto load = [&](std::uint32_t offset) { f.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offset)); };
  const auto ret = [&](std::uint32_t value) { f.push_back(BPF_STMT(BPF_RET | BPF_K, value)); };
  constexpr std::uint32_t kAllow = SECCOMP_RET_ALLOW, kDeny = SECCOMP_RET_ERRNO | EPERM;
  load(offsetof(seccomp_data, arch));
  f.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0));
  ret(SECCOMP_RET_KILL_PROCESS);
  load(offsetof(seccomp_data, nr));
  f.push_back(BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, 0x40000000u, 0, 1));  // the x32 ABI
  ret(SECCOMP_RET_KILL_PROCESS);
  // Memory may be mapped or changed, but never executable; threads only (CLONE_THREAD); clone3
  // hides its flags from the filter, so glibc is told it is missing and falls back to clone.
  const auto unless = [&](int nr, unsigned arg, std::uint32_t bits, bool allowWhenSet) {
    f.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, std::uint32_t(nr), 0, 4));
    load(offsetof(seccomp_data, args) + arg * 8);
    f.push_back(BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, bits, 1, 0));
    ret(allowWhenSet ? kDeny : kAllow);
    ret(allowWhenSet ? kAllow : kDeny);
    load(offsetof(seccomp_data, nr));
  };
  unless(SYS_mmap, 2, PROT_EXEC, false);
  unless(SYS_mprotect, 2, PROT_EXEC, false);
  unless(SYS_clone, 0, CLONE_THREAD, true);
  f.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_clone3, 0, 1));
  ret(SECCOMP_RET_ERRNO | ENOSYS);
  static constexpr int kAllowed[] = {
      SYS_read, SYS_write, SYS_readv, SYS_writev, SYS_close, SYS_fstat, SYS_newfstatat, SYS_lseek,
      SYS_munmap, SYS_mremap, SYS_brk, SYS_madvise, SYS_futex, SYS_set_robust_list, SYS_rseq,
      SYS_rt_sigreturn, SYS_rt_sigprocmask, SYS_rt_sigaction, SYS_sigaltstack, SYS_sched_yield,
      SYS_sched_getaffinity, SYS_getpid, SYS_gettid, SYS_tgkill, SYS_clock_gettime,
      SYS_clock_nanosleep, SYS_nanosleep, SYS_gettimeofday, SYS_getrandom, SYS_exit, SYS_exit_group};
  for (int nr : kAllowed) {
    f.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, std::uint32_t(nr), 0, 1));
    ret(kAllow);
  }
  ret(kDeny);
  const sock_fprog program{static_cast<unsigned short>(f.size()), f.data()};
  ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program, 0, 0);
#endif
}

}  // namespace

void SetRawDecoder(const std::string& path, const RawDecoderLimits& limits) {
  std::lock_guard lock(g_setupMutex);
  g_path = path;
  g_limits = limits;
  g_limitsSet = !path.empty();
}

std::string RawDecoderPath() {
  std::lock_guard lock(g_setupMutex);
  if (g_path.empty()) g_path = FindDecoder();
  return g_path;
}

Image ReadRaw(Bytes data, const LoadOptions& options) {
  const std::string path = RawDecoderPath();
  RawDecoderLimits limits;
  {
    std::lock_guard lock(g_setupMutex);
    limits = g_limitsSet ? g_limits : DefaultLimits();
  }
  if (path.empty()) detail::ThrowInvalidFormat("raw: the RAW decoder program mirelo-raw-decoder is missing");
  if (data.size() > kMaxFileBytes) detail::ThrowInvalidFormat("raw: file too large");
  DecoderProcess decoder(path, limits, data);
  return decoder.Decode(data, options);
}

int ServeRawDecode(int fd, int fileFd) {
  char magic[sizeof kMagic];
  std::uint64_t length = 0;
  std::uint8_t shrink = 0;
  if (!ReadAll(fd, magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof magic) != 0 ||
      !ReadAll(fd, &length, sizeof length) || !ReadAll(fd, &shrink, 1) || length > kMaxFileBytes) {
    return 2;
  }
  struct stat st {};
  if (::fstat(fileFd, &st) != 0 || std::uint64_t(st.st_size) != length || length == 0) return 2;
  void* mapped = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fileFd, 0);
  if (mapped == MAP_FAILED) return 3;
  ::close(fileFd);
  const Bytes data(static_cast<const std::uint8_t*>(mapped), length);
  Confine();

  const auto error = [fd](std::int32_t number, const std::string& what) {
    const std::uint32_t size = std::uint32_t(std::min<std::size_t>(what.size(), 4096));
    const char kind = 'E';
    return WriteAll(fd, &kind, 1) && WriteAll(fd, &number, sizeof number) && WriteAll(fd, &size, sizeof size) &&
                   WriteAll(fd, what.data(), size)
               ? 0
               : 2;
  };
  LoadOptions options;
  if (shrink) {
    options.minimumSize = [fd](Size full) {
      const char kind = 'S';
      const std::int32_t size[2] = {full.width, full.height};
      std::int32_t need[2] = {0, 0};
      if (!WriteAll(fd, &kind, 1) || !WriteAll(fd, size, sizeof size) || !ReadAll(fd, need, sizeof need))
        std::_Exit(2);
      return Size{need[0], need[1]};
    };
  }
  try {
    const Image image = ReadRawInProcess(data, options);
    const PictureHeader h{image.width, image.height, std::int32_t(image.format), image.storedBitsPerPixel,
                          image.sourceWidth, image.sourceHeight, std::int32_t(image.palette.size()),
                          image.dpiX, image.dpiY};
    const char kind = 'I';
    const bool sent = WriteAll(fd, &kind, 1) && WriteAll(fd, &h, sizeof h) &&
                      WriteAll(fd, image.palette.data(), image.palette.size() * sizeof(Rgb)) &&
                      WriteAll(fd, image.pixels.data(), image.pixels.size());
    return sent ? 0 : 2;
  } catch (const Error& e) {
    return error(e.number(), e.what());
  } catch (const std::bad_alloc&) {
    return error(err::kInvalidFileFormat, "raw: out of memory while decoding");
  } catch (const std::exception& e) {
    return error(err::kInvalidFileFormat, std::string("raw: ") + e.what());
  }
}

}  // namespace mirelo::imaging
