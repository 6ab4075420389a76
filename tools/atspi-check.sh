#!/usr/bin/env bash
# Checks the accessibility tree through the real AT-SPI bus, outside the
# default test run: under Xvfb with a private session bus it runs the
# accessibility test on the X11 platform (where accessibility is on, so the
# checks of events run too), then starts Plotmere on an example table and
# reads it with pyatspi.
#   tools/atspi-check.sh [BUILD_DIR] [--dump]
# Needs xvfb, at-spi2-core, dbus and python3-pyatspi (Debian packages).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-tests}
dump=${2:-}
for tool in xvfb-run dbus-run-session /usr/libexec/at-spi-bus-launcher; do
  command -v "$tool" >/dev/null || { echo "missing $tool (packages xvfb, dbus, at-spi2-core)"; exit 2; }
done
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || { echo "missing python3-pyatspi"; exit 2; }

export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 NO_AT_BRIDGE=0 LC_ALL=C.UTF-8
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export XDG_CONFIG_HOME=$home XDG_RUNTIME_DIR=$home
cp "$build/app/plotmere" "$home/plotmere"   # its settings file goes beside it, not into the build

xvfb-run -a dbus-run-session -- bash -c '
  /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
  sleep 1
  rc=0
  "$1/tests/tst_Accessibility" -silent || rc=$?
  "$2/plotmere" "$3/examples/comma-header.csv" >/dev/null 2>&1 &
  app=$!
  sleep 2
  /usr/bin/python3 "$3/tools/atspi_check.py" $4 || rc=$?
  kill $app
  exit $rc' _ "$build" "$home" "$root" "$dump"
