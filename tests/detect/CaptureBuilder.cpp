#include "tests/detect/CaptureBuilder.h"

#include <atomic>
#include <stdexcept>

#include "detect/RunDetection.h"
#include "tests/support/AsfFileParts.h"
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
void AddLe16(Bytes& b, uint16_t v) { b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)}); }
void AddLe32(Bytes& b, uint32_t v) {
    AddLe16(b, uint16_t(v));
    AddLe16(b, uint16_t(v >> 16));
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
    ip.insert(ip.end(), {64, s.protocol, 0, 0});  // time to live, protocol, checksum (no reader checks it)
    ip.insert(ip.end(), {s.source.a, s.source.b, s.source.c, s.source.d});
    ip.insert(ip.end(), {s.destination.a, s.destination.b, s.destination.c, s.destination.d});
    Append(ip, s.ipOptions);
    AddBe16(ip, s.sourcePort);
    AddBe16(ip, s.destinationPort);
    AddBe32(ip, s.seq);
    AddBe32(ip, 1);                                                                        // acknowledgement
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
    add32(nanoseconds ? 0xA1B23C4D : 0xA1B2C3D4);
    add32(bigEndian ? 0x00020004 : 0x00040002);  // version 2.4
    for (uint32_t v : {0u, 0u, 262144u, linkType}) add32(v);  // time zone, accuracy, snap length
    for (const Bytes& f : frames) {
        for (uint32_t v : {1700000000u, nanoseconds ? 999999999u : 999999u, uint32_t(f.size()), uint32_t(f.size())}) {
            add32(v);  // time stamp, captured and original length
        }
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
    const uint32_t length = uint32_t(24 + body.size());
    Bytes m = {0x01, 0x00, 0x00, 0x00};
    for (uint32_t v : {0xB00BFACEu, length, 0x20534D4Du, length / 8, sequence, 0x1EB851ECu, 0x3FC1EB85u}) {
        AddLe32(m, v);  // session id, length, "MMS ", chunks, sequence, time sent (0.14)
    }
    AddLe32(m, length / 8 - 2);
    AddLe32(m, mid);
    Append(m, body);
    return m;
}

Bytes MmsOpenFile(const std::u16string& path, int64_t chunkLen) {
    Bytes body = {1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0};
    Append(body, Utf16(path + u'\0' + u"18."));
    Bytes m = MmsCommand(0x00030005, body);
    if (chunkLen >= 0) testsupport::PutLE32(m, 32, uint32_t(chunkLen));
    return m;
}

std::string TempPath(const std::string& name) {
    static const testsupport::TempFolder folder("detect");
    return folder.File(name);
}

void RecordingSink::Change(const std::function<void()>& change) {
    std::lock_guard<std::mutex> lock(mutex_);
    change();
    changed_.notify_all();
}

void RecordingSink::AddRow(const std::string& source, const std::string& name, const std::string& recordTime) {
    Change([&] {
        if (!name.empty() || recordTime != "0") messages.push_back("AddRow(" + name + ", " + recordTime + ")");
        rows.push_back(source);
    });
}

int RecordingSink::SetRowName(const std::string& url, const std::string& title, const std::string& recordTime) {
    Change([&] {
        if (recordTime != "0") messages.push_back("SetRowName(" + recordTime + ")");
        names.emplace_back(url, title);
    });
    return 0;
}

void RecordingSink::ShowDetectionMessage(const std::string& text) {
    Change([&] { messages.push_back(text); });
}

void RecordingSink::OnDetectionStopped() {
    Change([&] { stopped = true; });
}

Detected DetectFile(const std::string& path) {
    RecordingSink sink;
    DetectionSource source;
    source.pcapFile = path;
    const int result = RunDetection(source, sink);
    return {static_cast<const Reported&>(sink), result};
}

Detected DetectBytes(const Bytes& file) {
    static std::atomic<int> counter{0};
    const std::string path = TempPath("capture-" + std::to_string(counter++) + ".pcap");
    if (!testsupport::WriteFileBytes(path, file)) throw std::runtime_error(path);
    return DetectFile(path);
}

Detected DetectFrames(const std::vector<Bytes>& frames) { return DetectBytes(CaptureFile(kLinkEthernet, frames)); }

}  // namespace larkspan::detecttest
