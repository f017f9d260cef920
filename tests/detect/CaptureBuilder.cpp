#include "tests/detect/CaptureBuilder.h"

#include "tests/support/TempFolder.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace larkspan::detecttest {
namespace {

void AddBe16(Bytes& b, uint16_t v) {
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
}
void AddBe32(Bytes& b, uint32_t v) {
    AddBe16(b, uint16_t(v >> 16));
    AddBe16(b, uint16_t(v));
}
void PutBe16(Bytes& b, size_t at, uint16_t v) {
    b[at] = uint8_t(v >> 8);
    b[at + 1] = uint8_t(v);
}
void AddAddress(Bytes& b, Ipv4Address a) {
    b.insert(b.end(), {a.a, a.b, a.c, a.d});
}

uint32_t SumWords(const uint8_t* p, size_t n, uint32_t sum) {
    for (size_t i = 0; i + 1 < n; i += 2) sum += uint32_t(p[i] << 8 | p[i + 1]);
    if (n & 1) sum += uint32_t(p[n - 1] << 8);
    return sum;
}
uint16_t Fold(uint32_t sum) {
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return uint16_t(~sum);
}

const uint8_t kHeaderGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const uint8_t kFilePropertiesGuid[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                         0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const uint8_t kContentDescriptionGuid[16] = {0x33, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                             0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const uint8_t kPaddingGuid[16] = {0x74, 0xD4, 0x06, 0x18, 0xDF, 0xCA, 0x09, 0x45,
                                  0xA4, 0xBA, 0x9A, 0xAB, 0xCB, 0x96, 0xAA, 0xE8};
const uint8_t kDataGuid[16] = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                               0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};

void AddGuid(Bytes& b, const uint8_t g[16]) { b.insert(b.end(), g, g + 16); }

}  // namespace

void Append(Bytes& to, const Bytes& from) { to.insert(to.end(), from.begin(), from.end()); }
void PutLe16(Bytes& b, size_t at, uint16_t v) {
    b.at(at) = uint8_t(v);
    b.at(at + 1) = uint8_t(v >> 8);
}
void PutLe32(Bytes& b, size_t at, uint32_t v) {
    PutLe16(b, at, uint16_t(v));
    PutLe16(b, at + 2, uint16_t(v >> 16));
}
void AddLe16(Bytes& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void AddLe32(Bytes& b, uint32_t v) {
    AddLe16(b, uint16_t(v));
    AddLe16(b, uint16_t(v >> 16));
}
void AddLe64(Bytes& b, uint64_t v) {
    AddLe32(b, uint32_t(v));
    AddLe32(b, uint32_t(v >> 32));
}

Bytes Utf16(const std::u16string& text) {
    Bytes b;
    for (char16_t c : text) AddLe16(b, uint16_t(c));
    return b;
}

Bytes BuildIpv4(const TcpSegment& s) {
    if (s.ipOptions.size() % 4 || s.tcpOptions.size() % 4) throw std::invalid_argument("options must be whole words");
    Bytes tcp;
    AddBe16(tcp, s.sourcePort);
    AddBe16(tcp, s.destinationPort);
    AddBe32(tcp, s.seq);
    AddBe32(tcp, s.ack);
    tcp.push_back(uint8_t(((20 + s.tcpOptions.size()) / 4) << 4));
    tcp.push_back(s.flags);
    AddBe16(tcp, 64240);  // window
    AddBe16(tcp, 0);      // checksum, below
    AddBe16(tcp, 0);      // urgent pointer
    Append(tcp, s.tcpOptions);
    Append(tcp, s.payload);

    Bytes ip;
    const size_t ipHeader = 20 + s.ipOptions.size();
    ip.push_back(uint8_t(0x40 | (ipHeader / 4)));
    ip.push_back(0);
    AddBe16(ip, uint16_t(ipHeader + tcp.size()));
    AddBe16(ip, 0x1234);  // identification
    AddBe16(ip, s.fragmentField);
    ip.push_back(64);     // TTL
    ip.push_back(s.protocol);
    AddBe16(ip, 0);       // checksum, below
    AddAddress(ip, s.source);
    AddAddress(ip, s.destination);
    Append(ip, s.ipOptions);
    PutBe16(ip, 10, Fold(SumWords(ip.data(), ip.size(), 0)));

    // TCP checksum over the pseudo header and the segment.
    uint32_t sum = SumWords(ip.data() + 12, 8, 0);
    sum += s.protocol;
    sum += uint32_t(tcp.size());
    PutBe16(tcp, 16, Fold(SumWords(tcp.data(), tcp.size(), sum)));
    Append(ip, tcp);
    return ip;
}

Bytes Ethernet(const Bytes& ip, uint16_t etherType, bool zeroMacs) {
    Bytes f;
    if (zeroMacs) {
        f.assign(12, 0);
    } else {
        f = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01, 0x02, 0x00, 0x00, 0x00, 0x00, 0x02};
    }
    AddBe16(f, etherType);
    Append(f, ip);
    while (f.size() < 60) f.push_back(0);  // minimum frame, as a NIC pads it
    return f;
}

Bytes EthernetVlan(const Bytes& ip, uint16_t vlanId) {
    Bytes f = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01, 0x02, 0x00, 0x00, 0x00, 0x00, 0x02};
    AddBe16(f, 0x8100);
    AddBe16(f, vlanId);
    AddBe16(f, 0x0800);
    Append(f, ip);
    return f;
}

