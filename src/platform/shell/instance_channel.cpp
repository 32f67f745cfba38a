#include "platform/shell/instance_channel.h"

#include <QByteArray>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>

namespace mirelo::shell {
namespace {

// Paths end in NUL: no path holds one, any other byte may be in a file name.
QByteArray Encode(const std::vector<std::string>& paths) {
  QByteArray bytes;
  for (const std::string& path : paths) {
    bytes.append(path.data(), static_cast<qsizetype>(path.size()));
    bytes.append('\0');
  }
  return bytes;
}

std::vector<std::string> Decode(const QByteArray& bytes) {
  std::vector<std::string> paths;
  qsizetype start = 0;
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\0') continue;
    if (i > start) paths.emplace_back(bytes.constData() + start, static_cast<std::size_t>(i - start));
    start = i + 1;
  }
  return paths;
}

// A sender that never finishes is cut off: the running window does not wait on it.
constexpr qsizetype kMostBytes = 64 * 1024 * 1024;

}  // namespace

std::filesystem::path InstanceSocketPath(const std::filesystem::path& folder) { return folder / ".mirelo-instance"; }

bool SendToRunningInstance(const std::filesystem::path& folder, const std::vector<std::string>& paths) {
  QLocalSocket socket;
  socket.connectToServer(QFile::decodeName(InstanceSocketPath(folder).c_str()));
  if (!socket.waitForConnected(1000)) return false;
  socket.write(Encode(paths));
  socket.flush();
  const bool written = socket.bytesToWrite() == 0 || socket.waitForBytesWritten(2000);
  socket.disconnectFromServer();
  if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(1000);
  return written;
}

InstanceChannel::InstanceChannel(QObject* parent) : QObject(parent) {}

bool InstanceChannel::Listen(const std::filesystem::path& folder) {
  const QString name = QFile::decodeName(InstanceSocketPath(folder).c_str());
  // The lock is ours, so a socket left there belongs to an instance that has ended.
  QLocalServer::removeServer(name);
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_->listen(name)) return false;
  connect(server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
      auto* buffer = new QByteArray;
      connect(socket, &QLocalSocket::readyRead, socket, [socket, buffer] {
        buffer->append(socket->readAll());
        if (buffer->size() > kMostBytes) socket->abort();
      });
      connect(socket, &QLocalSocket::disconnected, this, [this, socket, buffer] {
        buffer->append(socket->readAll());
        const std::vector<std::string> paths = buffer->size() <= kMostBytes ? Decode(*buffer) : std::vector<std::string>{};
        delete buffer;
        socket->deleteLater();
        if (!paths.empty()) Q_EMIT pathsReceived(paths);
      });
    }
  });
  return true;
}

}  // namespace mirelo::shell
