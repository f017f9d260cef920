// Data packets after a valid header: the send-time lookup, live rebasing of
// send and presentation times, padding and the counts FinishFile writes.
// Input: 2 bytes packet size, 1 byte mode (bit 0 on-demand, bit 1 setting
// off), then packets as [2-byte length][bytes]; whatever is left is one
// last packet. The file is kept in memory and checked afterwards.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/MemorySink.h"
#include "fuzz/mms/RecordedFileChecks.h"
#include "protocols/mms/MmsClient.h"
#include "protocols/mms/MmsTransport.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
void Put64(Bytes& b, uint64_t v) {
    Put32(b, uint32_t(v));
    Put32(b, uint32_t(v >> 32));
}
void PutBytes(Bytes& b, std::initializer_list<uint8_t> bytes) { b.insert(b.end(), bytes); }

void Command(Bytes& out, uint32_t mid, uint32_t openFileId = 1) {
    PutBytes(out, {0x01, 0x00, 0x00, 0x00, 0xCE, 0xFA, 0x0B, 0xB0});
    Put32(out, 56);
    PutBytes(out, {'M', 'M', 'S', ' '});
    Put32(out, 7);
    Put32(out, 0);
    Put64(out, 0);
    Put32(out, 5);
    Put32(out, mid);
    Put32(out, 0);
    Put32(out, 1);
    Put32(out, openFileId);
    for (int i = 0; i < 5; ++i) Put32(out, 0);
}

void Media(Bytes& out, uint8_t incarnation, uint8_t flags, const uint8_t* p, size_t n) {
    Put32(out, 0);
    out.push_back(incarnation);
    out.push_back(flags);
    const size_t len = n + 8;
    out.push_back(uint8_t(len));
    out.push_back(uint8_t(len >> 8));
    out.insert(out.end(), p, p + n);
}

Bytes Header(uint32_t packetSize, bool onDemand) {
    Bytes fp;
    PutBytes(fp, {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11, 0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65});
    Put64(fp, 104);
    fp.insert(fp.end(), 16, 0);
    Put64(fp, 0);                             // file size
    Put64(fp, 0);                             // creation date
    Put64(fp, 0);                             // packets
    Put64(fp, onDemand ? 200000000 : 0);      // play duration
    Put64(fp, onDemand ? 200000000 : 0);      // send duration
    Put64(fp, 3100);                          // preroll
    Put32(fp, onDemand ? 2 : 1);
    Put32(fp, packetSize);
    Put32(fp, packetSize);
    Put32(fp, 100000);
    Bytes h;
    PutBytes(h, {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11, 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C});
    Put64(h, 30 + fp.size());
    Put32(h, 1);
    PutBytes(h, {0x01, 0x02});
    h.insert(h.end(), fp.begin(), fp.end());
    PutBytes(h, {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11, 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C});
    Put64(h, 0);
    h.insert(h.end(), 16, 0);
    Put64(h, 0);
    PutBytes(h, {0x01, 0x01});
    return h;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace larkspan;
    if (size < 3) return 0;
    const uint32_t packetSize = uint32_t(data[0]) | uint32_t(data[1]) << 8;
    const uint8_t mode = data[2];
    data += 3;
    size -= 3;

    Bytes server;
    for (uint32_t mid : {0x00040001u, 0x00040015u, 0x00040002u, 0x00040006u, 0x00040011u}) Command(server, mid);
    const Bytes header = Header(packetSize, mode & 1);
    Media(server, 2, 0x0C, header.data(), header.size());
    Command(server, 0x00040021);
    Command(server, 0x00040005);
    bool packetsFit = true;
    while (size > 0) {
        size_t n = size;
        if (size >= 2) {
            n = std::min<size_t>(size - 2, size_t(data[0]) | size_t(data[1]) << 8);
            data += 2;
            size -= 2;
        }
        n = std::min<size_t>(n, 65527);
        if (n > packetSize) packetsFit = false;
        if (n > 0) Media(server, 4, 0, data, n);
        data += n;
        size -= n;
    }
    Command(server, 0x0004001E);

    RecorderSettings settings;
    settings.liveContentSaveTimeInfo = (mode & 2) ? 0 : 1;
    MemorySink file;
    MmsMemoryTransport transport(server.data(), server.size());
    transport.KeepSent(false);
    MmsClient client(1, settings, nullptr);
    client.RecordOver(transport, &file, "mms://host/live");
    CheckRecordedFile(file, client.HeaderInfo(), server.size(), packetsFit);
    return 0;
}
