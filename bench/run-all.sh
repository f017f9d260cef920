#!/usr/bin/env bash
# Builds what the recording benchmarks need, makes their samples, runs them
# and prints their tables, then one summary table. Run by hand; nothing here
# is part of the test suite.
#
#   bench/run-all.sh [mmsh] [mms] [soak] [wakeups] [meter] [playback] [gui-latency] [startup] [handoff]
#                    [player-cpu]                                        (default: all ten)
#
# Environment:
#   LARKSPAN_BENCH_BUILD  build folder (default: build-bench beside this repo's sources)
#   LARKSPAN_BENCH_UI_BUILD  build folder with the desktop widgets, for meter, playback, gui-latency, startup, handoff and player-cpu (default: that folder + "-ui")
#   METER_SECONDS         how long the meter runs at its fastest speed (default 10)
#   BENCH_RUNS            fast runs per client (default 5)
#   BENCH_JOBS            recordings at once in the soak (default 50)
#   BENCH_OUT_DIR         where the fast runs write their recordings (default: the work folder)
#   GUI_SECONDS           how long gui-latency measures each variant (default 20)
#   PLAYER_SECONDS        how long player-cpu plays the clip with each player (default 20)
#
# gui-latency, startup and handoff run under xvfb-run when it is installed,
# else on Qt's offscreen platform.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${LARKSPAN_BENCH_BUILD:-$ROOT/build-bench}"
DATA="$BUILD/bench-data"
WORK="$BUILD/bench-work"
RUNS="${BENCH_RUNS:-5}"
JOBS="${BENCH_JOBS:-50}"
WHICH=("$@")
[ ${#WHICH[@]} -eq 0 ] && WHICH=(mmsh mms soak wakeups meter playback gui-latency startup handoff player-cpu)
UI_BUILD="${LARKSPAN_BENCH_UI_BUILD:-$BUILD-ui}"

for tool in cmake ninja ffmpeg; do
  command -v "$tool" >/dev/null || { echo "run-all.sh: $tool is needed" >&2; exit 1; }
done

if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DLARKSPAN_BUILD_GUI=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$BUILD" -j2 --target larkspan-rec larkspan-testserver bench_worker_rec \
  bench_mmsh_record bench_mms_record bench_soak bench_wakeups

# The meter and the player need the Qt and GStreamer side, which the
# recording benches' build leaves out: a second build folder, made when asked.
for bench in "${WHICH[@]}"; do
  case "$bench" in
    meter) target=bench_meter ;;
    playback) target=bench_playback_start ;;
    gui-latency) target=bench_gui_latency ;;
    startup) target=bench_startup ;;
    handoff) target=bench_handoff ;;
    player-cpu) target=larkspan ;;
    *) continue ;;
  esac
  if [ ! -f "$UI_BUILD/build.ninja" ]; then
    cmake -S "$ROOT" -B "$UI_BUILD" -G Ninja -DLARKSPAN_BUILD_GUI=ON -DLARKSPAN_BUILD_TESTS=OFF \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
  fi
  cmake --build "$UI_BUILD" -j2 --target "$target"
done

echo "== samples (cached in $DATA)"
"$ROOT/scripts/make-samples.sh" "$DATA"
"$ROOT/scripts/make-large-sample.sh" "$DATA"

mkdir -p "$WORK"
# The desktop benches on a virtual X display when one can be made.
on_display() {
  if command -v xvfb-run >/dev/null; then
    xvfb-run -a -s "-screen 0 1280x800x24" "$@"
  else
    "$@"
  fi
}
SUMMARY="$WORK/summary.tsv"
printf 'bench\tfigure\tvalue\tgoal\tverdict\n' > "$SUMMARY"
OUT_ARGS=()
[ -n "${BENCH_OUT_DIR:-}" ] && OUT_ARGS=(--out-dir "$BENCH_OUT_DIR")
status=0
for bench in "${WHICH[@]}"; do
  echo
  echo "== $bench"
  case "$bench" in
    mmsh) "$BUILD/bench/mmsh/bench_mmsh_record" --sample "$DATA/large.asf" --paced-sample "$DATA/clip.asf" \
            --work "$WORK" --runs "$RUNS" --summary "$SUMMARY" "${OUT_ARGS[@]}" || status=1 ;;
    mms)  "$BUILD/bench/mms/bench_mms_record" --sample "$DATA/large.asf" --paced-sample "$DATA/clip.asf" \
            --work "$WORK" --runs "$RUNS" --summary "$SUMMARY" "${OUT_ARGS[@]}" || status=1 ;;
    soak) "$BUILD/bench/soak/bench_soak" --sample "$DATA/clip.asf" --jobs "$JOBS" --work "$WORK" \
            --summary "$SUMMARY" || status=1 ;;
    wakeups) "$BUILD/bench/wakeups/bench_wakeups" --sample "$DATA/clip.asf" --summary "$SUMMARY" || status=1 ;;
    meter) "$UI_BUILD/bench/meter/bench_meter" --seconds "${METER_SECONDS:-10}" --summary "$SUMMARY" || status=1 ;;
    playback) "$UI_BUILD/bench/playback/bench_playback_start" --sample "$DATA/clip.asf" --summary "$SUMMARY" \
                || status=1 ;;
    gui-latency) on_display "$UI_BUILD/bench/gui-latency/bench_gui_latency" --sample "$DATA/clip.asf" \
                   --seconds "${GUI_SECONDS:-20}" --work "$WORK" --summary "$SUMMARY" || status=1 ;;
    startup) on_display "$UI_BUILD/bench/startup/bench_startup" --summary "$SUMMARY" || status=1 ;;
    handoff) on_display "$UI_BUILD/bench/handoff/bench_handoff" --work "$WORK" --summary "$SUMMARY" || status=1 ;;
    player-cpu) "$ROOT/bench/player-cpu/run-player-cpu.sh" "$UI_BUILD/ui/main/larkspan" "$DATA/clip.asf" \
                  "${PLAYER_SECONDS:-20}" "$SUMMARY" || status=1 ;;
    *) echo "run-all.sh: unknown bench $bench (mmsh, mms, soak, wakeups, meter, playback, gui-latency, startup," \
            "handoff, player-cpu)" >&2; exit 2 ;;
  esac
done

echo
echo "== summary ($SUMMARY)"
if command -v column >/dev/null; then
  column -t -s $'\t' "$SUMMARY"
else
  cat "$SUMMARY"
fi
[ $status -eq 0 ] || echo "some run failed or a file was wrong: see above" >&2
exit $status
