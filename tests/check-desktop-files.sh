#!/usr/bin/env bash
# Checks what `cmake --install` puts on a desktop.
#   check-desktop-files.sh entry SOURCE_DIR    the desktop entry validates
#   check-desktop-files.sh metainfo SOURCE_DIR the AppStream metainfo validates
#   check-desktop-files.sh install BUILD_DIR   an install into a scratch prefix
#                                              holds every file, consistently named
# Exits 77 (reported as skipped) when the checker a step needs is not installed.
set -euo pipefail
id=org.plotmere.Plotmere
what=$1 dir=$2
skip() { echo "SKIPPED: $1"; exit 77; }
fail() { echo "FAIL: $1"; exit 1; }

case $what in
entry)
  command -v desktop-file-validate >/dev/null || skip "desktop-file-validate not installed (package desktop-file-utils)"
  out=$(desktop-file-validate "$dir/desktop/$id.desktop" 2>&1) || fail "desktop-file-validate: $out"
  [ -z "$out" ] || echo "$out"
  ;;
metainfo)
  command -v appstreamcli >/dev/null || skip "appstreamcli not installed (package appstream)"
  appstreamcli validate --no-net "$dir/desktop/$id.metainfo.xml" || fail "appstreamcli validate"
  ;;
install)
  prefix=$(mktemp -d)
  trap 'rm -rf "$prefix"' EXIT
  cmake --install "$dir" --prefix "$prefix" >/dev/null
  share=$prefix/share
  [ -x "$prefix/bin/plotmere" ] || fail "no executable bin/plotmere"
  entry=$share/applications/$id.desktop
  [ -f "$entry" ] || fail "no desktop entry $entry"
  [ -f "$share/metainfo/$id.metainfo.xml" ] || fail "no metainfo"
  [ -f "$share/icons/hicolor/scalable/apps/$id.svg" ] || fail "no scalable icon"
  for size in 16 22 24 32 48 64 128 256; do
    png=$share/icons/hicolor/${size}x${size}/apps/$id.png
    [ -f "$png" ] || fail "no ${size}x${size} icon"
    # The PNG header's width and height (big-endian, bytes 16..23).
    dims=$(od -An -tu1 -j16 -N8 "$png" | awk '{print $3*256+$4 "x" $7*256+$8}')
    [ "$dims" = "${size}x${size}" ] || fail "$png is $dims"
  done
  # The entry starts the installed program with the file it was opened
  # with, under the icon installed above, for the three table types.
  grep -qx 'Exec=plotmere %f' "$entry" || fail "Exec is not 'plotmere %f'"
  grep -qx "Icon=$id" "$entry" || fail "Icon is not $id"
  grep -q '^Name\[ja\]=' "$entry" || fail "no Name[ja]"
  grep -q '^Comment\[ja\]=' "$entry" || fail "no Comment[ja]"
  mimes=$(sed -n 's/^MimeType=//p' "$entry")
  for m in text/csv text/tab-separated-values text/plain; do
    [[ ";$mimes" == *";$m;"* ]] || fail "MimeType lacks $m"
  done
  grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$share/metainfo/$id.metainfo.xml" \
    || fail "the metainfo does not launch $id.desktop"
  if command -v appstreamcli >/dev/null; then
    appstreamcli validate-tree --no-net "$prefix" || fail "appstreamcli validate-tree"
  else
    echo "appstreamcli not installed: the installed tree was checked without it"
  fi
  ;;
*)
  echo "usage: $0 entry|metainfo SOURCE_DIR | install BUILD_DIR" >&2
  exit 2
  ;;
esac
echo "ok"
