#!/usr/bin/env bash
# Makes large.asf for the recording benchmarks: 20 s of noise video (which
# compresses badly, so the file is large: about 230 MB) with a sine tone,
# wmv2 + wmav2 in 8000-byte packets. Takes about half a minute; an existing
# file is kept.
#   usage: make-large-sample.sh [OUTPUT_DIR]   (default: build/samples)
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
OUT="${1:-$ROOT/build/samples}"
mkdir -p "$OUT"
if [ -s "$OUT/large.asf" ]; then exit 0; fi
ffmpeg -nostdin -hide_banner -loglevel error -y \
  -f lavfi -i "nullsrc=s=640x480:rate=25,geq=lum='random(1)*255':cb=128:cr=128" \
  -f lavfi -i sine=frequency=440 -t 20 \
  -c:v wmv2 -q:v 2 -c:a wmav2 -b:a 128k -packet_size 8000 -fflags +bitexact \
  -f asf "$OUT/large.asf.part"
mv "$OUT/large.asf.part" "$OUT/large.asf"
