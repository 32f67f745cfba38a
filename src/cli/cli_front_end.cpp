#include "cli/cli_front_end.h"

#include <algorithm>
#include <cmath>

#include "production/batch_texts.h"

namespace mirelo::cli {

namespace {

std::string Clock(double seconds) {
  const long total = std::lround(std::max(0.0, seconds));
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  }
  return text;
}

}  // namespace

std::string ProgressLine(int done, int total, double elapsedSeconds, int width) {
  const double share = total > 0 ? static_cast<double>(done) / total : 1.0;
  const int filled = static_cast<int>(share * width);
  std::string line = "[";
  line.append(static_cast<std::size_t>(filled), '#');
  line.append(static_cast<std::size_t>(width - filled), '-');
  char counts[64];
  std::snprintf(counts, sizeof counts, "] %d/%d %3d%%", done, total, static_cast<int>(share * 100));
  line += counts;
  if (done > 0 && done < total) {
    line += "  " + Clock(elapsedSeconds / done * (total - done)) + " left";
  } else if (done >= total) {
    line += "  " + Clock(elapsedSeconds);
  }
  return line;
}

std::string LogLinesForConsole(std::string_view message) {
  std::string text;
  text.reserve(message.size() + 1);
  for (std::size_t i = 0; i < message.size(); ++i) {
    if (message[i] == '\r' && i + 1 < message.size() && message[i + 1] == '\n') continue;
    text += message[i];
  }
  text += '\n';
  return text;
}

ConsoleFrontEnd::ConsoleFrontEnd(std::FILE* out, std::FILE* err, bool bar, bool quiet)
    : out_(out), err_(err), bar_(bar), quiet_(quiet) {}

void ConsoleFrontEnd::runStarted(int total) {
  total_ = total;
  start_ = std::chrono::steady_clock::now();
  DrawBar();
}

void ConsoleFrontEnd::logAppended(std::string_view message) {
  ClearBar();
  std::fputs(LogLinesForConsole(message).c_str(), err_);
  DrawBar();
}

void ConsoleFrontEnd::thumbnailWritten(int, const std::string& path) { PrintOut(path + "\n"); }

void ConsoleFrontEnd::PrintOut(const std::string& text) {
  ClearBar();
  std::fwrite(text.data(), 1, text.size(), out_);
  std::fflush(out_);
  DrawBar();
}

void ConsoleFrontEnd::progress(int done, int) {
  done_ = done;
  const auto now = std::chrono::steady_clock::now();
  // Redrawing more often than ten times a second only costs time.
  if (done_ < total_ && now - lastDraw_ < std::chrono::milliseconds(100)) return;
  DrawBar();
}

void ConsoleFrontEnd::showMessage(const app::MessageText& message) {
  ClearBar();
  if (!quiet_ || message.title != production::kFinishedTitle) std::fprintf(err_, "%s\n", message.text.c_str());
}

void ConsoleFrontEnd::runFinished(const production::BatchResult&) {
  if (barShown_) {
    if (drawnDone_ != done_) DrawBar();
    std::fputc('\n', err_);
    barShown_ = false;
  }
  bar_ = false;
}

void ConsoleFrontEnd::ClearBar() {
  if (!barShown_) return;
  std::fputs("\r\033[K", err_);
  barShown_ = false;
}

void ConsoleFrontEnd::DrawBar() {
  if (!bar_) return;
  lastDraw_ = std::chrono::steady_clock::now();
  const double elapsed = std::chrono::duration<double>(lastDraw_ - start_).count();
  std::fprintf(err_, "\r\033[K%s", ProgressLine(done_, total_, elapsed).c_str());
  drawnDone_ = done_;
  std::fflush(err_);
  barShown_ = true;
}

}  // namespace mirelo::cli
