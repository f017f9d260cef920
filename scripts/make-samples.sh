#!/usr/bin/env bash
# Generates the sample ASF files the tests, the demo and the benchmarks use.
# Every file is made by ffmpeg from synthetic sources, with a fixed packet
# size; files already present are kept.
#   usage: make-samples.sh [OUTPUT_DIR]   (default: build/samples)
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
OUT="${1:-$ROOT/build/samples}"
mkdir -p "$OUT"

make() {
  local name="$1"; shift
  if [ -s "$OUT/$name" ]; then return 0; fi
  ffmpeg -nostdin -hide_banner -loglevel error -y "$@" -f asf "$OUT/$name.part"
  mv "$OUT/$name.part" "$OUT/$name"
}

# Video (wmv2) and audio (wmav2), 20 s, 3200-byte packets.
make clip.asf -f lavfi -i testsrc=size=320x240:rate=15 -f lavfi -i sine=frequency=440 \
  -t 20 -c:v wmv2 -b:v 300k -c:a wmav2 -b:a 64k -packet_size 3200 -fflags +bitexact
# Audio only, 10 s.
make audio.asf -f lavfi -i sine=frequency=660 -t 10 -c:a wmav2 -b:a 64k -packet_size 3200 -fflags +bitexact
# Packets larger than a 8192-byte read buffer.
make bigpackets.asf -f lavfi -i testsrc=size=320x240:rate=15 -f lavfi -i sine=frequency=440 \
  -t 8 -c:v wmv2 -b:v 800k -c:a wmav2 -b:a 64k -packet_size 12000 -fflags +bitexact
