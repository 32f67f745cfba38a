#pragma once

// One running desktop program per AppDir. The lock is an advisory flock on the AppDir folder
// itself, held by an open descriptor for the life of the process: nothing is created or written,
// and the kernel drops the lock when the process ends, however it ends.

#include <filesystem>

namespace mirelo::shell {

class SingleInstanceLock {
 public:
  // Tries to take the lock for folder; check held() afterwards.
  explicit SingleInstanceLock(const std::filesystem::path& folder);
  ~SingleInstanceLock();
  SingleInstanceLock(const SingleInstanceLock&) = delete;
  SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

  // True when this process holds the lock. False when another instance holds it, or when the
  // folder cannot be opened (a missing AppDir cannot hold a running instance either, so callers
  // tell the two apart with anotherInstance()).
  bool held() const { return fd_ >= 0; }
  // True only when the folder exists and another holder has the lock.
  bool anotherInstance() const { return busy_; }

 private:
  int fd_ = -1;
  bool busy_ = false;
};

}  // namespace mirelo::shell
