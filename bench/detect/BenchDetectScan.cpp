// Address detection throughput. Writes a capture file of a realistic traffic
// mix (HTTPS and HTTP transfers with their ACKs, DNS and QUIC over UDP,
// IPv6, ARP, MMS media from port 1755, and a handful of stream requests),
// then scans it from the page cache twice: with the scanner alone over the
// mapped file, and through the capture library's file reader as
// `--detect --pcap` does. Prints frames per second for each, and the heap
// allocations made while scanning.
//
//   bench_detect_scan [FILE] [FRAMES]   (default: detect-mix.pcap, 1200000)
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "detect/FrameScanner.h"
#include "detect/PacketCapture.h"

namespace {

std::atomic<uint64_t> g_allocations{0};

}  // namespace

// Counting replacement of the global allocator (malloc underneath).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(size_t n) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace {

using Bytes = std::vector<uint8_t>;

void Be16(Bytes& b, uint16_t v) {
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
}
void Be32(Bytes& b, uint32_t v) {
    Be16(b, uint16_t(v >> 16));
    Be16(b, uint16_t(v));
}
void Le16(Bytes& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void Le32(Bytes& b, uint32_t v) {
    Le16(b, uint16_t(v));
    Le16(b, uint16_t(v >> 16));
}

Bytes EthernetHeader(uint16_t type) {
    Bytes f = {0x02, 0, 0, 0, 0, 1, 0x02, 0, 0, 0, 0, 2};
    Be16(f, type);
    return f;
}

// An Ethernet frame with IPv4 and TCP (timestamps option) or UDP.
Bytes Ipv4Frame(uint32_t src, uint32_t dst, uint8_t proto, uint16_t sport, uint16_t dport, uint32_t seq,
                const Bytes& payload) {
    Bytes f = EthernetHeader(0x0800);
    const size_t l4 = proto == 6 ? 32 : 8;
    f.push_back(0x45);
    f.push_back(0);
    Be16(f, uint16_t(20 + l4 + payload.size()));
    Be16(f, 0x1111);
    Be16(f, 0x4000);
    f.push_back(64);
    f.push_back(proto);
    Be16(f, 0);
    Be32(f, src);
    Be32(f, dst);
    Be16(f, sport);
    Be16(f, dport);
    if (proto == 6) {
        Be32(f, seq);
        Be32(f, 1);
        f.push_back(0x80);  // 32-byte header
        f.push_back(payload.empty() ? 0x10 : 0x18);
        Be16(f, 501);
        Be16(f, 0);
        Be16(f, 0);
        f.insert(f.end(), {1, 1, 8, 10, 0, 0, 0, 1, 0, 0, 0, 2});
    } else {
        Be16(f, uint16_t(8 + payload.size()));
        Be16(f, 0);
    }
    f.insert(f.end(), payload.begin(), payload.end());
    while (f.size() < 60) f.push_back(0);
    return f;
}

Bytes Ipv6Frame(size_t payload) {
    Bytes f = EthernetHeader(0x86DD);
    f.insert(f.end(), {0x60, 0, 0, 0});
    Be16(f, uint16_t(20 + payload));
    f.push_back(6);
    f.push_back(64);
    for (int i = 0; i < 32; ++i) f.push_back(uint8_t(i * 7));
    Be16(f, 443);
    Be16(f, 51000);
    f.resize(f.size() + 16 + payload, 0x5A);
    return f;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes MmsOpenFile(const std::u16string& path) {
    std::u16string name = path + u'\0' + u"18.";
    Bytes m = {1, 0, 0, 0};
    Le32(m, 0xB00BFACE);
    const uint32_t len = uint32_t(40 + 2 * name.size());
    Le32(m, len);
    m.insert(m.end(), {'M', 'M', 'S', ' '});
    Le32(m, len / 8);
    Le32(m, 3);
    m.insert(m.end(), {0xEC, 0x51, 0xB8, 0x1E, 0x85, 0xEB, 0xC1, 0x3F});
    Le32(m, len / 8 - 2);
    Le32(m, 0x00030005);
    Le32(m, 1);
    Le32(m, 0xFFFFFFFF);
    Le32(m, 0);
    Le32(m, 0);
    for (char16_t c : name) Le16(m, uint16_t(c));
    return m;
}

struct Writer {
    std::FILE* f;
    size_t frames = 0;
    void Add(const Bytes& frame) {
        uint32_t hdr[4] = {1700000000u + uint32_t(frames / 100000), uint32_t(frames % 1000000), uint32_t(frame.size()),
                           uint32_t(frame.size())};
        std::fwrite(hdr, 4, 4, f);
        std::fwrite(frame.data(), 1, frame.size(), f);
        ++frames;
    }
};

size_t WriteMix(const std::string& path, size_t count, size_t& requests) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    const uint32_t header[6] = {0xA1B2C3D4, 0x00040002, 0, 0, 65535, 1};
    std::fwrite(header, 4, 6, f);
    Writer w{f};
    std::mt19937 rng(12345);
    const Bytes bulk(1448, 0xAB), quic(1200, 0xC3), dns(60, 0x11), small(200, 0x33);
    const Bytes pageGet = Text("GET /static/app.js HTTP/1.1\r\nHost: example.test\r\nAccept: */*\r\n\r\n");
    const Bytes mmsMedia = [] {
        Bytes p = {0, 0, 0, 0, 4, 0};
        Le16(p, 1408);
        p.resize(1408, 0x82);
        return p;
    }();
    Bytes arp = EthernetHeader(0x0806);
    arp.resize(60, 0);
    uint32_t seq = 1;
    requests = 0;
    while (w.frames < count) {
        const uint32_t host = 0x0A000000u | (rng() & 0xFFFF);
        const uint32_t local = 0xC0A80102u;
        const uint16_t eph = uint16_t(40000 + rng() % 20000);
        const unsigned r = rng() % 1000;
        seq += 1448;
        if (w.frames % 100000 == 50000) {
            // A stream request now and then: HTTP and MMS.
            char target[64];
            std::snprintf(target, sizeof target, "GET /live/ch%zu.asf HTTP/1.0\r\nHost: media\r\n\r\n", w.frames);
            w.Add(Ipv4Frame(local, host, 6, eph, 80, seq, Text(target)));
            w.Add(Ipv4Frame(local, host, 6, eph, 1755, seq, MmsOpenFile(u"media/clip" + std::u16string(1, char16_t(u'a' + w.frames / 100000 % 26)) + u".asf")));
            requests += 2;
        } else if (r < 380) {
            w.Add(Ipv4Frame(host, local, 6, 443, eph, seq, bulk));  // HTTPS download
        } else if (r < 640) {
            w.Add(Ipv4Frame(local, host, 6, eph, 443, seq, {}));  // its ACKs
        } else if (r < 700) {
            w.Add(Ipv4Frame(host, local, 6, 80, eph, seq, bulk));  // HTTP download
        } else if (r < 740) {
            w.Add(Ipv4Frame(local, host, 6, eph, 80, seq, {}));  // ACK to port 80
        } else if (r < 750) {
            w.Add(Ipv4Frame(local, host, 6, eph, 80, seq, pageGet));  // ordinary web requests
        } else if (r < 770) {
            w.Add(Ipv4Frame(host, local, 6, 1755, eph, seq, mmsMedia));  // MMS media
        } else if (r < 780) {
            w.Add(Ipv4Frame(local, host, 6, eph, 1755, seq, {}));
        } else if (r < 850) {
            w.Add(Ipv4Frame(host, local, 17, 443, eph, 0, quic));
        } else if (r < 880) {
            w.Add(Ipv4Frame(local, 0x08080808u, 17, eph, 53, 0, dns));
        } else if (r < 950) {
            w.Add(Ipv6Frame(r < 920 ? 1448 : 0));
        } else if (r < 960) {
            w.Add(arp);
        } else {
            w.Add(Ipv4Frame(local, host, 6, eph, 22, seq, small));
        }
    }
    std::fclose(f);
    return w.frames;
}

class CountingSink : public larkspan::DetectionSink {
public:
    void AddRow(const std::string&, const std::string&, const std::string&) override { ++rows; }
    size_t rows = 0;
};

double Seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

// CPU time of this thread: on a shared machine the wall clock also counts
// the time other processes held the core.
double CpuSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + t.tv_nsec / 1e9;
}

