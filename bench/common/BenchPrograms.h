#pragma once
// Where the measured programs were built; a bench's --recorder, --worker and
// --server options override these.
#ifndef LK_BENCH_RECORDER
#define LK_BENCH_RECORDER "larkspan-rec"
#endif
#ifndef LK_BENCH_WORKER
#define LK_BENCH_WORKER "bench_worker_rec"
#endif
#ifndef LK_BENCH_SERVER
#define LK_BENCH_SERVER "larkspan-testserver"
#endif
