#include "app/InstanceMessage.h"

#include <utility>

#include <QStringDecoder>

namespace larkspan {

QByteArray EncodeInstanceMessage(int mode, const QByteArray& utf8) {
    const quint32 length = quint32(utf8.size()) + 1;
    QByteArray message;
    message.reserve(4 + int(length));
    for (int shift = 24; shift >= 0; shift -= 8) message.append(char((length >> shift) & 0xFF));
    message.append(char(mode));
    message.append(utf8);
    return message;
}

InstanceMessageDecoder::State InstanceMessageDecoder::Feed(QByteArrayView piece) {
    if (state_ != State::NeedMore) return state_;
    buffer_.append(piece.first(qMin(piece.size(), Room())));
    state_ = Decide();
    if (state_ != State::NeedMore) buffer_.clear();
    return state_;
}

InstanceMessageDecoder::State InstanceMessageDecoder::Decide() {
    if (buffer_.size() < kLengthBytes) return State::NeedMore;
    const auto* bytes = reinterpret_cast<const unsigned char*>(buffer_.constData());
    quint32 length = (quint32(bytes[0]) << 24) | (quint32(bytes[1]) << 16) | (quint32(bytes[2]) << 8) | bytes[3];
    // Bytes beyond the message in the same piece mean a sender that goes on: one message per connection.
    if (length < 1 || length > quint32(kMaxBody) || buffer_.size() > kLengthBytes + qsizetype(length))
        return State::Malformed;
    if (buffer_.size() < kLengthBytes + qsizetype(length)) return State::NeedMore;
    const int mode = bytes[kLengthBytes];
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder(QByteArrayView(buffer_).sliced(kLengthBytes + 1));
    if (mode > kInstanceMessageHighestMode || decoder.hasError()) return State::Malformed;
    mode_ = mode;
    text_ = std::move(text);
    return State::Complete;
}

}  // namespace larkspan
