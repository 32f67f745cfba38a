#pragma once

// The error log buffer, without its window. Thread-safe: a parallel batch engine may
// append from any thread.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace mirelo::app {

class LogBuffer {
 public:
  // Called after every change (append, clear, set), on the thread that made the change and
  // without the buffer's lock held, so it may read Text(). A window marshals it to its own thread.
  using ChangeHandler = std::function<void()>;

  // AppendLog: the message followed by CR LF is added at the end.
  void Append(std::string_view message);
  void Clear();
  // The user edited the text box.
  // Returns the generation of the new text.
  std::uint64_t SetText(std::string text);
  std::string Text() const;

  // What a viewer that has seen `size` bytes of generation `generation` is missing: only the
  // appended bytes while nothing but appends happened since (appended true), else the whole text.
  // A viewer stays as cheap with 10,000 lines as with ten.
  struct Change {
    std::uint64_t generation = 0;
    std::size_t size = 0;  // of the whole text
    bool appended = false;
    std::string text;
  };
  Change ChangesSince(std::uint64_t generation, std::size_t size) const;

  // Replaces the change handler (an empty function removes it).
  void SetChangeHandler(ChangeHandler handler);

  // Bt_Save_Click's write: the whole text followed by one CR LF, in CP932 (characters CP932 cannot
  // hold become "?"); an existing file is replaced, a device or pipe written into. The overwrite
  // question belongs to the caller.
  // False when the file could not be written (the caller beeps).
  bool Save(const std::filesystem::path& file) const;

 private:
  void Notify();

  mutable std::mutex mutex_;
  std::string text_;
  std::uint64_t generation_ = 1;  // changes with every clear or replacement, not with appends
  ChangeHandler handler_;
};

// The process-wide log of the program (frmLog's LogText).
LogBuffer& ProcessLog();

// AppendLog on the process-wide log.
void AppendLog(std::string_view message);

}  // namespace mirelo::app