Bytes LinuxCooked(const Bytes& ip) {
    Bytes f;
    AddBe16(f, 4);      // packet type: sent by us
    AddBe16(f, 1);      // ARPHRD_ETHER
    AddBe16(f, 6);      // address length
    f.insert(f.end(), {0x02, 0, 0, 0, 0, 0x01, 0, 0});
    AddBe16(f, 0x0800);
    Append(f, ip);
    return f;
}

Bytes LinuxCooked2(const Bytes& ip) {
    Bytes f;
    AddBe16(f, 0x0800);  // protocol
    AddBe16(f, 0);       // reserved
    AddBe32(f, 2);       // interface index
    AddBe16(f, 1);       // ARPHRD_ETHER
    f.push_back(4);      // packet type
    f.push_back(6);      // address length
    f.insert(f.end(), {0x02, 0, 0, 0, 0, 0x01, 0, 0});
    Append(f, ip);
    return f;
}

Bytes NullLoopback(const Bytes& ip, bool littleEndian) {
    Bytes f = littleEndian ? Bytes{2, 0, 0, 0} : Bytes{0, 0, 0, 2};
    Append(f, ip);
    return f;
}

Bytes LoopLoopback(const Bytes& ip) {
    Bytes f = {0, 0, 0, 2};
    Append(f, ip);
    return f;
}

CaptureFileWriter::CaptureFileWriter(const std::string& path, uint32_t linkType, uint32_t snapLength) {
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) throw std::runtime_error("cannot create " + path);
    const uint32_t magic = 0xA1B2C3D4;
    const uint16_t major = 2, minor = 4;
    const int32_t zone = 0;
    const uint32_t sigfigs = 0;
    std::fwrite(&magic, 4, 1, file_);
    std::fwrite(&major, 2, 1, file_);
    std::fwrite(&minor, 2, 1, file_);
    std::fwrite(&zone, 4, 1, file_);
    std::fwrite(&sigfigs, 4, 1, file_);
    std::fwrite(&snapLength, 4, 1, file_);
    std::fwrite(&linkType, 4, 1, file_);
}

CaptureFileWriter::~CaptureFileWriter() { Close(); }

void CaptureFileWriter::Add(const Bytes& frame, size_t capturedLength) {
    const uint32_t captured = uint32_t(std::min(capturedLength, frame.size()));
    const uint32_t wire = uint32_t(frame.size());
    const uint32_t seconds = seconds_;
    const uint32_t micros = uint32_t(frames_ % 1000000);
    ++frames_;
    if (frames_ % 1000000 == 0) ++seconds_;
    std::fwrite(&seconds, 4, 1, file_);
    std::fwrite(&micros, 4, 1, file_);
    std::fwrite(&captured, 4, 1, file_);
    std::fwrite(&wire, 4, 1, file_);
    if (captured) std::fwrite(frame.data(), 1, captured, file_);
}

void CaptureFileWriter::Close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
}

