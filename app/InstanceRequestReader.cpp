#include "app/InstanceRequestReader.h"

#include <QLocalSocket>

#include "app/InstanceChannel.h"

namespace larkspan {

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
    switch (decoder_.Feed(socket_->read(decoder_.Room()))) {
    case InstanceMessageDecoder::State::NeedMore:
        return;
    case InstanceMessageDecoder::State::Malformed:
        Drop();
        return;
    case InstanceMessageDecoder::State::Complete:
        break;
    }
    answered_ = true;
    deadline_.stop();
    socket_->write(&InstanceChannel::kAcknowledgement, 1);
    socket_->disconnectFromServer();
    emit requestRead(decoder_.Mode(), decoder_.Text());
}

void InstanceRequestReader::Drop() {
    deadline_.stop();
    disconnect(socket_, nullptr, this, nullptr);
    socket_->abort();
    deleteLater();
}

}  // namespace larkspan
