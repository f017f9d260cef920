// Records a large on-demand stream over MMSH from the loopback server as
// fast as it goes and prints MB/s, CPU per GB and peak memory next to ffmpeg
// and a plain HTTP copy of the same bytes; then a paced run for the cost of
// waiting.
//
//   bench_mmsh_record --sample large.asf [--runs 3] [--work DIR] [--help]
#include "bench/common/BenchPrograms.h"
#include "bench/common/StreamBench.h"

int main(int argc, char** argv) {
    using namespace larkspan::bench;
    return RunStreamBench(RecordedVia::Mmsh, {LK_BENCH_RECORDER, LK_BENCH_WORKER, LK_BENCH_SERVER}, argc, argv);
}
