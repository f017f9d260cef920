#!/usr/bin/env bash
# Builds the core, the pipe tests and the recording worker's tests with a
# sanitizer into a build folder of their own, and runs them.
#   scripts/test-sanitizer.sh thread|address [build folder]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
KIND="${1:-thread}"
case "$KIND" in
  thread|address) ;;
  *) echo "usage: $0 thread|address [build folder]" >&2; exit 2 ;;
esac
BUILD="${2:-$ROOT/build-$KIND}"
mkdir -p "$BUILD"
BUILD="$(cd "$BUILD" && pwd)"
GEN=()
if command -v ninja >/dev/null 2>&1; then GEN=(-G Ninja); fi
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  cmake -S "$ROOT" -B "$BUILD" "${GEN[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLARKSPAN_SANITIZE="$KIND" \
    -DLARKSPAN_BUILD_GUI=OFF -DLARKSPAN_BUILD_BENCH=OFF
fi
TESTS=(stream_pipe_tests recorder_worker_tests)
cmake --build "$BUILD" --parallel "$(nproc)" --target "${TESTS[@]}"

bash "$ROOT/scripts/make-samples.sh" "$BUILD/samples"
export LARKSPAN_SAMPLES_DIR="$BUILD/samples"
export XDG_CONFIG_HOME="$BUILD/test-home/config"
export HOME="$BUILD/test-home"
mkdir -p "$XDG_CONFIG_HOME"
export no_proxy="127.0.0.1,localhost" NO_PROXY="127.0.0.1,localhost"
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY || true
# Any report fails the run.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
export ASAN_OPTIONS="detect_leaks=1 ${ASAN_OPTIONS:-}"
cd "$BUILD"
"$BUILD/tests/pipe/stream_pipe_tests"
"$BUILD/tests/recorder/recorder_worker_tests"
