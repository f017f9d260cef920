#!/usr/bin/env bash
# Installs what is missing, builds, and records a playlist of two sample
# streams (one over MMS, one over MMSH) from our own loopback server, so a
# newcomer sees real recordings without any outside server. The recordings
# land in build/demo/.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${LARKSPAN_BUILD_DIR:-$ROOT/build}"
bash "$ROOT/scripts/install-deps.sh"
bash "$ROOT/scripts/build.sh"
bash "$ROOT/scripts/make-samples.sh" "$BUILD/samples"

SERVER="$BUILD/tools/larkspan-testserver"
OUT="$BUILD/demo"
mkdir -p "$OUT"
rm -f "$OUT"/show0.asf "$OUT"/show1.asf "$OUT"/show.asx "$OUT"/*.ports
PIDS=()
trap 'kill "${PIDS[@]}" 2>/dev/null || true' EXIT

wait_ports() {
  for _ in $(seq 100); do [ -s "$1" ] && return 0; sleep 0.1; done
  echo "the loopback server did not start; see $OUT/server.log" >&2
  exit 1
}

# The streams, over both protocols, paced at 8x real time so the progress
# line has something to show.
"$SERVER" --print-port --mms-port 0 --pace realtime --speed 8 --time-limit 300 \
  clip.asf="$BUILD/samples/clip.asf" audio.asf="$BUILD/samples/audio.asf" \
  >"$OUT/streams.ports" 2>"$OUT/server.log" &
PIDS+=($!)
wait_ports "$OUT/streams.ports"
read -r MMSH_PORT MMS_PORT <"$OUT/streams.ports"

# A playlist naming both, served over HTTP by a second server.
printf '<ASX version="3.0">\r\n<Title>Larkspan demo</Title>\r\n<Entry><Ref href="mms://127.0.0.1:%s/clip.asf"/></Entry>\r\n<Entry><Ref href="http://127.0.0.1:%s/audio.asf"/></Entry>\r\n</ASX>\r\n' \
  "$MMS_PORT" "$MMSH_PORT" >"$OUT/playlist.src"
"$SERVER" --print-port --time-limit 300 --content-type video/x-ms-asf --body show.asx="$OUT/playlist.src" \
  >"$OUT/playlist.ports" 2>>"$OUT/server.log" &
PIDS+=($!)
wait_ports "$OUT/playlist.ports"
read -r LIST_PORT <"$OUT/playlist.ports"

echo "== larkspan-rec --dir $OUT --name show http://127.0.0.1:$LIST_PORT/show.asx"
"$BUILD/cli/larkspan-rec" --yes --dir "$OUT" --name show "http://127.0.0.1:$LIST_PORT/show.asx"

for f in "$OUT/show0.asf" "$OUT/show1.asf"; do
  echo "== ffprobe $f"
  ffprobe -v error -show_entries format=duration,size:stream=codec_type,codec_name -of compact=nk=0 "$f"
done
