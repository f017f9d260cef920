#pragma once
// The recording-speed benchmark shared by the MMSH and MMS mains: one large
// on-demand stream pulled from the loopback server as fast as it goes, by
// larkspan-rec, by ffmpeg and (as the floor) by a plain HTTP copy of the
// same bytes; then a short realtime-paced stream to see what the recorder
// costs while it mostly waits.
#include <string>

#include "bench/common/BenchSupport.h"

namespace larkspan::bench {

// Parses the options (see the usage text it prints for --help), runs
// everything and prints the tables. Returns the process exit status: 0 when
// every run worked and every check passed (goals missed do not count), 1
// otherwise, 2 on bad usage.
// The programs measured, found next to the bench unless given.
struct BenchPrograms {
    std::string recorder;  // larkspan-rec
    std::string worker;    // bench_worker_rec
    std::string server;    // larkspan-testserver
};
int RunStreamBench(RecordedVia via, const BenchPrograms& defaults, int argc, char** argv);

}  // namespace larkspan::bench
