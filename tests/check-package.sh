#!/usr/bin/env bash
# Makes the Debian package from a build tree with CPack and checks what it
# holds, without installing it:
#   check-package.sh BUILD_DIR VERSION
# the exact list of files and their modes, a stripped executable, the control
# fields (the project's version, dependencies found from the linked
# libraries and no development package), a changelog whose latest entry is
# this version, the machine-readable copyright, and a desktop entry that
# validates and starts an executable the package installs.
# Exits 77 (reported as skipped) when a tool it needs is not installed.
set -euo pipefail
build=$1 version=$2
id=org.plotmere.Plotmere
skip() { echo "SKIPPED: $1"; exit 77; }
fail() { echo "FAIL: $1"; exit 1; }
for tool in cpack dpkg-deb dpkg-shlibdeps file readelf desktop-file-validate; do
  command -v $tool >/dev/null || skip "$tool not installed (tools/install-deps.sh installs it)"
done

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 \
  || { cat "$out/cpack.log"; fail "cpack"; }
debs=("$out"/plotmere_*.deb)
[ ${#debs[@]} = 1 ] && [ -f "${debs[0]}" ] || fail "no single plotmere_*.deb in: $(ls "$out")"
deb=${debs[0]}
arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "plotmere_${version}_${arch}.deb" ] || fail "package named $(basename "$deb")"

# Every file with its mode and owner; folders are left to dpkg.
listed=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $1, $2, $6}' | sort)
expected=$( {
  echo "-rwxr-xr-x root/root ./usr/bin/plotmere"
  for f in applications/$id.desktop metainfo/$id.metainfo.xml icons/hicolor/scalable/apps/$id.svg \
           doc/plotmere/copyright doc/plotmere/changelog.gz man/man1/plotmere.1.gz; do
    echo "-rw-r--r-- root/root ./usr/share/$f"
  done
  for size in 16 22 24 32 48 64 128 256; do
    echo "-rw-r--r-- root/root ./usr/share/icons/hicolor/${size}x${size}/apps/$id.png"
  done } | sort)
[ "$listed" = "$expected" ] || fail "files differ (< in the package, > expected):
$(diff <(echo "$listed") <(echo "$expected") || true)"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = plotmere ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version), the project is $version"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ "$(field Section)" = science ] || fail "Section: $(field Section)"
[ "$(dpkg-deb -f "$deb" Description | wc -l)" -gt 3 ] || fail "no long description"
depends=$(field Depends)
for lib in libqt6core6 libqt6gui6 libqt6widgets6 libqt6svg6 libc6 libstdc++6; do
  [[ "$depends" == *"$lib ("* ]] || fail "Depends lacks $lib: $depends"
done
[[ "$depends" != *-dev* ]] || fail "Depends names a development package: $depends"
[[ "$depends" == *fonts-noto-cjk* ]] || fail "Depends lacks a Japanese font: $depends"

dpkg-deb -x "$deb" "$out/root"
root=$out/root
file -b "$root/usr/bin/plotmere" | grep -q ', stripped' || fail "the executable is not stripped: $(file -b "$root/usr/bin/plotmere")"
head -n1 "$root/usr/share/doc/plotmere/copyright" \
  | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
  || fail "the copyright file is not in the machine-readable format"
top=$(gzip -dc "$root/usr/share/doc/plotmere/changelog.gz" | head -n1)
[[ "$top" == "plotmere ($version) "* ]] || fail "the changelog's latest entry is '$top', the package $version"

# The packaged desktop entry validates, and the program it starts (Exec and
# TryExec, looked up on PATH) is the one the package puts in /usr/bin.
entry=$root/usr/share/applications/$id.desktop
msg=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $msg"
for key in Exec TryExec; do
  program=$(sed -n "s/^$key=\([^ ]*\).*/\1/p" "$entry")
  [ -n "$program" ] && [[ "$program" != */* ]] && [ -x "$root/usr/bin/$program" ] \
    || fail "$key starts '$program', not a program in /usr/bin of the package"
done
echo "ok: $(basename "$deb"), $(stat -c %s "$deb") bytes; Depends: $depends"
