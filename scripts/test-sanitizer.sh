#!/usr/bin/env bash
# Builds the core's test suites with a sanitizer into a build folder of their
# own, and runs them; the first report stops the run and fails it.
#   thread:  the byte pipe, the recording worker and the record list with its
#            bridge to the recording threads (where the threads are)
#   address: AddressSanitizer with UndefinedBehaviorSanitizer over the core's
#            suites (ASF, media, MMS, MMSH, naming, lists, settings, pipe,
#            worker, detect), the record list and the whole desktop program
#            (whose suite starts the program itself); the suites that drive
#            external players or the command-line program as a child process
#            are left out. GLib and GStreamer keep allocations for the life
#            of the process that the leak checker cannot tell from leaks (it
#            cannot unwind through them), so the desktop suite runs without
#            leak checking.
#   scripts/test-sanitizer.sh thread|address [build folder]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
KIND="${1:-thread}"
case "$KIND" in
  thread)
    TESTS=(pipe/stream_pipe_tests recorder/recorder_worker_tests recorder_ui/recorder_ui_tests) ;;
  address)
    TESTS=(asf/asf_tests media/media_tests mms/mms_session_test mms/mms_loopback_test
           mmsh/mmsh_body_tests mmsh/mmsh_client_tests naming/naming_tests naming/list_tests settings/settings_tests
           pipe/stream_pipe_tests recorder/recorder_worker_tests detect/detect_tests recorder_ui/recorder_ui_tests
           desktop/desktop_tests) ;;
  *) echo "usage: $0 thread|address [build folder]" >&2; exit 2 ;;
esac
BUILD="${2:-$ROOT/build-$KIND}"
mkdir -p "$BUILD"
BUILD="$(cd "$BUILD" && pwd)"
GEN=()
if command -v ninja >/dev/null 2>&1; then GEN=(-G Ninja); fi
# -O1 with line tables only: the sanitizers' usual level, and it compiles
# the test suites in well under half the time -O2 -g takes.
# The desktop side is configured too, but only the targets of the suites
# above are built. Configured on every run, so a folder made before the
# desktop suites joined gets them too.
cmake -S "$ROOT" -B "$BUILD" "${GEN[@]}" -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_FLAGS_DEBUG="-O1 -g1" -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" -DLARKSPAN_SANITIZE="$KIND" \
  -DLARKSPAN_BUILD_GUI=ON -DLARKSPAN_BUILD_BENCH=OFF
cmake --build "$BUILD" --parallel "$(nproc)" --target "${TESTS[@]##*/}"

bash "$ROOT/scripts/make-samples.sh" "$BUILD/samples"
export LARKSPAN_SAMPLES_DIR="$BUILD/samples"
export XDG_CONFIG_HOME="$BUILD/test-home/config"
export HOME="$BUILD/test-home"
mkdir -p "$XDG_CONFIG_HOME"
export no_proxy="127.0.0.1,localhost" NO_PROXY="127.0.0.1,localhost"
export QT_QPA_PLATFORM=offscreen
# No session bus: nothing may start one (a fork in a threaded process).
export DBUS_SESSION_BUS_ADDRESS=disabled:
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY || true
# Any report fails the run.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$ROOT/scripts/tsan-qt.supp ${TSAN_OPTIONS:-}"
export ASAN_OPTIONS="halt_on_error=1 detect_leaks=1 abort_on_error=1 ${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="halt_on_error=1 print_stacktrace=1 ${UBSAN_OPTIONS:-}"
cd "$BUILD"
for test in "${TESTS[@]}"; do
  echo "== $test"
  # A test that hangs fails the run instead of holding it for ever.
  if [ "$test" = desktop/desktop_tests ]; then
    ASAN_OPTIONS="$ASAN_OPTIONS detect_leaks=0" timeout -s KILL 900 "$BUILD/tests/$test"
  else
    timeout -s KILL 900 "$BUILD/tests/$test"
  fi
done
