#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace larkspan {

// One hand-off message between starts of the program: a 4-byte big-endian length of what follows, the open mode
// as one byte, then the text in UTF-8.
constexpr int kInstanceMessageMaxTextBytes = 65536;
constexpr int kInstanceMessageHighestMode = 2;

// The message for a mode and a text already in UTF-8 (the caller keeps the text within the cap).
QByteArray EncodeInstanceMessage(int mode, const QByteArray& utf8);

// Collects one message from a stream that arrives in pieces. It never holds more than one message's worth and one
// byte: a length over the cap, no mode byte, an unknown mode, text that is not UTF-8, or bytes beyond the message
// in the piece that completes it make the message malformed. Once complete or malformed it takes nothing more.
class InstanceMessageDecoder {
public:
    enum class State { NeedMore, Complete, Malformed };
    static constexpr qsizetype kLengthBytes = 4;
    static constexpr qsizetype kMaxBody = 1 + kInstanceMessageMaxTextBytes;
    static constexpr qsizetype kMostHeld = kLengthBytes + kMaxBody + 1;

    // How many bytes the decoder takes from the next piece; 0 once it is done.
    qsizetype Room() const { return state_ == State::NeedMore ? kMostHeld - buffer_.size() : 0; }
    // Takes up to Room() bytes of the piece (the rest is not looked at) and says where the message stands.
    State Feed(QByteArrayView piece);

    State CurrentState() const { return state_; }
    // The mode and text of a complete message.
    int Mode() const { return mode_; }
    const QString& Text() const { return text_; }

private:
    State Decide();

    QByteArray buffer_;
    State state_ = State::NeedMore;
    int mode_ = 0;
    QString text_;
};

}  // namespace larkspan