Bytes MmsCommand(uint32_t mid, const Bytes& body, uint32_t sequence) {
    const uint32_t messageLength = uint32_t(24 + body.size());
    Bytes m;
    m.insert(m.end(), {0x01, 0x00, 0x00, 0x00});
    AddLe32(m, 0xB00BFACE);
    AddLe32(m, messageLength);
    m.insert(m.end(), {'M', 'M', 'S', ' '});
    AddLe32(m, messageLength / 8);
    AddLe32(m, sequence);
    AddLe64(m, 0x3FC1EB851EB851ECull);  // timeSent 0.14
    AddLe32(m, messageLength / 8 - 2);
    AddLe32(m, mid);
    Append(m, body);
    return m;
}

Bytes MmsOpenFile(const std::u16string& path) {
    // "<path> 18." with the last blank turned into a terminator.
    std::u16string name = path + u" 18.";
    name[name.rfind(u' ')] = 0;
    Bytes body;
    AddLe32(body, 1);
    AddLe32(body, 0xFFFFFFFF);
    AddLe32(body, 0);
    AddLe32(body, 0);
    Append(body, Utf16(name));
    return MmsCommand(0x00030005, body);
}

Bytes MmsOpenFileWithChunkLen(const std::u16string& path, uint32_t chunkLen) {
    Bytes m = MmsOpenFile(path);
    PutLe32(m, 32, chunkLen);
    return m;
}

Bytes MmsMediaPacket(uint32_t location, uint8_t incarnation, uint8_t flags, const Bytes& payload) {
    Bytes p;
    AddLe32(p, location);
    p.push_back(incarnation);
    p.push_back(flags);
    AddLe16(p, uint16_t(8 + payload.size()));
    Append(p, payload);
    return p;
}

Bytes MmshChunk(char type, uint8_t flags, const Bytes& payload) {
    Bytes c = {'$', uint8_t(type)};
    AddLe16(c, uint16_t(8 + payload.size()));
    AddLe32(c, 0);
    c.push_back(0);
    c.push_back(flags);
    AddLe16(c, uint16_t(8 + payload.size()));
    Append(c, payload);
    return c;
}

Bytes AsfHeader(const std::u16string& title, size_t padding) {
    Bytes objects;
    uint32_t count = 0;

    Bytes fp;
    AddGuid(fp, kFilePropertiesGuid);
    AddLe64(fp, 104);
    fp.insert(fp.end(), 16, 0x11);  // file id
    AddLe64(fp, 0);                 // file size
    AddLe64(fp, 0);                 // creation date
    AddLe64(fp, 0);                 // data packets
    AddLe64(fp, 0);                 // play duration
    AddLe64(fp, 0);                 // send duration
    AddLe64(fp, 3100);              // preroll
    AddLe32(fp, 1);                 // broadcast
    AddLe32(fp, 3200);
    AddLe32(fp, 3200);
    AddLe32(fp, 128000);
    Append(objects, fp);
    ++count;

    if (padding) {
        Bytes pad;
        AddGuid(pad, kPaddingGuid);
        AddLe64(pad, 24 + padding);
        pad.insert(pad.end(), padding, 0);
        Append(objects, pad);
        ++count;
    }

    if (!title.empty()) {
        Bytes t = Utf16(title + u'\0');
        Bytes author = Utf16(u"Larkspan Test\0");
        Bytes cd;
        AddGuid(cd, kContentDescriptionGuid);
        AddLe64(cd, 34 + t.size() + author.size());
        AddLe16(cd, uint16_t(t.size()));
        AddLe16(cd, uint16_t(author.size()));
        AddLe16(cd, 0);
        AddLe16(cd, 0);
        AddLe16(cd, 0);
        Append(cd, t);
        Append(cd, author);
        Append(objects, cd);
        ++count;
    }

    Bytes h;
    AddGuid(h, kHeaderGuid);
    AddLe64(h, 30 + objects.size());
    AddLe32(h, count);
    h.push_back(0x01);
    h.push_back(0x02);
    Append(h, objects);

    AddGuid(h, kDataGuid);
    AddLe64(h, 50);
    h.insert(h.end(), 16, 0x11);
    AddLe64(h, 0);
    h.push_back(0x01);
    h.push_back(0x01);
    return h;
}

std::string TempPath(const std::string& name) {
    static const testsupport::TempFolder folder("detect");
    return folder.File(name);
}

}  // namespace larkspan::detecttest
