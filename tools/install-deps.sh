#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Plotmere
# need, but only when one of them is missing. (locales carries the locale
# sources a test compiles a comma-decimal C locale from; desktop-file-utils
# validates the desktop entry; dpkg-dev and file let CPack find the Debian
# package's dependencies from the linked libraries.)
set -euo pipefail
packages=(build-essential cmake ninja-build ccache qt6-base-dev qt6-svg-dev qt6-image-formats-plugins
          libgl-dev fonts-noto-cjk locales desktop-file-utils qt6-translations-l10n
          dpkg-dev file)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
