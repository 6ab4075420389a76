#!/usr/bin/env bash
# Runs gui_bench on an X server of its own (Xvfb, xcb platform) for each
# table, with the accessibility bridge off and then on (a session bus from
# dbus-run-session, the AT-SPI bus from at-spi2-core, QT_ACCESSIBILITY=1),
# alternating a drop, an open and plotmere_bench on the same table RUNS
# times, and prints the medians.
#
#   bench/gui_bench.sh [RUNS] TABLE...
#
# Needs xvfb, dbus and at-spi2-core; the benches are taken from the Release
# build in build/bench/, or from PLOTMERE_BENCH_DIR.
set -euo pipefail
runs=3
if [[ ${1:-} =~ ^[0-9]+$ ]]; then runs=$1; shift; fi
[ $# -gt 0 ] || { echo "usage: $0 [RUNS] TABLE..." >&2; exit 2; }
bin=$(cd "${PLOTMERE_BENCH_DIR:-$(dirname "$0")/../build/bench}" && pwd)
tmp=$(mktemp -d)
display=:$((50 + RANDOM % 40))
Xvfb "$display" -screen 0 1600x1000x24 -nolisten tcp >"$tmp/xvfb.log" 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; rm -rf "$tmp"' EXIT
sleep 1
export DISPLAY=$display QT_QPA_PLATFORM=xcb

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
field() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p"; }

# One round for a table: drop, open, data bench; appends to files in $tmp.
round() {
  local table=$1 tag=$2
  "$bin/gui_bench" "$table" drop 2>/dev/null > "$tmp/out" || true
  field gui_first_frame_s < "$tmp/out" >> "$tmp/$tag.drop"
  field drop_return_s < "$tmp/out" >> "$tmp/$tag.ret"
  field expose_s < "$tmp/out" >> "$tmp/$tag.expose"
  field resize_s < "$tmp/out" >> "$tmp/$tag.resize"
  sed -n 's/.*accessibility=\([a-z]*\).*/\1/p' "$tmp/out" > "$tmp/$tag.a11y"
  "$bin/gui_bench" "$table" open 2>/dev/null > "$tmp/out" || true
  field gui_first_frame_s < "$tmp/out" >> "$tmp/$tag.open"
  field first_repaint_s < "$tmp/out" >> "$tmp/$tag.repaint"
  "$bin/plotmere_bench" "$table" 2>/dev/null | field total_s >> "$tmp/$tag.data"
}

report() {
  local table=$1 tag=$2 mode=$3
  printf '%-12s a11y=%-3s (bridge %s)  data %.3f s  drop->frame %.3f s  open->frame %.3f s  open->first repaint %.3f s  drop returns %.4f s  expose %.4f s  resize %.4f s\n' \
    "$(basename "$table")" "$mode" "$(cat "$tmp/$tag.a11y")" "$(median < "$tmp/$tag.data")" \
    "$(median < "$tmp/$tag.drop")" "$(median < "$tmp/$tag.open")" "$(median < "$tmp/$tag.repaint")" "$(median < "$tmp/$tag.ret")" \
    "$(median < "$tmp/$tag.expose")" "$(median < "$tmp/$tag.resize")"
}

for table in "$@"; do
  tag=$(basename "$table")
  for ((i = 1; i <= runs; i++)); do
    QT_ACCESSIBILITY=0 round "$table" "off.$tag"
  done
  report "$table" "off.$tag" off
  # Accessibility on: a session bus and the AT-SPI bus inside it.
  export -f round field
  dbus-run-session -- bash -c '
    /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
    launcher=$!
    sleep 1
    for ((i = 1; i <= '"$runs"'; i++)); do
      QT_ACCESSIBILITY=1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 bin='"$bin"' tmp='"$tmp"' round "'"$table"'" "on.'"$tag"'"
    done
    kill $launcher' 2>/dev/null
  report "$table" "on.$tag" on
done
