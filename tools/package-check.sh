#!/usr/bin/env bash
# Installs the Debian package on this machine as a user would, checks it and
# removes it again (root only; not part of the default test run):
#   tools/package-check.sh [BUILD_DIR] [SCREENSHOT.png]
# 1. builds the executable in BUILD_DIR (the Release tree of ./run.sh, build/
#    by default) and makes the package there with CPack; lintian reports no
#    error (its other tags are printed);
# 2. `apt-get install ./plotmere_*.deb`, which brings in its dependencies;
# 3. starts the installed program offscreen, then on its own X server as the
#    desktop entry does (Exec, with a table for %f), once as root and once
#    as a normal user (nobody): the window comes up, closes when asked, and
#    its settings land in $XDG_CONFIG_HOME or ~/.config, never in /usr/bin;
# 4. `apt-get remove plotmere`: none of its files is left, the menu's MIME
#    cache forgets it, and only the users' settings files remain.
# Installs xvfb, python3-xlib and lintian when they are missing. Refuses to
# run when plotmere is installed already, so that it never removes a copy
# someone uses.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
shot=${2:-}
id=org.plotmere.Plotmere
step() { echo "== $*"; }
fail() { echo "FAIL: $*"; exit 1; }

[ "$(id -u)" = 0 ] || fail "run as root: it installs and removes a package"
if dpkg-query -W -f='${db:Status-Abbrev}' plotmere 2>/dev/null | grep -q '^ii'; then
  fail "plotmere is installed already; remove it first (apt-get remove plotmere)"
fi
need=()
for p in xvfb python3-xlib lintian; do
  dpkg-query -W -f='${Status}' $p 2>/dev/null | grep -q "install ok installed" || need+=($p)
