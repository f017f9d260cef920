#!/usr/bin/env bash
# Makes a captioned sample (ffmpeg test pattern and tone, a SAMI file beside
# it) and saves the player window's screenshots under Xvfb.
#   usage: make-shots.sh PLAYER_SHOT_BINARY OUTPUT_DIR
set -euo pipefail
SHOT="$1"
OUT="$2"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc=size=320x240:rate=15 \
  -f lavfi -i sine=frequency=440 -t 10 -c:v wmv2 -b:v 300k -c:a wmav2 -b:a 64k -f asf "$WORK/sample.asf"
cat > "$WORK/sample.smi" <<'SAMI'
<SAMI>
<HEAD>
<TITLE>Larkspan sample</TITLE>
</HEAD>
<BODY>
<SYNC Start=200><P Class=ENCC>Captions come from a SAMI file<br>beside the medium
<SYNC Start=9000><P Class=ENCC>&nbsp;
</BODY>
</SAMI>
SAMI
mkdir -p "$OUT"
xvfb-run -a -s "-screen 0 1280x800x24" "$SHOT" "$WORK/sample.asf" "$OUT"
