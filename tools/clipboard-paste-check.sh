#!/usr/bin/env bash
# Has a real reader paste what the window's copy buttons put on the system
# clipboard. Under a private X server (Xvfb), bench/export_snapshot draws a
# styled chart, saves it through the BMP button (our reference picture),
# clicks the EMF or BMP copy button and keeps serving the X11 clipboard;
# LibreOffice (a real window on that server, not headless) then runs a Basic
# macro that lists the clipboard's types, pastes into a new Draw document
# (.uno:Paste), reports what kind of picture arrived and exports it to PNG at
# the chart's pixel size. The PNG is compared with our BMP as emf-check.sh
# compares (channel tolerance 48, at most 2.5 % of pixels), with a negative
# control (the same paste against a plain chart) that must fail.
#
#   tools/clipboard-paste-check.sh [build-dir=build-tests]
#
# Needs xvfb and libreoffice-draw (large, so this stays out of the default
# test run): apt-get install xvfb libreoffice-draw.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-tests}
limit=2.5
. tools/lib/office-readers.sh
need_command soffice libreoffice-draw
need_command Xvfb xvfb
cmake --build "$build" --target export_snapshot emf_snapshot >/dev/null
tool="$build/bench/export_snapshot"
snap="$build/bench/emf_snapshot"
start_display_session clipboard-paste-check

# The macro (tools/lib/Paste.xba): lists the clipboard's types, pastes into
# a new Draw document and exports what arrived.
profile="$out/lo-profile"

make_office_profile "$profile" tools/lib/Paste.xba

# The negative control's picture: the plain chart, saved offscreen.
mkdir -p "$out/plain"
QT_QPA_PLATFORM=offscreen "$tool" "$out/plain" plain 1000 >/dev/null 2>&1

failed=0
# run_case NAME emf|bmp REQUIRED [TYPES]: TYPES limits the metafile's types
# offered (to learn which one the reader takes); a case that is not
# REQUIRED only reports.
run_case() {
  local name=$1 kind=$2 required=$3 types=${4:-} dir="$out/$1" fail=0 line v
  mkdir -p "$dir"
  QT_QPA_PLATFORM=xcb "$tool" "$dir" styled 1000 --hold "$kind" --seconds 240 ${types:+--only-types "$types"} \
    >"$dir/holder.log" 2>&1 &
  holder=$!
  for _ in $(seq 300); do grep -q '^ready' "$dir/holder.log" && break; kill -0 "$holder" 2>/dev/null || break; sleep 0.1; done
  echo "== $name"
  if ! grep -q '^ready' "$dir/holder.log"; then
    echo "  the clipboard holder did not start:"; cat "$dir/holder.log"; failed=1; return
  fi
  size=$(sed -n 's/^chart \([0-9]*x[0-9]*\).*/\1/p' "$dir/holder.log")
  PASTE_OUT="$dir" PASTE_W="${size%x*}" PASTE_H="${size#*x}" SAL_USE_VCLPLUGIN=gen timeout 180 \
    soffice -env:UserInstallation="file://$profile" --norestore --nologo --nodefault \
    "macro:///Standard.Paste.PasteCheck" >"$dir/soffice.log" 2>&1 || true
  kill "$holder" 2>/dev/null || true
  wait "$holder" 2>/dev/null || true
  holder=
  if [ ! -f "$dir/paste-report.txt" ]; then
    echo "  no report from LibreOffice:"; cat "$dir/soffice.log"; fail=1
  else
    grep -v '^$' "$dir/paste-report.txt" | sed 's/^/  /'
    if [ ! -f "$dir/pasted.png" ]; then
      echo "  nothing was pasted"; fail=1
    else
      line=$("$snap" --compare "$dir/chart.bmp" "$dir/pasted.png" 48 2>/dev/null)
      v=$(verdict "$line" $limit)
      echo "  pasted picture against the BMP button's file: $line -> $v"
      [ "$v" = PASS ] || fail=1
      line=$("$snap" --compare "$out/plain/chart.bmp" "$dir/pasted.png" 48 2>/dev/null)
      v=$(verdict "$line" $limit)
      echo "  control (against a plain chart, must fail): $line -> $v"
      [ "$v" = FAIL ] || fail=1
    fi
  fi
  if [ "$required" = yes ]; then
    [ $fail = 0 ] && echo "  -> PASS" || { echo "  -> FAIL"; failed=1; }
  else
    [ $fail = 0 ] && echo "  (information) pasted" || echo "  (information) not pasted"
  fi
}
office='application/x-openoffice-emf;windows_formatname="Image EMF"'
run_case emf-copy emf yes
run_case bmp-copy bmp yes
run_case emf-only-image-x-emf-and-image-emf emf no "image/x-emf,image/emf"
run_case emf-only-office-flavour emf no "$office"
echo "pictures in $out"
[ $failed = 0 ] && echo "clipboard-paste-check: PASS" || echo "clipboard-paste-check: FAIL"
exit $failed
