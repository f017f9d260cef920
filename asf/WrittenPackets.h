#pragma once
#include <cstdint>
#include <vector>

namespace larkspan {

class ByteSink;

// What a recording holds up to the end of a data packet (or of its header).
struct PacketMark {
    uint64_t end = 0;  // sink position after it
    uint32_t packets = 0;
    uint64_t dataBytes = 0;  // padding included
    uint32_t largestSendTime = 0;
};

// Tracks, packet by packet, what a recording has written and what is known
// to have reached the disk. The sink writes behind, so a full disk may show
// only some packets later: after a failed write, CutToWhole finds the last
// packet that lies whole before the sink's real end, cuts the torn rest off
// and tells the counts that then hold, so the header rewrite describes
// exactly what is on disk.
class WrittenPackets {
public:
    // Bytes between checks that the writes reached the disk.
    static constexpr uint64_t kConfirmEvery = 1024 * 1024;

    // Starts over: start is known to be on disk (usually the header's end).
    void Reset(const PacketMark& start);
    // Notes mark after a whole packet; every kConfirmEvery bytes flushes the
    // sink. False when that flush failed.
    bool Add(const PacketMark& mark, ByteSink& sink);
    // After a failed write, with the sink's position at its real end: cuts
    // the sink back to the last whole packet and returns its mark.
    PacketMark CutToWhole(ByteSink& sink);

private:
    PacketMark onDisk_;
    std::vector<PacketMark> unconfirmed_;  // written since, in order
};

}  // namespace larkspan