constexpr size_t kPrefetchDistance = 32 * 1024;

// The scanner alone over the mapped file: walks the capture records in place.
void ScanMapped(const std::string& path, size_t expected) {
    int fd = open(path.c_str(), O_RDONLY);
    struct stat st;
    fstat(fd, &st);
    const size_t size = size_t(st.st_size);
    auto* base = static_cast<const uint8_t*>(mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0));
    close(fd);
    if (base == MAP_FAILED) {
        std::perror("mmap");
        return;
    }
    for (int round = 0; round < 3; ++round) {
        CountingSink sink;
        larkspan::FrameScanner scanner(sink);
        const uint64_t allocBefore = g_allocations.load();
        const double c0 = CpuSeconds();
        auto t0 = std::chrono::steady_clock::now();
        size_t at = 24;
        size_t ahead = at;
        while (at + 16 <= size) {
            // The next record's place is known only once this one is read, so
            // the hardware cannot run ahead: pull the coming bytes in early.
            for (const size_t until = std::min(size, at + kPrefetchDistance); ahead < until; ahead += 64)
                __builtin_prefetch(base + ahead);
            uint32_t captured;
            std::memcpy(&captured, base + at + 8, 4);
            at += 16;
            if (captured > size - at) break;
            scanner.ScanFrame(base + at, captured);
            at += captured;
        }
        auto t1 = std::chrono::steady_clock::now();
        const double cpu = CpuSeconds() - c0;
        const uint64_t allocs = g_allocations.load() - allocBefore;
        const double s = Seconds(t0, t1);
        std::printf("scanner over mapped file, round %d: %zu frames, %.3f s wall = %.2f M frames/s, %.3f s CPU = "
                    "%.2f M frames/s (%.2f GB/s); %zu rows (expected %zu), %llu allocations\n",
                    round + 1, size_t(scanner.framesScanned()), s, scanner.framesScanned() / s / 1e6, cpu,
                    scanner.framesScanned() / cpu / 1e6, size / cpu / 1e9, sink.rows, expected,
                    (unsigned long long)allocs);
    }

    // The scanner's own cost: the first frames of the file, small enough to
    // stay in the processor's cache, scanned over and over.
    std::vector<std::pair<size_t, uint32_t>> hot;
    size_t hotBytes = 0;
    for (size_t at = 24; at + 16 <= size && hotBytes < 256 * 1024;) {
        uint32_t captured;
        std::memcpy(&captured, base + at + 8, 4);
        if (captured > size - at - 16) break;
        hot.push_back({at + 16, captured});
        hotBytes += captured + 16;
        at += 16 + captured;
    }
    CountingSink sink;
    larkspan::FrameScanner scanner(sink);
    const size_t passes = 20000000 / hot.size() + 1;
    const double c0 = CpuSeconds();
    for (size_t p = 0; p < passes; ++p)
        for (auto& [offset, length] : hot) scanner.ScanFrame(base + offset, length);
    const double cpu = CpuSeconds() - c0;
    std::printf("scanner over %zu frames held in cache: %zu frames, %.3f s CPU = %.1f M frames/s (%.1f ns a frame)\n",
                hot.size(), size_t(scanner.framesScanned()), cpu, scanner.framesScanned() / cpu / 1e6,
                cpu / scanner.framesScanned() * 1e9);
    munmap(const_cast<uint8_t*>(base), size);
}

