#include "detect/PacketCapture.h"

#include <pcap/pcap.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "detect/CaptureFileReader.h"
#include "detect/FrameScanner.h"

namespace larkspan {
namespace {

constexpr size_t kMaxAdapters = 10;
constexpr int kSnapLength = 65535;
// Frames per batch when reading a file, so that a stop is noticed in time.
constexpr int kFileBatch = 4096;
constexpr size_t kFileBufferBytes = 1 << 20;

// Devices the capture library lists that never carry IP frames.
bool IsPseudoDevice(const char* name) {
    static const char* const kPrefixes[] = {"nflog", "nfqueue", "dbus-", "bluetooth", "usbmon", "dpdk:"};
    for (const char* p : kPrefixes) {
        if (std::strncmp(name, p, std::strlen(p)) == 0) return true;
    }
    return false;
}

std::string OwnPath() {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "<program>";
    return std::string(path, size_t(n));
}

std::string OpenFailure(int code, const std::string& detail) {
    char text[96];
    std::snprintf(text, sizeof text, "Unable to open the driver, Error Code : %lx\n", (unsigned long)(unsigned)code);
    return text + detail;
}

// Only frames the scanner can act on need to leave the kernel: TCP to or
// from port 80 or 1755 (also behind a VLAN tag), and IP fragments after the
// first, which carry no ports. Everything else it would skip anyway. A
// link type a filter cannot be built for captures unfiltered.
void SetKernelFilter(pcap_t* p) {
    static const char* const kFilters[] = {
        "(tcp port 80 or tcp port 1755 or (ip[6:2] & 0x1fff != 0)) or "
        "(vlan and (tcp port 80 or tcp port 1755 or (ip[6:2] & 0x1fff != 0)))",
        "tcp port 80 or tcp port 1755 or (ip[6:2] & 0x1fff != 0)",
    };
    for (const char* text : kFilters) {
        bpf_program program;
        if (pcap_compile(p, &program, text, 1, PCAP_NETMASK_UNKNOWN) != 0) continue;
        int set = pcap_setfilter(p, &program);
        pcap_freecode(&program);
        if (set == 0) return;
    }
}

struct DispatchContext {
    FrameScanner* scanner;
    pcap_t* handle;
    const std::atomic<bool>* flag;
};

void OnFrame(u_char* user, const pcap_pkthdr* header, const u_char* bytes) {
    auto* ctx = reinterpret_cast<DispatchContext*>(user);
    if (!ctx->flag->load(std::memory_order_relaxed)) {
        pcap_breakloop(ctx->handle);
        return;
    }
    ctx->scanner->ScanFrame(bytes, header->caplen);
}

}  // namespace

std::string CapturePermissionHint() {
    return "Packet capture needs root or the CAP_NET_RAW and CAP_NET_ADMIN capabilities.\n"
           "Run the program as root, or give it the capabilities once:\n"
           "  sudo setcap cap_net_raw,cap_net_admin=eip " + OwnPath();
}

std::vector<CaptureAdapter> ListCaptureAdapters(std::string& error) {
    std::vector<CaptureAdapter> out;
    char errbuf[PCAP_ERRBUF_SIZE] = "";
    pcap_if_t* all = nullptr;
    if (pcap_findalldevs(&all, errbuf) != 0) {
        error = std::string("Unable to list the capture interfaces: ") + errbuf;
        return out;
    }
    for (pcap_if_t* d = all; d && out.size() < kMaxAdapters; d = d->next) {
        if (!d->name || IsPseudoDevice(d->name)) continue;
        out.push_back({d->name, d->description ? d->description : ""});
    }
    pcap_freealldevs(all);
    if (out.empty()) error = "No capture interface was found.\n" + CapturePermissionHint();
    return out;
}

std::optional<size_t> ChooseAdapterIndex(const std::vector<CaptureAdapter>& adapters, AdapterChooser* chooser) {
    if (adapters.size() < 2 || !chooser) return 0;
    std::optional<size_t> chosen = chooser->ChooseAdapter(adapters);
    if (chosen && *chosen >= adapters.size()) return 0;
    return chosen;
}

PacketCapture::PacketCapture(pcap* handle, LinkType link, bool file) : handle_(handle), link_(link), file_(file) {
    if (!file_) selectable_ = pcap_get_selectable_fd(handle_);
}

PacketCapture::PacketCapture(std::unique_ptr<CaptureFileReader> reader, LinkType link)
    : reader_(std::move(reader)), link_(link), file_(true) {}

PacketCapture::~PacketCapture() {
    if (handle_) pcap_close(handle_);
}

std::unique_ptr<PacketCapture> PacketCapture::OpenLive(const std::string& interfaceName, std::string& message) {
    char errbuf[PCAP_ERRBUF_SIZE] = "";
    pcap_t* p = pcap_create(interfaceName.c_str(), errbuf);
    if (!p) {
        message = OpenFailure(PCAP_ERROR, errbuf);
        return nullptr;
    }
    pcap_set_snaplen(p, kSnapLength);
    pcap_set_promisc(p, 1);
    pcap_set_timeout(p, kReadTimeoutMs);
    int status = pcap_activate(p);
    if (status < 0) {
        std::string detail = pcap_geterr(p);
        if (detail.empty()) detail = pcap_statustostr(status);
        if (status == PCAP_ERROR_PERM_DENIED || status == PCAP_ERROR_PROMISC_PERM_DENIED ||
            (status == PCAP_ERROR && (std::strstr(detail.c_str(), "ermission") || std::strstr(detail.c_str(), "EPERM")))) {
            message = "Unable to capture on " + interfaceName + ": " + detail + "\n" + CapturePermissionHint();
        } else if (status == PCAP_ERROR_NO_SUCH_DEVICE) {
            message = OpenFailure(status, "There is no capture interface named \"" + interfaceName + "\".");
        } else if (status == PCAP_ERROR_IFACE_NOT_UP) {
            message = OpenFailure(status, "The interface " + interfaceName + " is down.");
        } else {
            message = OpenFailure(status, detail);
        }
        pcap_close(p);
        return nullptr;
    }
    std::optional<LinkType> link = LinkTypeFromDlt(pcap_datalink(p));
    if (!link) {
        const char* name = pcap_datalink_val_to_name(pcap_datalink(p));
        message = "The interface " + interfaceName + " delivers frames of link type " +
                  (name ? name : std::to_string(pcap_datalink(p))) + ", which address detection cannot read.";
        pcap_close(p);
        return nullptr;
    }
    SetKernelFilter(p);
    if (pcap_setnonblock(p, 1, errbuf) != 0) {
        message = OpenFailure(PCAP_ERROR, errbuf);
        pcap_close(p);
        return nullptr;
    }
    auto capture = std::unique_ptr<PacketCapture>(new PacketCapture(p, *link, false));
    if (capture->selectable_ < 0) {
        message = OpenFailure(PCAP_ERROR, "The interface " + interfaceName + " cannot be waited on.");
        return nullptr;
    }
    return capture;
}

static std::string UnreadableLinkType(const std::string& path, int dlt) {
    const char* name = pcap_datalink_val_to_name(dlt);
    return "The capture file " + path + " holds frames of link type " + (name ? name : std::to_string(dlt)) +
           ", which address detection cannot read.";
}

std::unique_ptr<PacketCapture> PacketCapture::OpenFile(const std::string& path, std::string& message) {
    // Classic files are read here, frames scanned where they lie in the
    // read buffer; pcapng and anything else go to the capture library.
    auto reader = std::make_unique<CaptureFileReader>();
    switch (reader->Open(path, message)) {
    case CaptureFileReader::OpenResult::Ok: {
        // The file's LINKTYPE_ number equals the DLT_ one for every framing
        // we read, except raw IP (101), which LinkTypeFromDlt also knows.
        const int dlt = int(reader->linkType());
        std::optional<LinkType> link = LinkTypeFromDlt(dlt);
        if (!link) {
            message = UnreadableLinkType(path, dlt);
            return nullptr;
        }
        return std::unique_ptr<PacketCapture>(new PacketCapture(std::move(reader), *link));
    }
    case CaptureFileReader::OpenResult::Failed:
        return nullptr;
    case CaptureFileReader::OpenResult::NotClassic:
        break;
    }
    reader.reset();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        message = "Unable to read the capture file " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    // A large stdio buffer: with the default one, reading a big capture
    // costs a system call every few frames.
    std::setvbuf(file, nullptr, _IOFBF, kFileBufferBytes);
    char errbuf[PCAP_ERRBUF_SIZE] = "";
    pcap_t* p = pcap_fopen_offline(file, errbuf);
    if (!p) {
        std::fclose(file);
        message = "Unable to read the capture file " + path + ": " + errbuf;
        return nullptr;
    }
    std::optional<LinkType> link = LinkTypeFromDlt(pcap_datalink(p));
    if (!link) {
        message = UnreadableLinkType(path, pcap_datalink(p));
        pcap_close(p);
        return nullptr;
    }
    return std::unique_ptr<PacketCapture>(new PacketCapture(p, *link, true));
}

PacketCapture::ReadResult PacketCapture::ReadBatch(FrameScanner& scanner, const std::atomic<bool>& captureFlag,
                                                   std::string& message) {
    scanner.SetLinkType(link_);
    if (reader_) {
        switch (reader_->ReadBatch(scanner, kFileBatch, captureFlag, message)) {
        case CaptureFileReader::ReadResult::Frames: return ReadResult::Frames;
        case CaptureFileReader::ReadResult::EndOfFile: return ReadResult::EndOfFile;
        case CaptureFileReader::ReadResult::Failed: return ReadResult::Failed;
        }
    }
    DispatchContext ctx{&scanner, handle_, &captureFlag};
    if (!file_) {
        // The kernel hands over a block when it fills or when the read
        // time-out passes; wait for that here so a stop is seen in time.
        pollfd pfd{selectable_, POLLIN, 0};
        int ready = poll(&pfd, 1, kReadTimeoutMs);
        if (ready < 0) {
            if (errno == EINTR) return ReadResult::Frames;
            message = std::string("Error: PacketReceivePacket failed\n") + std::strerror(errno);
            return ReadResult::Failed;
        }
        if (ready == 0) return ReadResult::Frames;
    }
    int n = pcap_dispatch(handle_, file_ ? kFileBatch : -1, OnFrame, reinterpret_cast<u_char*>(&ctx));
    if (n == PCAP_ERROR_BREAK) return ReadResult::Frames;
    if (n < 0) {
        message = std::string("Error: PacketReceivePacket failed\n") + pcap_geterr(handle_);
        return ReadResult::Failed;
    }
    if (file_ && n == 0) return ReadResult::EndOfFile;
    return ReadResult::Frames;
}

void PacketCapture::Interrupt() {
    if (handle_) pcap_breakloop(handle_);
}

}  // namespace larkspan
