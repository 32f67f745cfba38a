#pragma once

// A main window on its own temporary AppDir, with a fake shell and its own log.

#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "app/log_buffer.h"
#include "app/window/main_window.h"
#include "fake_shell.h"

namespace mirelo::testing {

inline std::string ReadBytes(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::filesystem::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << bytes;
}

struct WindowHarness {
  QTemporaryDir dir;
  FakeShell shell;
  app::LogBuffer log;
  int endCalls = 0;
  std::unique_ptr<window::MainWindow> window;

  std::filesystem::path appDir() const { return std::filesystem::path(QFile::encodeName(dir.path()).toStdString()); }
  std::filesystem::path thumbIni() const { return appDir() / "thumb.ini"; }
  std::filesystem::path sizeIni() const { return appDir() / "size.ini"; }

  window::MainWindow& Make() {
    window::MainWindowContext context;
    context.appDir = appDir();
    context.executableDir = QStringLiteral(MIRELO_WINDOW_BINARY_DIR);
    context.shell = &shell;
    context.log = &log;
    context.endProcess = [this] { ++endCalls; };
    context.silentPlayer = true;
    window = std::make_unique<window::MainWindow>(std::move(context));
    return *window;
  }

  // Make() and Form_Load(); the window stays hidden unless a test shows it.
  window::MainWindow& Start() {
    Make();
    window->Form_Load();
    return *window;
  }
};

}  // namespace mirelo::testing
