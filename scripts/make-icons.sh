#!/usr/bin/env bash
# Renders the program icon (desktop/icons/tessary.svg) into the PNG sizes the
# install rules put in the hicolor theme. Run after changing the SVG; needs
# rsvg-convert (Debian package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/../desktop/icons"
for size in 16 24 32 48 64 128 256; do
  mkdir -p "hicolor/${size}x${size}/apps"
  rsvg-convert -w "$size" -h "$size" tessary.svg -o "hicolor/${size}x${size}/apps/tessary.png"
done
