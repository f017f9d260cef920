#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${LARKSPAN_BUILD_DIR:-$ROOT/build}"
bash "$ROOT/scripts/install-deps.sh"
bash "$ROOT/scripts/build.sh"
bash "$ROOT/scripts/make-samples.sh" "$BUILD/samples"
# The worker's threads and the byte pipe under ThreadSanitizer, in a build
# folder of their own (set LARKSPAN_SKIP_SANITIZERS=1 to leave this out).
if [ "${LARKSPAN_SKIP_SANITIZERS:-0}" != 1 ]; then
  bash "$ROOT/scripts/test-sanitizer.sh" thread "$BUILD-thread" >"$BUILD/sanitizer-thread.log" 2>&1 || {
    cat "$BUILD/sanitizer-thread.log"
    echo "ThreadSanitizer run failed" >&2
    exit 1
  }
  grep -E "^\[  PASSED  \]" "$BUILD/sanitizer-thread.log" | sed 's/^/ThreadSanitizer: /'
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
