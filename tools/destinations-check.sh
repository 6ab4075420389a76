#!/usr/bin/env bash
# Follows the chart to where users put it, with the readers Debian has.
#
#  1. Pasted: under a private X server (Xvfb) the window's EMF copy button
#     puts a chart on the clipboard (bench/export_snapshot --hold emf), and
#     LibreOffice pastes it into a new Writer, Impress and Draw document and
#     saves .docx, .pptx and .odg; for each the embedded picture's kind,
#     size and (for an EMF) record count are reported, and a document over
#     1 MB fails. Draw's picture of the paste, drawn 1:1, is exported too.
#     Twice: with every type the copy offers (each program takes the one it
#     likes), and with the metafile's types only (so each takes the EMF).
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
office() { # MACRO: runs a macro of the profile on the display
  SAL_USE_VCLPLUGIN=gen timeout 300 soffice -env:UserInstallation="file://$profile" --norestore --nologo \
    --nodefault "macro:///Standard.$1" >>"$out/soffice.log" 2>&1 || true
}

# paste_case NAME [TYPES]: the chart on the clipboard (only TYPES of the
# metafile's types when given), served while LibreOffice pastes it into the
# three documents and Draw exports its picture 1:1; reports what each
# document holds.
paste_case() {
  local dir="$out/$1" doc bytes pictures v
  mkdir -p "$dir/draw-1to1"
  QT_QPA_PLATFORM=xcb "$tool" "$dir" "$variant" "$points" --hold emf --seconds 400 ${2:+--only-types "$2"} \
    >"$dir/holder.log" 2>&1 &
  holder=$!
  for _ in $(seq 300); do grep -q '^ready' "$dir/holder.log" && break; kill -0 "$holder" 2>/dev/null || break; sleep 0.1; done
  grep -q '^ready' "$dir/holder.log" || { echo "the clipboard holder did not start:"; cat "$dir/holder.log"; exit 1; }
  DEST_OUT="$dir" office Destinations.SaveAll
  PASTE_OUT="$dir/draw-1to1" PASTE_W=$w PASTE_H=$h office Paste.PasteCheck
  kill "$holder" 2>/dev/null || true
  wait "$holder" 2>/dev/null || true
  holder=
  echo "== pasted and saved: $1"
  for doc in pasted.docx pasted.pptx pasted.odg; do
    if [ ! -f "$dir/$doc" ]; then
      echo "$doc: not written (see $out/soffice.log)"; failed=1; continue
    fi
    bytes=$(stat -c %s "$dir/$doc")
    mkdir -p "$dir/${doc%.*}-${doc##*.}"
    unzip -qo "$dir/$doc" -d "$dir/${doc%.*}-${doc##*.}"
    pictures=$(find "$dir/${doc%.*}-${doc##*.}" -path '*media*' -o -path '*Pictures*' | while read -r f; do
      [ -f "$f" ] && echo "$(basename "$f") $(stat -c %s "$f") bytes, records $(emf_records "$f")"; done | paste -sd ';' -)
    v=PASS
    [ "$bytes" -le $maxDocBytes ] || { v=FAIL; failed=1; }
    echo "$doc: $bytes bytes ($pictures) -> $v"
  done
  grep -E '^graphic media type' "$dir/draw-1to1/paste-report.txt" 2>/dev/null | sed 's/^/Draw pasted: /' || true
}

# The files the save buttons write: our bitmap and the EMF.
QT_QPA_PLATFORM=offscreen "$tool" "$out" "$variant" "$points" >"$out/save.log" 2>&1
size=$(sed -n 's/^chart \([0-9]*x[0-9]*\).*/\1/p' "$out/save.log")
w=${size%x*}; h=${size#*x}
echo "chart: $variant, $points points, ${w}x$h pixels, EMF $(stat -c %s "$out/chart.emf") bytes, $(emf_records "$out/chart.emf") records"
paste_case "as offered"
paste_case "metafile types only" 'application/x-openoffice-emf;windows_formatname="Image EMF",image/x-emf,image/emf'

echo "== pictures against our bitmap (chart.bmp)"
# compare NAME PNG: the overall share (information) and the thin lines.
compare() {
  local name=$1 png=$2 line
  if [ ! -f "$png" ]; then echo "$name: no picture"; failed=1; return; fi
  echo "$name: $("$snap" --compare "$out/chart.bmp" "$png" 48 2>/dev/null)"
  line=$("$snap" --lines "$out/chart.bmp" "$png" 2>/dev/null) || failed=1
  sed 's/^/  /' <<<"$line"
}
compare "libreoffice, pasted into Draw (as offered), drawn 1:1" "$out/as offered/draw-1to1/pasted.png"
compare "libreoffice, pasted into Draw (metafile types only), drawn 1:1" "$out/metafile types only/draw-1to1/pasted.png"
compare "libreoffice, file converted" "$(lo_png "$snap" "$out/chart.emf" "$w" "$h")"
# Inkscape draws the file's frame at its own size; nothing to cut.
inkscape --export-type=png --export-filename="$out/inkscape.png" "$out/chart.emf" >/dev/null 2>&1 || true
compare "inkscape, file imported" "$out/inkscape.png"
echo "pictures in $out"
[ $failed = 0 ] && echo "destinations-check: PASS" || echo "destinations-check: FAIL"
exit $failed
