// Feeds arbitrary bytes to the MMSH body readers as a response body: chunk
// heads, header joining and parsing, data chunks, plain bodies.
//
// Input layout: byte 0 picks how many bytes each pull hands out (low 7 bits,
// 0 = all) and, in its top bit, reads the body as a meta file rather than a
// stream; byte 1 holds switches (bit 0 describe only, bit 1 no output file, bit 2
// time limit, bit 3 size limit, bit 4 body ends in a failure, bits 5-7 a
// content length of that many KiB, 0 = none), the rest is the body. The file
// is kept in memory and checked afterwards.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fuzz/MemorySink.h"
#include "protocols/mmsh/ByteSource.h"
#include "protocols/mmsh/MmshClient.h"
#include "recorder/RecorderSettings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t step = data[0] & 0x7F;
    const bool metaFile = (data[0] & 0x80) != 0;
    const uint8_t switches = data[1];
    data += 2;
    size -= 2;

    static larkspan::RecorderSettings settings;
    larkspan::RecorderSettings own = settings;
    own.timePolicy = (switches & 0x04) ? 1 : 0;
    own.maxTime = 2;
    own.sizePolicy = (switches & 0x08) ? 1 : 0;
    own.maxSize = 0;

    larkspan::MemorySink file;
    const bool toFile = (switches & 0x02) == 0;
    larkspan::RecordEventSink events;
    larkspan::MmshClient client(1, own, &events, nullptr);
    if (metaFile) client.SetPurpose(larkspan::MmshClient::Purpose::MetaFile);
    larkspan::MemoryByteSource source(data, size, step,
                                      (switches & 0x10) ? larkspan::ReadStatus::Failed : larkspan::ReadStatus::End);
    const uint64_t contentLength = uint64_t((switches >> 5) & 7) * 1024;
    client.ReadBody(source, toFile ? &file : nullptr, contentLength, (switches & 0x01) != 0);

    auto fail = [](const char* what) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    };
    // Bytes are copied from the body, rewritten in place at most (packet
    // times), never made up; only padding is added, less than one packet.
    if (file.copied > source.Consumed()) fail("wrote more than it read");
    if (file.writesInPlace != 0) fail("wrote over earlier bytes");
    const uint32_t packetSize = client.HeaderInfo().minPacketSize;
    if (file.padded != 0 && file.largestPadding >= packetSize) fail("padding of a whole packet");
    // A body whose header was refused leaves nothing in the file.
    if (client.HeaderRejected() && !file.bytes.empty()) fail("wrote after a rejected header");
    return 0;
}
