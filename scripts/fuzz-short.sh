#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into a folder of their own and runs
# each one for a few seconds on a copy of its seed corpus. Any crash, leak,
# broken invariant or sanitizer report fails the run and names the target.
#   scripts/fuzz-short.sh [seconds per target, default 10] [build folder]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
SECONDS_EACH="${1:-10}"
BUILD="${2:-${LARKSPAN_BUILD_DIR:-$ROOT/build}-fuzz}"
case "$SECONDS_EACH" in
  ''|*[!0-9]*) echo "usage: $0 [seconds] [build folder]" >&2; exit 2 ;;
esac
mkdir -p "$BUILD"
BUILD="$(cd "$BUILD" && pwd)"
GEN=()
if command -v ninja >/dev/null 2>&1; then GEN=(-G Ninja); fi
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  cmake -S "$ROOT" -B "$BUILD" "${GEN[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DLARKSPAN_FUZZ=ON \
    -DLARKSPAN_BUILD_TESTS=OFF -DLARKSPAN_BUILD_GUI=OFF -DLARKSPAN_BUILD_BENCH=OFF >/dev/null
else
  cmake -S "$ROOT" -B "$BUILD" >/dev/null  # picks up targets added since the folder was made
fi

# Every target named in fuzz/*/CMakeLists.txt, with its seed corpus; one that this build does not define (its
# libraries are missing here) is reported and left out.
mapfile -t NAMED < <(sed -n 's/^[[:space:]]*larkspan_add_fuzzer(\([A-Za-z0-9_]*\).*/\1/p' "$ROOT"/fuzz/*/CMakeLists.txt)
TARGETS=()
for target in "${NAMED[@]}"; do
  if grep -qx "$target" "$BUILD/fuzz/targets.txt"; then
    TARGETS+=("$target")
  else
    echo "fuzz: $target: not defined in this build (Qt 6 Core missing?), skipped" >&2
  fi
done
cmake --build "$BUILD" --parallel "$(nproc)" --target "${TARGETS[@]}"

export ASAN_OPTIONS="halt_on_error=1 detect_leaks=1 ${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="halt_on_error=1 print_stacktrace=1 ${UBSAN_OPTIONS:-}"
RUNS="$BUILD/short-runs"
rm -rf "$RUNS"
failed=()
for target in "${TARGETS[@]}"; do
  binary="$(find "$BUILD/fuzz" -type f -name "$target" -perm -u+x | head -n 1)"
  seeds="$(find "$ROOT/fuzz" -type d -path "*/corpus/$target" | head -n 1)"
  if [ -z "$binary" ] || [ -z "$seeds" ]; then
    echo "fuzz: $target: binary or seed corpus missing" >&2
    failed+=("$target")
    continue
  fi
  # The run adds what it finds to a copy of the seeds, never to the repository.
  work="$RUNS/$target"
  mkdir -p "$work/corpus" "$work/artifacts"
  cp -r "$seeds"/. "$work/corpus/"
  if (cd "$work" && "$binary" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$work/artifacts/" "$work/corpus" >"$work/log" 2>&1); then
    echo "fuzz: $target: $(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$work/log" | grep -o '[0-9]*$') runs, no report"
  else
    tail -n 60 "$work/log" >&2
    echo "fuzz: $target FAILED (log $work/log, input in $work/artifacts)" >&2
    failed+=("$target")
  fi
done
if [ "${#failed[@]}" -ne 0 ]; then
  echo "fuzz: failing targets: ${failed[*]}" >&2
  exit 1
fi
