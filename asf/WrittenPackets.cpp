#include "asf/WrittenPackets.h"

#include "asf/ByteSink.h"

namespace larkspan {

void WrittenPackets::Reset(const PacketMark& start) {
    onDisk_ = start;
    unconfirmed_.clear();
}

bool WrittenPackets::Add(const PacketMark& mark, ByteSink& sink) {
    unconfirmed_.push_back(mark);
    // A flush now and then bounds what has to be remembered until then.
    if (mark.end - onDisk_.end < kConfirmEvery) return true;
    if (!sink.Flush()) return false;
    onDisk_ = mark;
    unconfirmed_.clear();
    return true;
}

PacketMark WrittenPackets::CutToWhole(ByteSink& sink) {
    const uint64_t end = sink.Position();
    PacketMark keep = onDisk_;
    for (const PacketMark& mark : unconfirmed_) {
        if (mark.end > end) break;
        keep = mark;
    }
    unconfirmed_.clear();
    onDisk_ = keep;
    if (keep.end != end) sink.Truncate(keep.end);
    return keep;
}

}  // namespace larkspan
