#!/usr/bin/env bash
# Renders the window's and the desktop's icons from ui/icons/kestrin.svg (and
# kestrin-16.svg, the same sign drawn pixel by pixel for 16 x 16), and puts them
# together in kestrin.ico for the Windows program. The PNGs and the .ico are
# committed; run this after changing a drawing.
set -euo pipefail
cd "$(dirname "$0")/../ui/icons"
for tool in rsvg-convert convert; do
    command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/setup.sh" >&2; exit 1; }
done
rsvg-convert --width 16 --height 16 --output kestrin-16.png kestrin-16.svg
# At 32 x 32 smoothed diagonals turn the thin outlines grey; hard edges keep them black.
sed 's/<svg /<svg shape-rendering="crispEdges" /' kestrin.svg |
    rsvg-convert --width 32 --height 32 --output kestrin-32.png
for size in 48 64 128 256; do
    rsvg-convert --width "$size" --height "$size" --output "kestrin-$size.png" kestrin.svg
done
# Every size in one icon, as Windows picks them for each place and scale: 32-bit
# bitmaps, the 256 x 256 one as PNG.
convert kestrin-16.png kestrin-32.png kestrin-48.png kestrin-64.png kestrin-128.png \
    kestrin-256.png kestrin.ico
