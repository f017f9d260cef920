#include "app/InstanceRequestReader.h"

#include <QLocalSocket>
#include <QStringDecoder>

#include "app/InstanceChannel.h"

namespace larkspan {

namespace {
constexpr int kLengthBytes = 4;
constexpr int kMaxBody = 1 + InstanceChannel::kMaxTextBytes;
constexpr int kHighestMode = 2;
}  // namespace

InstanceRequestReader::InstanceRequestReader(QLocalSocket* socket, int timeoutMs, QObject* parent)
    : QObject(parent), socket_(socket) {
    socket_->setParent(this);
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, &InstanceRequestReader::Drop);
    connect(socket_, &QLocalSocket::readyRead, this, &InstanceRequestReader::ReadAvailable);
    connect(socket_, &QLocalSocket::disconnected, this, &QObject::deleteLater);
    deadline_.start(timeoutMs);
    ReadAvailable();
}

void InstanceRequestReader::ReadAvailable() {
    if (answered_) {
        socket_->readAll();
        return;
    }
    // Never hold more than one message's worth: a sender that goes on is dropped.
    buffer_ += socket_->read(kLengthBytes + kMaxBody + 1 - buffer_.size());
    if (buffer_.size() < kLengthBytes) return;
    const auto* bytes = reinterpret_cast<const unsigned char*>(buffer_.constData());
    quint32 length = (quint32(bytes[0]) << 24) | (quint32(bytes[1]) << 16) | (quint32(bytes[2]) << 8) | bytes[3];
    if (length < 1 || length > quint32(kMaxBody) || buffer_.size() > kLengthBytes + qsizetype(length)) {
        Drop();
        return;
    }
    if (buffer_.size() < kLengthBytes + qsizetype(length)) return;
    int mode = bytes[kLengthBytes];
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder(QByteArrayView(buffer_).sliced(kLengthBytes + 1));
    if (mode > kHighestMode || decoder.hasError()) {
        Drop();
        return;
    }
    answered_ = true;
    deadline_.stop();
    buffer_.clear();
    socket_->write(&InstanceChannel::kAcknowledgement, 1);
    socket_->disconnectFromServer();
    emit requestRead(mode, text);
}

void InstanceRequestReader::Drop() {
    deadline_.stop();
    disconnect(socket_, nullptr, this, nullptr);
    socket_->abort();
    deleteLater();
}

}  // namespace larkspan
