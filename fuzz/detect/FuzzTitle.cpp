// The server-to-player byte stream into the header title reader, cut into
// pieces. Input: byte 0 picks MMS or MMSH framing (bit 0), whether the
// stream is known to start at its first byte (bit 1), and the piece size
// (upper bits); byte 1 marks which pieces start a TCP segment. The rest is
// the stream. The title search alone also runs over the whole stream.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "detect/HeaderTitleReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint8_t control = data[0];
    const uint8_t segmentMask = data[1];
    const uint8_t* stream = data + 2;
    const size_t length = size - 2;

    using Reader = larkspan::HeaderTitleReader;
    Reader reader(4096);  // small, so that overflowing it is reachable
    reader.Reset(control & 1 ? Reader::Framing::Mmsh : Reader::Framing::Mms);
    if (control & 2) reader.StartOfStream();
    const size_t piece = 1 + (control >> 2) * 7;
    size_t index = 0;
    for (size_t at = 0; at < length; at += piece, ++index) {
        size_t n = length - at < piece ? length - at : piece;
        uint8_t* copy = static_cast<uint8_t*>(std::malloc(n));
        std::memcpy(copy, stream + at, n);
        bool segmentStart = (segmentMask >> (index % 8)) & 1;
        Reader::Status s = reader.Feed(copy, n, segmentStart);
        std::free(copy);
        // A title ends at its first zero unit and has at most 1023 units.
        if (s == Reader::Status::TitleFound &&
            (reader.Title().size() > 1023 * 3 || reader.Title().find('\0') != std::string::npos))
            std::abort();
        if (s != Reader::Status::Searching) reader.Reset(control & 1 ? Reader::Framing::Mmsh : Reader::Framing::Mms);
        if (index % 5 == 4 && (segmentMask & 0x80)) reader.Resync();
    }

    uint8_t* whole = static_cast<uint8_t*>(std::malloc(length ? length : 1));
    if (length) std::memcpy(whole, stream, length);
    std::string title;
    for (bool final : {false, true}) {
        size_t from = 0;
        larkspan::ReadContentTitle(whole, length, from, final, title);
        if (from > length) std::abort();
        if (title.size() > 1023 * 3 || title.find('\0') != std::string::npos) std::abort();
    }
    std::free(whole);
    return 0;
}
