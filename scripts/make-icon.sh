#!/usr/bin/env bash
# Renders the application icon from its SVG drawing into a Windows .ico file
# holding 16, 32, 48 and 256 pixel images (rsvg-convert from librsvg2-bin,
# icotool from icoutils). The 256-pixel image is stored as PNG, as Windows expects.
# Usage: scripts/make-icon.sh SOURCE.svg OUTPUT.ico
set -euo pipefail
source_svg="$1"
output="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
for size in 16 32 48 256; do
  rsvg-convert --width "$size" --height "$size" --format png --output "$work/icon-$size.png" "$source_svg"
done
icotool --create --output "$work/icon.ico" \
  "$work/icon-16.png" "$work/icon-32.png" "$work/icon-48.png" --raw="$work/icon-256.png"
mv "$work/icon.ico" "$output"