// Through PacketCapture, the file reader `--detect --pcap` uses, in the
// batches the capture thread reads.
void ScanWithCaptureReader(const std::string& path, size_t expected) {
    for (int round = 0; round < 3; ++round) {
        std::string message;
        auto capture = larkspan::PacketCapture::OpenFile(path, message);
        if (!capture) {
            std::fprintf(stderr, "%s\n", message.c_str());
            return;
        }
        CountingSink sink;
        larkspan::FrameScanner scanner(sink);
        std::atomic<bool> flag{true};
        const uint64_t allocBefore = g_allocations.load();
        const double c0 = CpuSeconds();
        auto t0 = std::chrono::steady_clock::now();
        while (capture->ReadBatch(scanner, flag, message) == larkspan::PacketCapture::ReadResult::Frames) {
        }
        auto t1 = std::chrono::steady_clock::now();
        const double cpu = CpuSeconds() - c0;
        const uint64_t allocs = g_allocations.load() - allocBefore;
        const double s = Seconds(t0, t1);
        std::printf("capture file reader + scanner, round %d: %zu frames, %.3f s wall = %.2f M frames/s, %.3f s CPU "
                    "= %.2f M frames/s; %zu rows (expected %zu), %llu allocations\n",
                    round + 1, size_t(scanner.framesScanned()), s, scanner.framesScanned() / s / 1e6, cpu,
                    scanner.framesScanned() / cpu / 1e6, sink.rows, expected, (unsigned long long)allocs);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string path = argc > 1 ? argv[1] : "detect-mix.pcap";
    const size_t count = argc > 2 ? size_t(std::strtoull(argv[2], nullptr, 10)) : 1200000;
    size_t requests = 0;
    auto t0 = std::chrono::steady_clock::now();
    size_t written = WriteMix(path, count, requests);
    if (!written) {
        std::perror(path.c_str());
        return 1;
    }
    struct stat st;
    stat(path.c_str(), &st);
    std::printf("wrote %zu frames (%.1f MB, %zu stream requests) to %s in %.2f s\n", written, st.st_size / 1e6,
                requests, path.c_str(), Seconds(t0, std::chrono::steady_clock::now()));
    ScanMapped(path, requests);
    ScanWithCaptureReader(path, requests);
    return 0;
}
