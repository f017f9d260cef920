#!/usr/bin/env bash
# Recordings that meet a fault: a server that stalls after some packets, a
# server that accepts and never sends, and a disk that fills (a file-size
# limit). Each over MMSH and MMS, with larkspan-rec --timeout 3. For each it
# measures how long the program takes to give up and, in a second run, how
# long it takes to stop after SIGINT sent while it waits; then checks every
# file left behind with ffprobe and with bench_faults_check (does the header
# agree with the file's length?). Prints a table. Run by hand; not part of
# the test suite.
#
#   bench/faults/run-faults.sh [stall] [silent] [diskfull]   (default: all three)
#
# Environment:
#   LARKSPAN_BUILD_DIR  build folder (default: build/ beside the sources)
#   FAULT_TIMEOUT       --timeout given to larkspan-rec (default 3)
#   FAULT_STALL_AFTER   packets sent before the stall (default 40)
#   FAULT_FSIZE         file-size limit in bytes for the full disk (default 300000)
#   FAULT_CAP           seconds after which a run counts as hung and is killed (default 60)
#   FAULT_MODES         "ondemand live" (default both): the stream as stored, or as a live broadcast
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
BUILD="${LARKSPAN_BUILD_DIR:-$ROOT/build}"
TIMEOUT="${FAULT_TIMEOUT:-3}"
STALL_AFTER="${FAULT_STALL_AFTER:-40}"
FSIZE="${FAULT_FSIZE:-300000}"
CAP="${FAULT_CAP:-60}"
read -r -a MODES <<<"${FAULT_MODES:-ondemand live}"
WHICH=("$@")
[ ${#WHICH[@]} -eq 0 ] && WHICH=(stall silent diskfull)

REC="$BUILD/cli/larkspan-rec"
SERVER="$BUILD/tools/larkspan-testserver"
CHECK="$BUILD/bench/faults/bench_faults_check"

cmake --build "$BUILD" --target larkspan-rec larkspan-testserver bench_faults_check >/dev/null
bash "$ROOT/scripts/make-samples.sh" "$BUILD/samples"
SAMPLE="$BUILD/samples/clip.asf"
HAVE_FFPROBE=1
command -v ffprobe >/dev/null || HAVE_FFPROBE=0

WORK="$(mktemp -d "${TMPDIR:-/tmp}/larkspan-faults.XXXXXX")"
mkdir -p "$WORK/home/config"
# Loopback only; the user's own profile is never read.
export HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/config"
export no_proxy="127.0.0.1,localhost" NO_PROXY="127.0.0.1,localhost"
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY || true

SERVER_PID=""
cleanup() {
  if [ -n "$SERVER_PID" ]; then kill "$SERVER_PID" 2>/dev/null || true; fi
}
trap cleanup EXIT

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }

# Starts the test server with the fault's flags; sets MMSH_PORT and MMS_PORT.
start_server() {
  local out="$WORK/server.out"
  : >"$out"
  "$SERVER" --print-port --mms-port 0 "$@" "clip.asf=$SAMPLE" >"$out" 2>"$WORK/server.err" &
  SERVER_PID=$!
  for _ in $(seq 100); do
    [ -s "$out" ] && break
    sleep 0.05
  done
  read -r MMSH_PORT MMS_PORT <"$out"
}

stop_server() {
  kill "$SERVER_PID" 2>/dev/null || true
  wait "$SERVER_PID" 2>/dev/null || true
  SERVER_PID=""
}

# True while the process is alive (a zombie counts as ended).
alive() {
  local state
  state="$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null || true)"
  [ -n "$state" ] && [ "$state" != "Z" ]
}

# run_rec FILE URL LIMIT SIGNAL_AFTER: runs larkspan-rec; with SIGNAL_AFTER
# (seconds) sends SIGINT then if it still runs. Sets RUN_EXIT, RUN_SECS (from
# start, or from the signal) and RUN_NOTE.
run_rec() {
  local file="$1" url="$2" limit="$3" signal_after="$4"
  local cmd=("$REC" -q -y --timeout "$TIMEOUT" -o "$file" "$url")
  if [ -n "$limit" ]; then
    if command -v prlimit >/dev/null; then
      cmd=(prlimit "--fsize=$limit" -- "${cmd[@]}")
    else
      cmd=(bash -c 'ulimit -f "$1"; shift; exec "$@"' limit "$((limit / 1024))" "${cmd[@]}")
    fi
  fi
  local start from pid watchdog
  start="$(now)"
  from="$start"
  "${cmd[@]}" >"$file.out" 2>"$file.err" &
  pid=$!
  (sleep "$CAP"; kill -KILL "$pid" 2>/dev/null) &
  watchdog=$!
  RUN_NOTE=""
  if [ -n "$signal_after" ]; then
    sleep "$signal_after"
    if alive "$pid"; then
      from="$(now)"
      kill -INT "$pid"
    else
      RUN_NOTE="ended before the signal"
    fi
  fi
  set +e
  wait "$pid"
  RUN_EXIT=$?
  set -e
  RUN_SECS="$(elapsed "$from" "$(now)")"
  kill "$watchdog" 2>/dev/null || true
  wait "$watchdog" 2>/dev/null || true
  if [ "$RUN_EXIT" -eq 137 ]; then RUN_NOTE="hung: killed after ${CAP} s"; fi
  if [ -n "$signal_after" ] && [ "$RUN_NOTE" = "ended before the signal" ]; then RUN_SECS="-"; fi
}

# What a file left behind looks like: size, ffprobe's verdict, header check.
describe_file() {
  local file="$1"
  if [ ! -e "$file" ]; then
    FILE_SIZE="none"; FILE_PROBE="-"; FILE_HEADER="-"
    return
  fi
  FILE_SIZE="$(stat -c %s "$file")"
  if [ "$FILE_SIZE" -eq 0 ]; then
    FILE_PROBE="-"; FILE_HEADER="empty"
    return
  fi
  if [ "$HAVE_FFPROBE" -eq 1 ]; then
    local duration
    if duration="$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$file" 2>/dev/null)"; then
      case "$duration" in
        [0-9]*) FILE_PROBE="ok ${duration%%.*}s" ;;
        *) FILE_PROBE="ok" ;;
      esac
    else
      FILE_PROBE="FAILS"
    fi
  else
    FILE_PROBE="no ffprobe"
  fi
  FILE_HEADER="$("$CHECK" "$file" || true)"
}

