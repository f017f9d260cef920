#include "app/InstanceChannel.h"

#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>

#include "app/InstanceMessage.h"
#include "app/InstanceRequestReader.h"

namespace larkspan {

namespace {

constexpr int kRetryPauseMs = 50;

QString SocketFolder(const QString& folder) {
    if (!folder.isEmpty()) return folder;
    QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? QDir::tempPath() : runtime;
}

int Remaining(const QDeadlineTimer& deadline) {
    return int(qMax<qint64>(0, deadline.remainingTime()));
}

}  // namespace

InstanceChannel::InstanceChannel(const QString& folder, int timeoutMs, QObject* parent)
    : QObject(parent),
      socketPath_(QDir(SocketFolder(folder)).filePath(QStringLiteral("larkspan-recorder-%1.socket").arg(getuid()))),
      timeoutMs_(timeoutMs),
      lock_(std::make_unique<QLockFile>(LockPath())) {
    // The lock is held for the instance's whole life; only a dead holder makes it stale.
    lock_->setStaleLockTime(0);
}

InstanceChannel::~InstanceChannel() {
    if (server_) server_->close();
    lock_->unlock();
}

InstanceChannel::StartResult InstanceChannel::Start(int mode, const QString& text, bool handOff) {
    QDeadlineTimer deadline(timeoutMs_);
    for (;;) {
        if (handOff) {
            switch (Send(socketPath_, mode, text, Remaining(deadline))) {
                case SendResult::Delivered: return StartResult::HandedOff;
                case SendResult::TooLong: return StartResult::TooLong;
                case SendResult::NoAnswer: return StartResult::NoAnswer;
                case SendResult::NotRunning: break;
            }
        }
        // Nobody listens. Whoever holds the lock is the running instance (perhaps still starting); a lock whose
        // holder has died is taken over, and with it the socket the holder left behind.
        if (lock_->tryLock(0)) return Listen() ? StartResult::Serving : StartResult::Alone;
        if (!handOff || lock_->error() != QLockFile::LockFailedError) return StartResult::Alone;
        if (deadline.hasExpired()) return StartResult::NoAnswer;
        QThread::msleep(kRetryPauseMs);
    }
}

bool InstanceChannel::Listen() {
    QLocalServer::removeServer(socketPath_);
    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(socketPath_)) {
        delete server;
        lock_->unlock();
        return false;
    }
    server_ = server;
    connect(server_, &QLocalServer::newConnection, this, &InstanceChannel::AcceptConnections);
    return true;
}

void InstanceChannel::AcceptConnections() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        auto* reader = new InstanceRequestReader(socket, timeoutMs_, this);
        connect(reader, &InstanceRequestReader::requestRead, this, &InstanceChannel::openRequested);
    }
}

InstanceChannel::SendResult InstanceChannel::Send(const QString& socketPath, int mode, const QString& text,
                                                  int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(Remaining(deadline))) {
        return socket.error() == QLocalSocket::SocketTimeoutError ? SendResult::NoAnswer : SendResult::NotRunning;
    }
    const QByteArray utf8 = text.toUtf8();
    if (utf8.size() > kMaxTextBytes) {
        socket.abort();
        return SendResult::TooLong;
    }
    socket.write(EncodeInstanceMessage(mode, utf8));
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(Remaining(deadline))) return SendResult::NoAnswer;
    }
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(Remaining(deadline))) return SendResult::NoAnswer;
    }
    char answer = 0;
    socket.read(&answer, 1);
    return answer == kAcknowledgement ? SendResult::Delivered : SendResult::NoAnswer;
}

}  // namespace larkspan
