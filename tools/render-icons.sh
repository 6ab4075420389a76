#!/usr/bin/env bash
# Renders the application icon's PNG sizes from its SVG (run after changing
# desktop/org.plotmere.Plotmere.svg; the PNGs are kept in the repository so
# that building needs no SVG renderer). Needs rsvg-convert (librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/../desktop"
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "icons/${size}x${size}"
  rsvg-convert -w "$size" -h "$size" org.plotmere.Plotmere.svg -o "icons/${size}x${size}/org.plotmere.Plotmere.png"
done
