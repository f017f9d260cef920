#include "tests/detect/CaptureBuilder.h"

#include <atomic>
#include <stdexcept>

#include "detect/RunDetection.h"
#include "tests/support/AsfBuilders.h"
#include "tests/support/FileContents.h"
#include "tests/support/TempFolder.h"

namespace larkspan::detecttest {
namespace {

void AddBe16(Bytes& b, uint16_t v) { b.insert(b.end(), {uint8_t(v >> 8), uint8_t(v)}); }
void AddBe32(Bytes& b, uint32_t v) {
    AddBe16(b, uint16_t(v >> 16));
    AddBe16(b, uint16_t(v));
}

}  // namespace

void Append(Bytes& to, const Bytes& from) { to.insert(to.end(), from.begin(), from.end()); }
void PutLe32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.at(at + i) = uint8_t(v >> (8 * i));
}
void AddLe16(Bytes& b, uint16_t v) { b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)}); }
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
    const size_t ipHeader = 20 + s.ipOptions.size(), tcpHeader = 20 + s.tcpOptions.size();
    Bytes ip = {uint8_t(0x40 | ipHeader / 4), 0};
    AddBe16(ip, uint16_t(ipHeader + tcpHeader + s.payload.size()));
    AddBe16(ip, 0x1234);  // identification
    AddBe16(ip, s.fragmentField);
    ip.insert(ip.end(), {64, s.protocol, 0, 0});  // TTL, protocol, checksum (not checked by readers)
    ip.insert(ip.end(), {s.source.a, s.source.b, s.source.c, s.source.d});
    ip.insert(ip.end(), {s.destination.a, s.destination.b, s.destination.c, s.destination.d});
    Append(ip, s.ipOptions);
    AddBe16(ip, s.sourcePort);
    AddBe16(ip, s.destinationPort);
    AddBe32(ip, s.seq);
    AddBe32(ip, 1);  // acknowledgement
    ip.insert(ip.end(), {uint8_t(tcpHeader / 4 << 4), s.flags, 0xFA, 0xF0, 0, 0, 0, 0});  // window, checksum, urgent
    Append(ip, s.tcpOptions);
    Append(ip, s.payload);
    return ip;
}

Bytes Ethernet(const Bytes& ip) {
    Bytes f = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01, 0x02, 0x00, 0x00, 0x00, 0x00, 0x02, 0x08, 0x00};
    Append(f, ip);
    if (f.size() < 60) f.resize(60, 0);
    return f;
}

Bytes CaptureFile(uint32_t linkType, const std::vector<Bytes>& frames, bool bigEndian, bool nanoseconds) {
    Bytes file;
    auto add32 = [&](uint32_t v) { bigEndian ? AddBe32(file, v) : AddLe32(file, v); };
    auto add16 = [&](uint16_t v) { bigEndian ? AddBe16(file, v) : AddLe16(file, v); };
    add32(nanoseconds ? 0xA1B23C4D : 0xA1B2C3D4);
    add16(2);
    add16(4);
    add32(0);  // time zone
    add32(0);  // accuracy
    add32(262144);
    add32(linkType);
    for (const Bytes& f : frames) {
        add32(1700000000);
        add32(nanoseconds ? 999999999 : 999999);
        add32(uint32_t(f.size()));  // captured
        add32(uint32_t(f.size()));  // on the wire
        Append(file, f);
    }
    return file;
}

CaptureFileWriter::CaptureFileWriter(const std::string& path, uint32_t linkType) {
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) throw std::runtime_error("cannot create " + path);
    const Bytes header = CaptureFile(linkType, {});
    std::fwrite(header.data(), 1, header.size(), file_);
}

void CaptureFileWriter::Add(const Bytes& frame) {
    const Bytes alone = CaptureFile(0, {frame});  // a file header (24 bytes) and the record
    std::fwrite(alone.data() + 24, 1, alone.size() - 24, file_);
}

void CaptureFileWriter::Close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
}

Bytes MmsCommand(uint32_t mid, const Bytes& body, uint32_t sequence) {
    const uint32_t messageLength = uint32_t(24 + body.size());
    Bytes m = {0x01, 0x00, 0x00, 0x00};
    AddLe32(m, 0xB00BFACE);
    AddLe32(m, messageLength);
    Append(m, {'M', 'M', 'S', ' '});
    AddLe32(m, messageLength / 8);
    AddLe32(m, sequence);
    AddLe64(m, 0x3FC1EB851EB851ECull);  // time sent: 0.14
    AddLe32(m, messageLength / 8 - 2);
    AddLe32(m, mid);
    Append(m, body);
    return m;
}

