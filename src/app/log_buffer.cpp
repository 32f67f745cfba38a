// The error log buffer.

#include "app/log_buffer.h"

#include <fstream>
#include <system_error>

#include "platform/ini/ini_file.h"

namespace mirelo::app {

void LogBuffer::Append(std::string_view message) {
  {
    std::lock_guard lock(mutex_);
    text_.append(message);
    text_ += "\r\n";
  }
  Notify();
}

void LogBuffer::Clear() {
  {
    std::lock_guard lock(mutex_);
    text_.clear();
    ++generation_;
  }
  Notify();
}

std::uint64_t LogBuffer::SetText(std::string text) {
  std::uint64_t generation = 0;
  {
    std::lock_guard lock(mutex_);
    text_ = std::move(text);
    generation = ++generation_;
  }
  Notify();
  return generation;
}

LogBuffer::Change LogBuffer::ChangesSince(std::uint64_t generation, std::size_t size) const {
  std::lock_guard lock(mutex_);
  Change change;
  change.generation = generation_;
  change.size = text_.size();
  if (generation == generation_ && size <= text_.size()) {
    change.appended = true;
    change.text.assign(text_, size, std::string::npos);
  } else {
    change.text = text_;
  }
  return change;
}

std::string LogBuffer::Text() const {
  std::lock_guard lock(mutex_);
  return text_;
}

void LogBuffer::SetChangeHandler(ChangeHandler handler) {
  std::lock_guard lock(mutex_);
  handler_ = std::move(handler);
}

void LogBuffer::Notify() {
  ChangeHandler handler;
  {
    std::lock_guard lock(mutex_);
    handler = handler_;
  }
  if (handler) handler();
}

bool LogBuffer::Save(const std::filesystem::path& file) const {
  const std::string bytes = ini::EncodeCp932Lossy(Text() + "\r\n");
  std::error_code ec;
  const auto status = std::filesystem::status(file, ec);
  if (!ec && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
      !std::filesystem::is_directory(status)) {
    // A device or pipe (/dev/stderr) is written into; it cannot be replaced.
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    return static_cast<bool>(out);
  }
  return ini::ReplaceFileAtomically(file, bytes);
}

LogBuffer& ProcessLog() {
  static LogBuffer log;
  return log;
}

void AppendLog(std::string_view message) { ProcessLog().Append(message); }

}  // namespace mirelo::app
