#!/usr/bin/env bash
# Installs what is missing, builds, and records a sample stream from our own
# loopback server, so a newcomer sees a real recording without any outside
# server. The recording lands in build/demo/.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${LARKSPAN_BUILD_DIR:-$ROOT/build}"
bash "$ROOT/scripts/install-deps.sh"
bash "$ROOT/scripts/build.sh"
bash "$ROOT/scripts/make-samples.sh" "$BUILD/samples"

OUT="$BUILD/demo"
mkdir -p "$OUT"
PORTS="$OUT/server.ports"
rm -f "$PORTS"
# Realtime pacing at 8x, so the progress line has something to show.
"$BUILD/tools/larkspan-testserver" --print-port --mms-port 0 --pace realtime --speed 8 --time-limit 120 \
  clip.asf="$BUILD/samples/clip.asf" >"$PORTS" 2>"$OUT/server.log" &
SERVER=$!
trap 'kill $SERVER 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -s "$PORTS" ] && break; sleep 0.1; done
read -r MMSH_PORT MMS_PORT <"$PORTS"

echo "== Recording http://127.0.0.1:$MMSH_PORT/clip.asf (MMSH) and mms://127.0.0.1:$MMS_PORT/clip.asf (MMS)"
"$BUILD/cli/larkspan-rec" --yes --dir "$OUT" --name demo-mmsh "http://127.0.0.1:$MMSH_PORT/clip.asf"
"$BUILD/cli/larkspan-rec" --yes --dir "$OUT" --name demo-mms "mms://127.0.0.1:$MMS_PORT/clip.asf"

for f in "$OUT/demo-mmsh.asf" "$OUT/demo-mms.asf"; do
  echo "== $f"
  ffprobe -v error -show_entries format=duration,size:stream=codec_type,codec_name -of default=nw=1 "$f"
done
