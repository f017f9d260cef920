#pragma once
#include <memory>

#include <QObject>
#include <QString>

#include "app/InstanceMessage.h"

class QLocalServer;
class QLockFile;

namespace larkspan {

// The hand-off between starts of the program. The first start takes a lock file and listens on a local socket
// in the user's runtime folder; a later start connects, sends its open mode and text, waits for the running
// instance's acknowledgement and ends. One message per connection: a 4-byte big-endian length of what follows,
// the open mode as one byte, then the text in UTF-8.
class InstanceChannel : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxTextBytes = kInstanceMessageMaxTextBytes;
    static constexpr int kDefaultTimeoutMs = 3000;
    static constexpr char kAcknowledgement = 'A';

    enum class StartResult {
        Serving,    // this start is the running instance and receives the requests of later starts
        Alone,      // a full instance that receives nothing (several instances allowed, or no usable socket)
        HandedOff,  // the running instance took the request; this start ends
        TooLong,    // an instance runs, but the text is longer than it accepts; nothing was sent
        NoAnswer,   // an instance holds the lock but did not take the request in time
    };
    enum class SendResult { Delivered, NotRunning, TooLong, NoAnswer };

    // folder: where the socket and its lock file live; the user's runtime folder when empty. timeoutMs bounds
    // a whole hand-off (connect, write, acknowledgement) and the time a receiver waits for a complete message.
    explicit InstanceChannel(const QString& folder = QString(), int timeoutMs = kDefaultTimeoutMs,
                             QObject* parent = nullptr);
    ~InstanceChannel() override;

    // Hands the request to a running instance, or becomes the running instance when there is none (a socket
    // left by a crashed instance is removed first). With handOff false nothing is sent: this start serves when
    // no other instance does and runs alone otherwise.
    StartResult Start(int mode, const QString& text, bool handOff);

    // Sends one request to the instance listening at socketPath and waits for its acknowledgement. Blocking;
    // usable on any thread.
    static SendResult Send(const QString& socketPath, int mode, const QString& text, int timeoutMs);

    QString SocketPath() const { return socketPath_; }
    QString LockPath() const { return socketPath_ + QStringLiteral(".lock"); }
    bool IsServing() const { return server_ != nullptr; }

signals:
    // A later start's request, on the thread that owns this channel.
    void openRequested(int mode, QString text);

private:
    bool Listen();
    void AcceptConnections();

    QString socketPath_;
    int timeoutMs_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
};

}  // namespace larkspan
