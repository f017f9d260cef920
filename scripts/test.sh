#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${LARKSPAN_BUILD_DIR:-$ROOT/build}"
bash "$ROOT/scripts/install-deps.sh"
bash "$ROOT/scripts/build.sh"
bash "$ROOT/scripts/make-samples.sh" "$BUILD/samples"
# The worker's threads, the byte pipe and the record list under
# ThreadSanitizer, the core's suites and the desktop program under
# AddressSanitizer with UndefinedBehaviorSanitizer, each in a
# build folder of its own, then every fuzz target for a few seconds (set
# LARKSPAN_SKIP_SANITIZERS=1 to leave all this out, LARKSPAN_FUZZ_SECONDS to
# fuzz longer or shorter).
run_checked() {
  local title="$1" log="$2"
  shift 2
  if ! "$@" >"$log" 2>&1; then
    cat "$log"
    echo "$title run failed (log in $log)" >&2
    exit 1
  fi
}
if [ "${LARKSPAN_SKIP_SANITIZERS:-0}" != 1 ]; then
  run_checked ThreadSanitizer "$BUILD/sanitizer-thread.log" \
    bash "$ROOT/scripts/test-sanitizer.sh" thread "$BUILD-thread"
  grep -E "^\[  PASSED  \]" "$BUILD/sanitizer-thread.log" | sed 's/^/ThreadSanitizer: /'
  run_checked AddressSanitizer "$BUILD/sanitizer-address.log" \
    bash "$ROOT/scripts/test-sanitizer.sh" address "$BUILD-address"
  grep -E "^\[  PASSED  \]" "$BUILD/sanitizer-address.log" | sed 's/^/AddressSanitizer: /'
  run_checked Fuzzing "$BUILD/fuzz-short.log" \
    bash "$ROOT/scripts/fuzz-short.sh" "${LARKSPAN_FUZZ_SECONDS:-10}" "$BUILD-fuzz"
  grep -E "^fuzz: " "$BUILD/fuzz-short.log"
fi
export LARKSPAN_SAMPLES_DIR="$BUILD/samples"
# Tests never touch the user's own profile or recordings folder.
export XDG_CONFIG_HOME="$BUILD/test-home/config"
export HOME="$BUILD/test-home"
mkdir -p "$XDG_CONFIG_HOME"
# Loopback only: never route test traffic through a proxy.
export no_proxy="127.0.0.1,localhost" NO_PROXY="127.0.0.1,localhost"
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY || true
cd "$BUILD"
ctest --output-on-failure --parallel "$(nproc)" --timeout 600 </dev/null
