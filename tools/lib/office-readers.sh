# Shared by the tools that have outside readers (LibreOffice, Inkscape) open
# what the program writes: a private X server, a LibreOffice profile holding
# a Basic macro, the conversion of an EMF to a PNG at the chart's own size,
# and the pass/fail rule for a picture comparison. Source it from a script
# that has `set -euo pipefail`; the functions work in `out` (the script's
# work folder, which start_display_session makes).

# need_command NAME PACKAGE: stops the script when NAME is missing.
need_command() {
  command -v "$1" >/dev/null || { echo "$1 not found: apt-get install $2" >&2; exit 2; }
}

# start_display_session NAME: a work folder /tmp/NAME.XXXXXX as `out`, a
# home and runtime folder of its own (so LibreOffice and Qt leave the user's
# alone), a private X server, and `holder` (a clipboard-serving process a
# script may start) ended when the script exits.
start_display_session() {
  out=$(mktemp -d "/tmp/$1.XXXXXX")
  export HOME="$out/home" XDG_RUNTIME_DIR="$out/run"
  mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  start_xvfb
  holder=
  on_exit '[ -n "$holder" ] && kill "$holder" 2>/dev/null || true'
}

# start_xvfb: a private X server on a display number nobody uses; sets
# DISPLAY and ends the server when the script exits (with on_exit's work).
on_exit_work=
on_exit() { on_exit_work="$1; $on_exit_work"; trap "$on_exit_work" EXIT; }
start_xvfb() {
  local display=97
  while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
  Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >"$out/xvfb.log" 2>&1 &
  xvfb_pid=$!
  on_exit 'kill $xvfb_pid 2>/dev/null || true'
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
  export DISPLAY=":$display"
}

# make_office_profile DIR XBA_FILE...: a LibreOffice profile in DIR whose
# "My Macros" Standard library holds the Basic modules XBA_FILE... (each
# named after its file; trusted, so no security prompt). A first start creates the profile, which would replace a
# library written before it. Run the macro with
#   soffice -env:UserInstallation=file://DIR ... macro:///Standard.MODULE.SUB
# (under a display: the macros paste, which a headless office cannot).
make_office_profile() {
  local profile=$1 basic="$1/user/basic" xba elements=
  shift
  soffice -env:UserInstallation="file://$profile" --headless --terminate_after_init >/dev/null 2>&1 || true
  mkdir -p "$basic/Standard"
  cat >"$basic/script.xlc" <<'XLC'
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE library:libraries PUBLIC "-//OpenOffice.org//DTD OfficeDocument 1.0//EN" "libraries.dtd">
<library:libraries xmlns:library="http://openoffice.org/2000/library" xmlns:xlink="http://www.w3.org/1999/xlink">
 <library:library library:name="Standard" xlink:href="$(USER)/basic/Standard/script.xlb/" xlink:type="simple" library:link="false"/>
</library:libraries>
XLC
  sed 's/script.xlb/dialog.xlb/' "$basic/script.xlc" >"$basic/dialog.xlc"
  for xba in "$@"; do
    elements+=" <library:element library:name=\"$(basename "$xba" .xba)\"/>"$'\n'
    cp "$xba" "$basic/Standard/"
  done
  cat >"$basic/Standard/script.xlb" <<XLB
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE library:library PUBLIC "-//OpenOffice.org//DTD OfficeDocument 1.0//EN" "library.dtd">
<library:library xmlns:library="http://openoffice.org/2000/library" library:name="Standard" library:readonly="false" library:passwordprotected="false">
$elements</library:library>
XLB
  cat >"$basic/Standard/dialog.xlb" <<'XLB'
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE library:library PUBLIC "-//OpenOffice.org//DTD OfficeDocument 1.0//EN" "library.dtd">
<library:library xmlns:library="http://openoffice.org/2000/library" library:name="Standard" library:readonly="false" library:passwordprotected="false"/>
XLB
}

# lo_png SNAP EMF WIDTH HEIGHT: converts EMF to PNG with LibreOffice and
# prints the path of the picture, cropped to what was drawn. LibreOffice lays
# a picture on its page, shrunk to fit the margins; a first conversion
# measures that shrink, a second one asks for a page as much larger, so the
# picture comes out at its own size.
lo_png() {
  local snap=$1 emf=$2 w=$3 h=$4 dir="$out/lo-$(basename "$2" .emf)"
  mkdir -p "$dir/1" "$dir/2"
  soffice --headless --convert-to png --outdir "$dir/1" "$emf" >/dev/null 2>&1
  "$snap" --crop "$dir/1/$(basename "$emf" .emf).png" "$dir/first.png" 2>/dev/null
  local size cw ch pw ph
  size=$(file "$dir/first.png" | grep -o '[0-9]* x [0-9]*' | head -1)
  cw=${size% x *}; ch=${size#* x }
  size=$(file "$dir/1/$(basename "$emf" .emf).png" | grep -o '[0-9]* x [0-9]*' | head -1)
  pw=$(( ${size% x *} * w / cw )); ph=$(( ${size#* x } * h / ch ))
  soffice --headless --convert-to "png:draw_png_Export:{\"PixelWidth\":{\"type\":\"long\",\"value\":\"$pw\"},\"PixelHeight\":{\"type\":\"long\",\"value\":\"$ph\"}}" \
    --outdir "$dir/2" "$emf" >/dev/null 2>&1
  "$snap" --crop "$dir/2/$(basename "$emf" .emf).png" "$dir/reader.png" 2>/dev/null
  echo "$dir/reader.png"
}

# verdict LINE LIMIT [FIELD=differing_pixels]: PASS when the "FIELD=N%" of a
# comparison line (emf_snapshot --compare) is at most LIMIT per cent, else
# FAIL.
verdict() {
  local share
  share=$(sed -n "s/.*${3:-differing_pixels}=\([0-9.]*\)%.*/\1/p" <<<"$1")
  awk -v s="$share" -v l="$2" 'BEGIN { print (s <= l) ? "PASS" : "FAIL" }'
}
