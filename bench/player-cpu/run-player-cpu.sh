#!/usr/bin/env bash
# Processor time of the desktop player playing a clip, next to gst-play-1.0
# playing the same clip on the same virtual display, in one run. Both play
# for the same number of seconds; the figure is user + system time of the
# whole process (every thread) divided by the wall time, in per cent of one
# core.
#
#   bench/player-cpu/run-player-cpu.sh PLAYER SAMPLE [SECONDS] [SUMMARY.tsv]
#
# PLAYER is the built desktop program (build/ui/main/larkspan); it is started
# as "PLAYER /Play SAMPLE" with a fresh profile in a temporary home.
set -euo pipefail
if [ $# -lt 2 ]; then
  echo "usage: $0 PLAYER SAMPLE [SECONDS] [SUMMARY.tsv]" >&2
  exit 2
fi
PLAYER="$(realpath "$1")"
SAMPLE="$(realpath "$2")"
SECONDS_TO_PLAY="${3:-20}"
SUMMARY="${4:-}"
for tool in xvfb-run gst-play-1.0; do
  command -v "$tool" >/dev/null || { echo "$0: $tool is needed" >&2; exit 1; }
done

# Runs inside the virtual display: starts a program, lets it play, reads its
# processor ticks from /proc before stopping it, prints "ticks seconds".
inner=$(mktemp)
home=$(mktemp -d)
trap 'rm -rf "$inner" "$home"' EXIT
cat > "$inner" <<'INNER'
#!/usr/bin/env bash
set -eu
seconds="$1"; shift
"$@" >/dev/null 2>&1 &
pid=$!
start=$(date +%s.%N)
sleep "$seconds"
if ! kill -0 "$pid" 2>/dev/null; then echo "stopped early" >&2; exit 1; fi
# Fields 14 and 15 of /proc/PID/stat: user and system ticks, all threads.
ticks=$(awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$pid/stat")
end=$(date +%s.%N)
kill "$pid"; wait "$pid" 2>/dev/null || true
echo "$ticks $(echo "$end - $start" | bc -l)"
INNER
chmod +x "$inner"

hz=$(getconf CLK_TCK)
measure() {  # label, command...
  local label="$1"; shift
  local out
  out=$(xvfb-run -a -s "-screen 0 1280x800x24" env HOME="$home" XDG_CONFIG_HOME="$home/.config" \
        "$inner" "$SECONDS_TO_PLAY" "$@")
  local ticks wall
  read -r ticks wall <<<"$out"
  echo "scale=2; 100 * $ticks / $hz / $wall" | bc -l
}

player=$(measure larkspan "$PLAYER" /Play "$SAMPLE")
reference=$(measure gst-play gst-play-1.0 --no-interactive -q "$SAMPLE")
ratio=$(echo "scale=2; $player / $reference" | bc -l)
verdict=$(echo "$ratio <= 1.3" | bc -l)
[ "$verdict" = 1 ] && verdict=met || verdict=missed
printf '%-26s %8s %%\n' "larkspan /Play" "$player" "gst-play-1.0" "$reference"
printf '%-26s %8s   (goal: at most 1.30, %s)\n' "ratio" "$ratio" "$verdict"
if [ -n "$SUMMARY" ]; then
  printf 'player-cpu\tCPU %% of a core, player / gst-play\t%s / %s = %s\t<= 1.3\t%s\n' \
    "$player" "$reference" "$ratio" "$verdict" >> "$SUMMARY"
fi
