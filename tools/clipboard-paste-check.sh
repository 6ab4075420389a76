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
command -v soffice >/dev/null || { echo "soffice not found: apt-get install libreoffice-draw" >&2; exit 2; }
command -v Xvfb >/dev/null || { echo "Xvfb not found: apt-get install xvfb" >&2; exit 2; }
cmake --build "$build" --target export_snapshot emf_snapshot >/dev/null
tool="$build/bench/export_snapshot"
snap="$build/bench/emf_snapshot"
out=$(mktemp -d /tmp/clipboard-paste-check.XXXXXX)
export HOME="$out/home" XDG_RUNTIME_DIR="$out/run"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# A display number nobody uses.
display=97
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >"$out/xvfb.log" 2>&1 &
xvfb=$!
holder=
cleanup() {
  [ -n "$holder" ] && kill "$holder" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
export DISPLAY=":$display"

# LibreOffice's own profile, holding the macro in its "My Macros" library
# (trusted, so no security prompt). A first start creates the profile, which
# would replace a library written before it.
profile="$out/lo-profile"
basic="$profile/user/basic"
soffice -env:UserInstallation="file://$profile" --headless --terminate_after_init >/dev/null 2>&1 || true
mkdir -p "$basic/Standard"
cat >"$basic/script.xlc" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE library:libraries PUBLIC "-//OpenOffice.org//DTD OfficeDocument 1.0//EN" "libraries.dtd">
<library:libraries xmlns:library="http://openoffice.org/2000/library" xmlns:xlink="http://www.w3.org/1999/xlink">
 <library:library library:name="Standard" xlink:href="$(USER)/basic/Standard/script.xlb/" xlink:type="simple" library:link="false"/>
</library:libraries>
EOF
sed 's/script.xlb/dialog.xlb/' "$basic/script.xlc" >"$basic/dialog.xlc"
cat >"$basic/Standard/script.xlb" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE library:library PUBLIC "-//OpenOffice.org//DTD OfficeDocument 1.0//EN" "library.dtd">
<library:library xmlns:library="http://openoffice.org/2000/library" library:name="Standard" library:readonly="false" library:passwordprotected="false">
 <library:element library:name="Paste"/>
</library:library>
EOF
cat >"$basic/Standard/dialog.xlb" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE library:library PUBLIC "-//OpenOffice.org//DTD OfficeDocument 1.0//EN" "library.dtd">
<library:library xmlns:library="http://openoffice.org/2000/library" library:name="Standard" library:readonly="false" library:passwordprotected="false"/>
EOF
cat >"$basic/Standard/Paste.xba" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE script:module PUBLIC "-//OpenOffice.org//DTD OfficeDocument 1.0//EN" "module.dtd">
<script:module xmlns:script="http://openoffice.org/2000/script" script:name="Paste" script:language="StarBasic">
Sub PasteCheck
  Dim report As String
  outDir = Environ(&quot;PASTE_OUT&quot;)
  report = &quot;&quot;
  clip = createUnoService(&quot;com.sun.star.datatransfer.clipboard.SystemClipboard&quot;)
  flavors = clip.getContents().getTransferDataFlavors()
  For i = LBound(flavors) To UBound(flavors)
    report = report &amp; &quot;offered: &quot; &amp; flavors(i).MimeType &amp; Chr(10)
  Next
  doc = StarDesktop.loadComponentFromURL(&quot;private:factory/sdraw&quot;, &quot;_blank&quot;, 0, Array())
  frame = doc.getCurrentController().getFrame()
  dispatcher = createUnoService(&quot;com.sun.star.frame.DispatchHelper&quot;)
  dispatcher.executeDispatch(frame, &quot;.uno:Paste&quot;, &quot;&quot;, 0, Array())
  page = doc.getDrawPages().getByIndex(0)
  report = report &amp; &quot;shapes: &quot; &amp; page.getCount() &amp; Chr(10)
  If page.getCount() &gt; 0 Then
    shape = page.getByIndex(0)
    report = report &amp; &quot;shape: &quot; &amp; shape.getShapeType() &amp; Chr(10)
    If shape.getShapeType() = &quot;com.sun.star.drawing.GraphicObjectShape&quot; Then
      report = report &amp; &quot;graphic type: &quot; &amp; shape.Graphic.GraphicType &amp; &quot; (1 pixels, 2 vectors)&quot; &amp; Chr(10)
      report = report &amp; &quot;graphic media type: &quot; &amp; shape.Graphic.MimeType &amp; Chr(10)
      report = report &amp; &quot;graphic pixels: &quot; &amp; shape.Graphic.SizePixel.Width &amp; &quot;x&quot; &amp; shape.Graphic.SizePixel.Height &amp; Chr(10)
      report = report &amp; &quot;graphic 1/100 mm: &quot; &amp; shape.Graphic.Size100thMM.Width &amp; &quot;x&quot; &amp; shape.Graphic.Size100thMM.Height &amp; Chr(10)
      report = report &amp; &quot;shape as pasted, 1/100 mm: &quot; &amp; shape.Size.Width &amp; &quot;x&quot; &amp; shape.Size.Height &amp; Chr(10)
      &apos; Draw shrinks a large picture to fit its page: the page is made the
      &apos; picture&apos;s own size, without margins, the picture put back to its own
      &apos; size at the page&apos;s origin, and the page drawn at the chart&apos;s size in
      &apos; pixels.
      own = shape.Graphic.Size100thMM
      page.BorderLeft = 0
      page.BorderRight = 0
      page.BorderTop = 0
      page.BorderBottom = 0
      page.Width = own.Width
      page.Height = own.Height
      shape.Size = own
      Dim origin As New com.sun.star.awt.Point
      shape.Position = origin
      Dim size(1) As New com.sun.star.beans.PropertyValue
      size(0).Name = &quot;PixelWidth&quot;
      size(0).Value = CLng(Environ(&quot;PASTE_W&quot;))
      size(1).Name = &quot;PixelHeight&quot;
      size(1).Value = CLng(Environ(&quot;PASTE_H&quot;))
      Dim args(2) As New com.sun.star.beans.PropertyValue
      args(0).Name = &quot;URL&quot;
      args(0).Value = ConvertToURL(outDir &amp; &quot;/pasted.png&quot;)
      args(1).Name = &quot;MediaType&quot;
      args(1).Value = &quot;image/png&quot;
      args(2).Name = &quot;FilterData&quot;
      args(2).Value = size()
      exporter = createUnoService(&quot;com.sun.star.drawing.GraphicExportFilter&quot;)
      exporter.setSourceDocument(page)
      exporter.filter(args())
    End If
  End If
  n = FreeFile()
  Open outDir &amp; &quot;/paste-report.txt&quot; For Output As #n
  Print #n, report
  Close #n
  doc.close(True)
  StarDesktop.terminate()
End Sub
</script:module>
EOF

verdict() { # "result line" -> PASS/FAIL
  local share
  share=$(sed -n 's/.*differing_pixels=\([0-9.]*\)%.*/\1/p' <<<"$1")
  awk -v s="$share" -v l="$limit" 'BEGIN { print (s <= l) ? "PASS" : "FAIL" }'
}

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
      v=$(verdict "$line")
      echo "  pasted picture against the BMP button's file: $line -> $v"
      [ "$v" = PASS ] || fail=1
      line=$("$snap" --compare "$out/plain/chart.bmp" "$dir/pasted.png" 48 2>/dev/null)
      v=$(verdict "$line")
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