done
if [ ${#need[@]} -gt 0 ]; then
  step "installing ${need[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
fi

step "making the package in $build"
cmake --build "$build" --target plotmere >/dev/null
rm -f "$build"/plotmere_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/plotmere_*.deb)
echo "$deb"

step "lintian"
tags=$(lintian --tag-display-limit 0 -I --pedantic "$deb" 2>&1 | grep -v 'running with root privileges' || true)
echo "${tags:-no tags}"
! grep -q '^E:' <<<"$tags" || fail "lintian reports errors"

[ ! -e /usr/bin/plotmere.ini ] || fail "/usr/bin/plotmere.ini exists already; remove it first"
work=$(mktemp -d)
chmod 711 "$work"   # the normal user's home folder lies inside it
xvfb= installed=
# A failed check leaves the machine as it found it: the package removed, and
# a settings file the program wrongly put into /usr/bin deleted.
cleanup() {
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  if [ -n "$installed" ]; then
    DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq plotmere >/dev/null 2>&1 || true
    rm -f /usr/bin/plotmere.ini
  fi
  rm -rf "$work"
}
trap cleanup EXIT

step "apt-get install $deb"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >"$work/apt-install.log" 2>&1 \
  || { cat "$work/apt-install.log"; fail "apt-get install"; }
installed=1
dpkg -L plotmere | sort >"$work/files"
echo "$(grep -c . "$work/files") paths installed"
[ "$(command -v plotmere)" = /usr/bin/plotmere ] || fail "plotmere on PATH is $(command -v plotmere)"
desktop-file-validate /usr/share/applications/$id.desktop || fail "the installed desktop entry does not validate"
grep -q "$id.desktop" /usr/share/applications/mimeinfo.cache \
  || fail "the menu's MIME cache does not offer Plotmere for tables"

step "offscreen start"
rc=0
HOME=$work/offscreen QT_QPA_PLATFORM=offscreen timeout 5 plotmere >"$work/offscreen.log" 2>&1 || rc=$?
[ $rc = 124 ] || { cat "$work/offscreen.log"; fail "plotmere ended by itself with $rc within 5 s"; }
echo "still running after 5 s (stopped by timeout)"

# The window's X id, once a mapped top-level window named Plotmere shows;
# "close ID" asks it to close as a window manager does.
cat >"$work/x11.py" <<'PY'
import sys, time
from Xlib import X, display, protocol
d = display.Display()
root = d.screen().root
if sys.argv[1] == "close":
    w = d.create_resource_object("window", int(sys.argv[2], 0))
    protocols = d.intern_atom("WM_PROTOCOLS")
    delete = d.intern_atom("WM_DELETE_WINDOW")
    w.send_event(protocol.event.ClientMessage(window=w, client_type=protocols,
                                              data=(32, [delete, X.CurrentTime, 0, 0, 0])))
    d.flush()
    sys.exit(0)
deadline = time.time() + float(sys.argv[2])
while time.time() < deadline:
    for w in root.query_tree().children:
        try:
            if w.get_attributes().map_state == X.IsViewable and w.get_wm_name() == sys.argv[1]:
                g = w.get_geometry()
                print(hex(w.id), f"{g.width}x{g.height}")
                sys.exit(0)
        except Exception:
            pass
    time.sleep(0.2)
sys.exit(1)
PY
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -ac 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$work/display")

# The command the desktop runs: the entry's Exec with %f as the table.
table=$root/examples/comma-header.csv
exec_line=$(sed -n 's/^Exec=//p' /usr/share/applications/$id.desktop)
read -r -a command <<<"${exec_line//%f/$table}"

# run_as USER HOME XDG_CONFIG_HOME(or "") EXPECTED_INI
run_as() {
  local user=$1 home=$2 xdg=$3 ini=$4
  mkdir -p "$home"
  chown "$user" "$home"
  local env=(env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$home" DISPLAY="$DISPLAY"
             QT_QPA_PLATFORM=xcb LANG=C.UTF-8)
  [ -n "$xdg" ] && env+=(XDG_CONFIG_HOME="$xdg")
  setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups "${env[@]}" "${command[@]}" \
    >"$work/run-$user.log" 2>&1 &
  local app=$! win
  win=$(/usr/bin/python3 "$work/x11.py" Plotmere 20) || { kill $app; cat "$work/run-$user.log"; fail "no window as $user"; }
  echo "as $user: window $win up"
  sleep 2   # the table loads once the window is up
  if [ -n "$shot" ] && [ "$user" = root ] && command -v import >/dev/null; then
    import -window root "$shot" && echo "screenshot: $shot"
  fi
  /usr/bin/python3 "$work/x11.py" close "${win%% *}"
  local rc=0
  timeout 10 tail --pid=$app -f /dev/null || { kill $app; fail "as $user the window did not close"; }
  wait $app || rc=$?
  [ $rc = 0 ] || { cat "$work/run-$user.log"; fail "as $user plotmere ended with $rc"; }
  [ ! -e /usr/bin/plotmere.ini ] || fail "as $user a settings file was written into /usr/bin"
  [ -f "$ini" ] || fail "as $user no settings file $ini"
  echo "as $user: settings in $ini ($(grep -c = "$ini") values), owned by $(stat -c %U "$ini")"
  echo "as $user: files in the home folder: $(cd "$home" && find . -type f | sort | tr '\n' ' ')"
}

step "started as the desktop entry does: ${command[*]}"
run_as root "$work/root-home" "" "$work/root-home/.config/plotmere.ini"
run_as nobody "$work/user-home" "$work/user-home/xdg" "$work/user-home/xdg/plotmere.ini"

step "apt-get remove plotmere"
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq plotmere >"$work/apt-remove.log" 2>&1 \
  || { cat "$work/apt-remove.log"; fail "apt-get remove"; }
installed=
status=$(dpkg-query -W -f='${db:Status-Abbrev}' plotmere 2>/dev/null || true)
[[ -z "$status" || "$status" == un* ]] || fail "dpkg still knows plotmere as '$status'"
left=0
while read -r path; do
  # Folders shared with other packages (/usr/share/icons/...) stay.
  if [ -e "$path" ] && ! [ -d "$path" ]; then echo "left: $path"; left=1; fi
  if [ -d "$path" ] && [[ "$path" == *plotmere* ]]; then echo "left: $path/"; left=1; fi
done <"$work/files"
[ $left = 0 ] || fail "files of the package are left"
! grep -q "$id" /usr/share/applications/mimeinfo.cache || fail "the MIME cache still offers Plotmere"
[ -f "$work/root-home/.config/plotmere.ini" ] && [ -f "$work/user-home/xdg/plotmere.ini" ] \
  || fail "a user's settings file went with the package"
echo "removed: no file of the package left; the users' settings files stay"
echo "ok"
