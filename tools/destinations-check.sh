#!/usr/bin/env bash
# Follows the chart to where users put it, with the readers Debian has.
#
#  1. Pasted: under a private X server (Xvfb) the window's EMF copy button
#     puts a chart on the clipboard (bench/export_snapshot --hold emf), and
#     LibreOffice pastes it into a new Writer, Impress and Draw document and
#     saves .docx, .pptx and .odg; for each the embedded picture's kind,
#     size and (for an EMF) record count are reported, and a document over
#     1 MB fails. Draw's picture of the paste, drawn 1:1, is exported too.
#  2. Opened: the EMF file the save button writes is converted to PNG by
#     LibreOffice and imported by Inkscape (inkscape --export-type=png).
#  3. Every reader's picture is compared with our own bitmap of the same
#     chart (the BMP button's file): the share of differing pixels as
#     emf-check.sh counts it (information), and the thin lines explicitly
#     (emf_snapshot --lines): the dotted grid must be dotted (about one
#     pixel in three inked, short runs) and the axes dark.
#
#   tools/destinations-check.sh [build-dir=build-tests] [plain|styled=plain] [points=1000]
#
# Needs xvfb, libreoffice-writer, -impress, -draw and inkscape (large, so this
# stays out of the default test run).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-tests}
variant=${2:-plain}
points=${3:-1000}
maxDocBytes=$((1024 * 1024))
. tools/lib/office-readers.sh
need_command soffice "libreoffice-writer libreoffice-impress libreoffice-draw"
need_command Xvfb xvfb
need_command inkscape inkscape
need_command python3 python3
cmake --build "$build" --target export_snapshot emf_snapshot >/dev/null
tool="$build/bench/export_snapshot"
snap="$build/bench/emf_snapshot"
start_display_session destinations-check
profile="$out/lo-profile"
make_office_profile "$profile" tools/lib/Paste.xba tools/lib/Destinations.xba

# emf_records FILE: the record count of an EMF, or "-" for anything else.
emf_records() {
  python3 - "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
if len(data) < 44 or data[40:44] != b' EMF':
    print('-'); sys.exit()
off = n = 0
while off + 8 <= len(data):
    size = struct.unpack_from('<I', data, off + 4)[0]
    if size < 8: break
    off += size; n += 1
print(n)
PY
}

failed=0
# The chart on the clipboard, served while LibreOffice pastes it.
QT_QPA_PLATFORM=xcb "$tool" "$out" "$variant" "$points" --hold emf --seconds 400 >"$out/holder.log" 2>&1 &
holder=$!
for _ in $(seq 300); do grep -q '^ready' "$out/holder.log" && break; kill -0 "$holder" 2>/dev/null || break; sleep 0.1; done
grep -q '^ready' "$out/holder.log" || { echo "the clipboard holder did not start:"; cat "$out/holder.log"; exit 1; }
size=$(sed -n 's/^chart \([0-9]*x[0-9]*\).*/\1/p' "$out/holder.log")
w=${size%x*}; h=${size#*x}
echo "chart: $variant, $points points, ${w}x$h pixels, EMF $(stat -c %s "$out/chart.emf") bytes, $(emf_records "$out/chart.emf") records"

office() { # MACRO: runs a macro of the profile on the display
  SAL_USE_VCLPLUGIN=gen timeout 300 soffice -env:UserInstallation="file://$profile" --norestore --nologo \
    --nodefault "macro:///Standard.$1" >>"$out/soffice.log" 2>&1 || true
}
DEST_OUT="$out" office Destinations.SaveAll
mkdir -p "$out/draw-1to1"
PASTE_OUT="$out/draw-1to1" PASTE_W=$w PASTE_H=$h office Paste.PasteCheck
kill "$holder" 2>/dev/null || true
wait "$holder" 2>/dev/null || true
holder=

echo "== pasted and saved"
for doc in pasted.docx pasted.pptx pasted.odg; do
  if [ ! -f "$out/$doc" ]; then
    echo "$doc: not written (see $out/soffice.log)"; failed=1; continue
  fi
  bytes=$(stat -c %s "$out/$doc")
  mkdir -p "$out/${doc%.*}-${doc##*.}"
  unzip -qo "$out/$doc" -d "$out/${doc%.*}-${doc##*.}"
  pictures=$(find "$out/${doc%.*}-${doc##*.}" -path '*media*' -o -path '*Pictures*' | while read -r f; do
    [ -f "$f" ] && echo "$(basename "$f") $(stat -c %s "$f") bytes, records $(emf_records "$f")"; done | paste -sd ';' -)
  v=PASS
  [ "$bytes" -le $maxDocBytes ] || { v=FAIL; failed=1; }
  echo "$doc: $bytes bytes ($pictures) -> $v"
done

echo "== pictures against our bitmap (chart.bmp)"
# compare NAME PNG: the overall share (information) and the thin lines.
compare() {
  local name=$1 png=$2 line
  if [ ! -f "$png" ]; then echo "$name: no picture"; failed=1; return; fi
  echo "$name: $("$snap" --compare "$out/chart.bmp" "$png" 48 2>/dev/null)"
  line=$("$snap" --lines "$out/chart.bmp" "$png" 2>/dev/null) || failed=1
  sed 's/^/  /' <<<"$line"
}
compare "libreoffice, pasted into Draw, drawn 1:1" "$out/draw-1to1/pasted.png"
compare "libreoffice, file converted" "$(lo_png "$snap" "$out/chart.emf" "$w" "$h")"
# Inkscape draws the file's frame at its own size; nothing to cut.
inkscape --export-type=png --export-filename="$out/inkscape.png" "$out/chart.emf" >/dev/null 2>&1 || true
compare "inkscape, file imported" "$out/inkscape.png"
echo "pictures in $out"
[ $failed = 0 ] && echo "destinations-check: PASS" || echo "destinations-check: FAIL"
exit $failed
