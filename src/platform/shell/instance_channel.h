#pragma once

// Paths handed from a second start of the program to the instance already running for the same
// AppDir: a local socket in the AppDir that only its owner may open.

#include <QObject>
#include <filesystem>
#include <string>
#include <vector>

class QLocalServer;

namespace mirelo::shell {

// The socket's path in folder.
std::filesystem::path InstanceSocketPath(const std::filesystem::path& folder);

// Sends paths to the instance listening in folder. False when none listens (or it cannot be
// reached within a second): the caller then starts as usual.
bool SendToRunningInstance(const std::filesystem::path& folder, const std::vector<std::string>& paths);

// The running instance's side. Call Listen once the single-instance lock is held.
class InstanceChannel : public QObject {
  Q_OBJECT

 public:
  explicit InstanceChannel(QObject* parent = nullptr);
  // False when the socket cannot be made (then later starts are refused as before).
  bool Listen(const std::filesystem::path& folder);

 signals:
  // Paths another start of the program was given, in its order.
  void pathsReceived(const std::vector<std::string>& paths);

 private:
  QLocalServer* server_ = nullptr;
};

}  // namespace mirelo::shell
