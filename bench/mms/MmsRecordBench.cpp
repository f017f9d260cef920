// Records a large on-demand stream over MMS (TCP) from the loopback server
// as fast as it goes and prints MB/s, CPU per GB and peak memory next to
// ffmpeg's mmst client; then a paced run for the cost of waiting.
//
//   bench_mms_record --sample large.asf [--runs 3] [--work DIR] [--help]
#include "bench/common/BenchPrograms.h"
#include "bench/common/StreamBench.h"

int main(int argc, char** argv) {
    using namespace larkspan::bench;
    return RunStreamBench(RecordedVia::Mms, {LK_BENCH_RECORDER, LK_BENCH_WORKER, LK_BENCH_SERVER}, argc, argv);
}
