// bench_faults_check FILE: does the header of a recording agree with the
// file's length? The data packets in the file are (file size - header
// length - 50) / packet size; Data Packets Count (File Properties), the Data
// Object's size and its Total Data Packets should say the same, and no
// packet should be torn. Prints one line: "consistent (N packets)" or the
// fields that disagree.
// Exit status: 0 consistent, 1 disagreeing, 2 not an ASF file we can read.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "asf/AsfCodec.h"

using larkspan::AsfCodec;
using larkspan::AsfHeaderInfo;
using larkspan::HeaderParseResult;

namespace {

// Offsets inside the Header Object, the File Properties Object and the Data
// Object.
constexpr size_t kObjectSizeAt = 16;
constexpr size_t kDataPacketsCountAt = 56;
constexpr size_t kTotalDataPacketsAt = 40;
constexpr size_t kDataObjectHeadSize = 50;

std::string Field(const char* name, uint64_t says, uint64_t fileHas) {
    return std::string(name) + " says " + std::to_string(says) + ", the file has " + std::to_string(fileHas);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_faults_check FILE\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.eof() && in.fail()) {
        std::printf("unreadable\n");
        return 2;
    }
    AsfHeaderInfo info;
    // The Data Object follows the Header Object, whose size is in its head.
    const uint64_t headerLength = file.size() >= 30 ? AsfCodec::ReadU64(file.data() + kObjectSizeAt) : 0;
    if (headerLength < 30 || headerLength > file.size() || file.size() - headerLength < kDataObjectHeadSize ||
        AsfCodec::ParseHeader(file.data(), headerLength, info) != HeaderParseResult::Ok || info.minPacketSize == 0) {
        std::printf("no whole ASF header (%zu bytes)\n", file.size());
        return 2;
    }
    const uint8_t* props = file.data() + info.filePropertiesOffset;
    const uint8_t* data = file.data() + headerLength;
    const uint64_t payload = file.size() - headerLength - kDataObjectHeadSize;
    const uint64_t packets = payload / info.minPacketSize;
    const uint64_t torn = payload % info.minPacketSize;

    std::vector<std::string> wrong;
    if (torn != 0) wrong.push_back("torn last packet (" + std::to_string(torn) + " bytes)");
    const uint64_t count = AsfCodec::ReadU64(props + kDataPacketsCountAt);
    if (count != packets) wrong.push_back(Field("DataPacketsCount", count, packets));
    const uint64_t dataSize = AsfCodec::ReadU64(data + kObjectSizeAt);
    if (dataSize != kDataObjectHeadSize + packets * info.minPacketSize)
        wrong.push_back(Field("DataObjectSize", dataSize, kDataObjectHeadSize + packets * info.minPacketSize));
    const uint64_t total = AsfCodec::ReadU64(data + kTotalDataPacketsAt);
    if (total != packets) wrong.push_back(Field("TotalDataPackets", total, packets));

    if (wrong.empty()) {
        std::printf("consistent (%llu packets)\n", static_cast<unsigned long long>(packets));
        return 0;
    }
    std::string line;
    for (const std::string& w : wrong) line += (line.empty() ? "" : "; ") + w;
    std::printf("%s\n", line.c_str());
    return 1;
}