Bytes MmsOpenFile(const std::u16string& path, int64_t chunkLen) {
    Bytes body;
    AddLe32(body, 1);
    AddLe32(body, 0xFFFFFFFF);
    AddLe64(body, 0);
    Append(body, Utf16(path + u'\0' + u"18."));
    Bytes m = MmsCommand(0x00030005, body);
    if (chunkLen >= 0) PutLe32(m, 32, uint32_t(chunkLen));
    return m;
}

Bytes MmsMediaPacket(uint32_t location, uint8_t incarnation, uint8_t flags, const Bytes& payload) {
    Bytes p;
    AddLe32(p, location);
    p.insert(p.end(), {incarnation, flags});
    AddLe16(p, uint16_t(8 + payload.size()));
    Append(p, payload);
    return p;
}

Bytes MmshChunk(char type, uint8_t flags, const Bytes& payload) {
    Bytes c = {'$', uint8_t(type)};
    AddLe16(c, uint16_t(8 + payload.size()));
    AddLe32(c, 0);
    c.insert(c.end(), {0, flags});
    AddLe16(c, uint16_t(8 + payload.size()));
    Append(c, payload);
    return c;
}

Bytes AsfHeader(const std::u16string& title, size_t padding) {
    testsupport::HeaderValues v;
    v.preroll = 3100;
    v.minPacketSize = v.maxPacketSize = 3200;
    v.paddingObjectBefore = padding ? 24 + padding : 0;
    Bytes h = testsupport::MakeHeader(v);
    if (title.empty()) return h;
    const Bytes t = Utf16(title + u'\0'), author = Utf16(std::u16string(u"Larkspan Test") + u'\0');
    Bytes cd(testsupport::kContentDescriptionGuid, testsupport::kContentDescriptionGuid + 16);
    AddLe64(cd, 34 + t.size() + author.size());
    for (size_t length : {t.size(), author.size(), size_t(0), size_t(0), size_t(0)}) AddLe16(cd, uint16_t(length));
    Append(cd, t);
    Append(cd, author);
    h.insert(h.end() - 50, cd.begin(), cd.end());                   // before the Data Object
    testsupport::PutLE64(h, 16, h.size() - 50);                     // Header Object size
    testsupport::PutLE32(h, 24, testsupport::GetLE32(h, 24) + 1);  // object count
    return h;
}

std::string TempPath(const std::string& name) {
    static const testsupport::TempFolder folder("detect");
    return folder.File(name);
}

void RecordingSink::Changed(const std::function<void()>& change) {
    std::lock_guard<std::mutex> lock(mutex_);
    change();
    changed_.notify_all();
}

void RecordingSink::AddRow(const std::string& source, const std::string& name, const std::string& recordTime) {
    Changed([&] {
        if (!name.empty() || recordTime != "0") messages.push_back("AddRow(" + name + ", " + recordTime + ")");
        rows.push_back(source);
    });
}

int RecordingSink::SetRowName(const std::string& url, const std::string& title, const std::string& recordTime) {
    Changed([&] {
        if (recordTime != "0") messages.push_back("SetRowName(" + recordTime + ")");
        names.emplace_back(url, title);
    });
    return 0;
}

void RecordingSink::ShowDetectionMessage(const std::string& text) {
    Changed([&] { messages.push_back(text); });
}

void RecordingSink::OnDetectionStopped() {
    Changed([&] { stopped = true; });
}

Detected DetectFile(const std::string& path) {
    RecordingSink sink;
    DetectionSource source;
    source.pcapFile = path;
    Detected d;
    d.result = RunDetection(source, sink);
    d.rows = sink.rows;
    d.names = sink.names;
    d.messages = sink.messages;
    d.stopped = sink.stopped;
    return d;
}

Detected DetectFrames(const std::vector<Bytes>& frames) {
    static std::atomic<int> counter{0};
    const std::string path = TempPath("frames-" + std::to_string(counter++) + ".pcap");
    if (!testsupport::WriteFileBytes(path, CaptureFile(kLinkEthernet, frames))) throw std::runtime_error("cannot write " + path);
    return DetectFile(path);
}

}  // namespace larkspan::detecttest
