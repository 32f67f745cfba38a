#pragma once

// mirelo-batch's front end of the batch engine: written thumbnails on standard output, log lines
// and messages on standard error, a progress bar with an estimate of the time left when
// standard error is a terminal.

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>

#include "production/batch_engine.h"

namespace mirelo::cli {

class ConsoleFrontEnd : public production::BatchFrontEnd {
 public:
  // bar: draw the progress bar (standard error is a terminal and --quiet was not given).
  ConsoleFrontEnd(std::FILE* out, std::FILE* err, bool bar, bool quiet);

  void runStarted(int total) override;
  void logAppended(std::string_view message) override;
  void thumbnailWritten(int index, const std::string& path) override;
  void progress(int done, int total) override;
  // A cancel comes from an interrupt (Ctrl-C); nobody is asked, the run ends.
  bool askCancel() override { return true; }
  void showMessage(const app::MessageText& message) override;
  void runFinished(const production::BatchResult& result) override;

 protected:
  // Text for standard output, written whole with the bar out of its way.
  void PrintOut(const std::string& text);

 private:
  void ClearBar();
  void DrawBar();

  std::FILE* out_;
  std::FILE* err_;
  bool bar_;
  bool quiet_;
  bool barShown_ = false;
  int done_ = 0;
  int drawnDone_ = -1;
  int total_ = 0;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastDraw_;
};

// The progress bar line for done of total after elapsed seconds, width columns of bar.
std::string ProgressLine(int done, int total, double elapsedSeconds, int width = 30);

// A log message as lines for a terminal: CR LF becomes LF, and the message ends in LF.
std::string LogLinesForConsole(std::string_view message);

}  // namespace mirelo::cli
