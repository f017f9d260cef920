#pragma once

namespace larkspan {

// "Max Time" is kept in seconds and edited as whole minutes and the seconds
// left over.
struct MaxTimeFields {
    int minutes = 0;
    int seconds = 0;
};

MaxTimeFields SplitMaxTime(int maxTime);

// minutes × 60 + seconds, computed in 64 bits and clamped to an int, so huge
// fields give the largest (or smallest) time rather than a wrapped one.
int MaxTimeFromFields(int minutes, int seconds);

}  // namespace larkspan
