// The hand-off message from another start of the program, any bytes, arriving
// in pieces. Input: byte 0 is the number of cuts (low 3 bits) and whether to
// also try a text at the cap (bit 3); then one byte per cut, the size of each
// piece before the last; the rest is the stream.
//   - Fed in pieces, the decoder decides as it does on the whole stream, save
//     for one case it cannot see: bytes after a whole message that arrive in a
//     later piece are never looked at, so the message counts.
//   - It never takes more than one message's worth and one byte.
//   - A message made by the sender's own encoding comes back as it was sent.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <QByteArray>
#include <QString>

#include "app/InstanceMessage.h"

namespace {

using larkspan::InstanceMessageDecoder;
using State = InstanceMessageDecoder::State;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

struct Outcome {
    State state;
    int mode;
    QString text;
    qsizetype taken;    // bytes the decoder took
    qsizetype arrived;  // bytes that had arrived when it decided
};

// Feeds the stream as the connection reader does: the bytes arrive in the given pieces (the rest in one last
// piece), and on each arrival the reader takes what the decoder has room for.
Outcome Decode(QByteArrayView stream, const std::vector<qsizetype>& cuts) {
    InstanceMessageDecoder decoder;
    qsizetype arrived = 0;
    qsizetype taken = 0;
    size_t cut = 0;
    while (decoder.CurrentState() == State::NeedMore && arrived < stream.size()) {
        const qsizetype piece = cut < cuts.size() ? cuts[cut++] : stream.size() - arrived;
        arrived += qMin(piece, stream.size() - arrived);
        const qsizetype room = decoder.Room();
        if (room <= 0) Fail("no room while a message is still expected");
        const qsizetype read = qMin(arrived - taken, room);
        decoder.Feed(stream.sliced(taken, read));
        taken += read;
        // No new bytes may come to signal the reader again: it must not wait with bytes left unread.
        if (taken < arrived && decoder.CurrentState() == State::NeedMore) Fail("waits with bytes unread");
    }
    if (taken > InstanceMessageDecoder::kMostHeld) Fail("took more than one message's worth");
    if (decoder.CurrentState() != State::NeedMore && decoder.Room() != 0) Fail("room after the decision");
    return {decoder.CurrentState(), decoder.Mode(), decoder.Text(), taken, arrived};
}

bool SameResult(const Outcome& a, const Outcome& b) {
    return a.state == b.state && (a.state != State::Complete || (a.mode == b.mode && a.text == b.text));
}

void CheckRoundTrip(int mode, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    const QByteArray message = larkspan::EncodeInstanceMessage(mode, utf8);
    const Outcome outcome = Decode(message, {});
    const bool fits = utf8.size() <= larkspan::kInstanceMessageMaxTextBytes;
    if (fits && (outcome.state != State::Complete || outcome.mode != mode || outcome.text != text))
        Fail("a valid message does not come back as sent");
    if (!fits && outcome.state != State::Malformed) Fail("a text over the cap was taken");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const size_t cutCount = data[0] & 7;
    const bool atCap = (data[0] & 8) != 0;
    if (size < 1 + cutCount) return 0;
    std::vector<qsizetype> cuts(data + 1, data + 1 + cutCount);
    const QByteArrayView stream(reinterpret_cast<const char*>(data + 1 + cutCount), qsizetype(size - 1 - cutCount));

    const Outcome whole = Decode(stream, {});
    const Outcome pieces = Decode(stream, cuts);
    if (!SameResult(whole, pieces)) {
        // Only a message that a piece ended exactly at, with more bytes after it, may differ: in pieces it counts.
        const bool endedAtPiece = pieces.state == State::Complete && whole.state == State::Malformed &&
                                  pieces.arrived == pieces.taken && pieces.taken < stream.size();
        if (!endedAtPiece || !SameResult(Decode(stream.first(pieces.taken), {}), pieces))
            Fail("in pieces the decoder decides otherwise");
    }
    if (whole.state == State::Complete && whole.taken != stream.size()) Fail("a message with bytes after it counts");

    // The stream's bytes as a text (broken sequences become replacement characters), in every mode.
    const QString text = QString::fromUtf8(stream);
    CheckRoundTrip(data[0] % 3, text);
    if (atCap && !text.isEmpty()) {
        QByteArray filled = text.toUtf8();
        while (filled.size() < larkspan::kInstanceMessageMaxTextBytes) filled += 'x';
        filled.truncate(larkspan::kInstanceMessageMaxTextBytes);
        const QString capped = QString::fromUtf8(filled);
        CheckRoundTrip(1, capped);
        CheckRoundTrip(2, capped + QLatin1Char('y'));
    }
    return 0;
}