ROWS="$WORK/rows.tsv"
: >"$ROWS"
# Fields are split by a unit separator: a tab would let empty fields vanish.
SEP=$'\x1f'
row() { local IFS="$SEP"; printf '%s\n' "$*" >>"$ROWS"; }

for mode in "${MODES[@]}"; do
for fault in "${WHICH[@]}"; do
  server_flags=()
  limit=""
  case "$fault" in
    stall) server_flags=(--stall-after "$STALL_AFTER") ;;
    silent) server_flags=(--never-send) ;;
    diskfull) server_flags=(--pace realtime --speed 4); limit="$FSIZE" ;;
    *) echo "run-faults.sh: unknown fault $fault (stall, silent, diskfull)" >&2; exit 2 ;;
  esac
  case "$mode" in
    ondemand) ;;
    live) server_flags+=(--live) ;;
    *) echo "run-faults.sh: unknown mode $mode (ondemand, live)" >&2; exit 2 ;;
  esac
  start_server "${server_flags[@]}"
  for protocol in mmsh mms; do
    if [ "$protocol" = mmsh ]; then url="http://127.0.0.1:$MMSH_PORT/clip.asf"; else url="mms://127.0.0.1:$MMS_PORT/clip.asf"; fi
    echo "== $fault over $protocol ($mode)" >&2
    base="$WORK/$fault-$protocol-$mode"
    run_rec "$base.asf" "$url" "$limit" ""
    give_up="$RUN_SECS"; give_up_exit="$RUN_EXIT"; give_up_note="$RUN_NOTE"
    run_rec "$base-int.asf" "$url" "$limit" 1.5
    stop="$RUN_SECS"; stop_exit="$RUN_EXIT"; stop_note="$RUN_NOTE"
    for file in "$base.asf" "$base-int.asf"; do
      describe_file "$file"
      if [ "$file" = "$base.asf" ]; then
        row "$fault/$protocol/$mode" "give up" "$give_up" "$give_up_exit" "$FILE_SIZE" "$FILE_PROBE" "$FILE_HEADER" \
            "$give_up_note" "$(tail -n 1 "$file.out" 2>/dev/null | cut -c $((${#file} + 3))-)"
      else
        row "$fault/$protocol/$mode" "SIGINT" "$stop" "$stop_exit" "$FILE_SIZE" "$FILE_PROBE" "$FILE_HEADER" \
            "$stop_note" "$(tail -n 1 "$file.out" 2>/dev/null | cut -c $((${#file} + 3))-)"
      fi
    done
  done
  stop_server
done
done

echo
printf '%-22s %-8s %7s %5s %9s %-9s %-s\n' "case" "run" "secs" "exit" "bytes" "ffprobe" "header / outcome"
while IFS="$SEP" read -r name run secs status size probe header note outcome; do
  printf '%-22s %-8s %7s %5s %9s %-9s %s\n' "$name" "$run" "$secs" "$status" "$size" "$probe" "$header"
  printf '%-22s %-8s %7s %5s %9s %-9s   outcome: %s%s\n' "" "" "" "" "" "" "$outcome" "${note:+ [$note]}"
done <"$ROWS"
echo
echo "secs: for 'give up' from start to exit (goal: about --timeout $TIMEOUT), for 'SIGINT' from the signal to exit."
echo "Files and logs are in $WORK"
