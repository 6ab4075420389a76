#!/usr/bin/env bash
# Has an independent reader open what the EMF writer makes: renders charts to
# EMF and to a bitmap with our own code (bench/emf_snapshot), converts each
# EMF to PNG with LibreOffice (and with Inkscape, for information, when it is
# installed), and compares the reader's picture with our bitmap.
#
#   tools/emf-check.sh [build-dir=build-tests]
#
# Needs libreoffice-draw (a large package, so this check stays out of the
# default test run): apt-get install libreoffice-draw [inkscape].
#
# The comparison: a pixel differs when one of its channels differs by more
# than 48 of 255. Two rasterisers disagree by less than that on most
# anti-aliased edges and glyph outlines, while a missing, misplaced or
# recoloured element (a marker on the panel, a title, the shadow, the
# picture) differs by far more. The dotted grid is single pixels, which
# LibreOffice puts a pixel apart from ours in horizontal lines, so a pixel
# counts only when no pixel of the reader's within one pixel of it matches
# (unmatched_within_1px; differing_pixels, the strict share, is printed too).
# A chart passes when at most 2.5 % of its pixels differ so; measured about
# 1 %, and a negative control (the styled file against the plain bitmap)
# must fail, which shows the threshold can tell the pictures apart.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-tests}
limit=2.5
. tools/lib/office-readers.sh
need_command soffice libreoffice-draw
cmake --build "$build" --target emf_snapshot >/dev/null
snap="$build/bench/emf_snapshot"
out=$(mktemp -d /tmp/emf-check.XXXXXX)
export QT_QPA_PLATFORM=offscreen HOME="$out/home"
mkdir -p "$HOME"

failed=0
for variant in plain styled; do
  "$snap" "$out/$variant" "$variant" 1000 749 527 >/dev/null 2>&1
  png=$(lo_png "$snap" "$out/$variant.emf" 749 527)
  line=$("$snap" --compare "$out/$variant.png" "$png" 48 2>/dev/null)
  v=$(verdict "$line" $limit unmatched_within_1px)
  echo "libreoffice $variant: $line -> $v"
  [ "$v" = PASS ] || failed=1
  if command -v inkscape >/dev/null; then
    inkscape --export-type=png --export-filename="$out/ink-$variant.png" "$out/$variant.emf" >/dev/null 2>&1 &&
      echo "inkscape $variant (information only): $("$snap" --compare "$out/$variant.png" "$out/ink-$variant.png" 48 2>/dev/null)"
  fi
done
# The files the window's save buttons write (SaveEMFClick, SaveBMPClick):
# the reader's picture of the EMF against our BMP of the same chart.
cmake --build "$build" --target export_snapshot >/dev/null
for variant in plain styled; do
  mkdir -p "$out/window-$variant"
  "$build/bench/export_snapshot" "$out/window-$variant" "$variant" 1000 >/dev/null 2>&1
  cp "$out/window-$variant/chart.emf" "$out/window-$variant.emf"
  size=$(file "$out/window-$variant/chart.bmp" | grep -o '[0-9]* x [0-9]* x' | head -1)
  w=${size%% x *}; h=${size#* x }; h=${h%% x*}
  png=$(lo_png "$snap" "$out/window-$variant.emf" "$w" "$h")
  line=$("$snap" --compare "$out/window-$variant/chart.bmp" "$png" 48 2>/dev/null)
  v=$(verdict "$line" $limit unmatched_within_1px)
  echo "libreoffice window $variant (saved by the EMF button, against the BMP button's file): $line -> $v"
  [ "$v" = PASS ] || failed=1
done
# The negative control: a different chart must not pass.
line=$("$snap" --compare "$out/plain.png" "$out/lo-styled/reader.png" 48 2>/dev/null)
v=$(verdict "$line" $limit unmatched_within_1px)
echo "control (styled file against plain bitmap, must fail): $line -> $v"
[ "$v" = FAIL ] || failed=1
echo "pictures in $out"
[ $failed = 0 ] && echo "emf-check: PASS" || echo "emf-check: FAIL"
exit $failed
