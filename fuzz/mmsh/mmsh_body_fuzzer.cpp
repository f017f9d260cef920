// Feeds arbitrary bytes to the MMSH body readers as a response body: chunk
// heads, header joining and parsing, data chunks, plain bodies.
//
// Input layout: byte 0 picks how many bytes each pull hands out (low 7 bits,
// 0 = all) and, in its top bit, reads the body as a meta file rather than a
// stream; byte 1 holds switches (bit 0 describe only, bit 1 no output file, bit 2
// time limit, bit 3 size limit, bit 4 body ends in a failure, bits 5-7 a
// content length of that many KiB, 0 = none), the rest is the body.
#include <cstddef>
#include <cstdint>

#include "asf/OutputFile.h"
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

    static larkspan::OutputFile sinkFile;
    if (!sinkFile.IsOpen()) sinkFile.Create("/dev/null");

    larkspan::RecordEventSink events;
    larkspan::MmshClient client(1, own, &events, nullptr);
    if (metaFile) client.SetPurpose(larkspan::MmshClient::Purpose::MetaFile);
    larkspan::MemoryByteSource source(data, size, step,
                                      (switches & 0x10) ? larkspan::ReadStatus::Failed : larkspan::ReadStatus::End);
    const uint64_t contentLength = uint64_t((switches >> 5) & 7) * 1024;
    client.ReadBody(source, (switches & 0x02) ? nullptr : &sinkFile, contentLength, (switches & 0x01) != 0);
    return 0;
}
