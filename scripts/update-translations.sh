#!/usr/bin/env bash
# Collects the user-visible texts of the desktop program (ui/ and app/) into the translation sources
# translations/larkspan_en.ts and translations/larkspan_ko.ts. Translations already made are kept; texts no
# longer in the code are dropped. The build turns the .ts files into the embedded .qm files.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
LUPDATE="${LUPDATE:-$(command -v lupdate || echo /usr/lib/qt6/bin/lupdate)}"
cd "$ROOT"
COMMON=(-no-obsolete -locations relative -source-language en -extensions cpp,h -I "$ROOT" app ui)
# English is the source language: its file lists every text, with translations left empty (Qt then shows the
# source text) except for the plural forms.
"$LUPDATE" "${COMMON[@]}" -target-language en -ts translations/larkspan_en.ts "$@"
"$LUPDATE" "${COMMON[@]}" -target-language ko -ts translations/larkspan_ko.ts "$@"
