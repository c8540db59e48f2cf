#!/usr/bin/env bash
# Renders the window's and the desktop's icons from ui/icons/kestrin.svg (and
# kestrin-16.svg, the same sign drawn pixel by pixel for 16 x 16). The PNGs are
# committed; run this after changing a drawing.
set -euo pipefail
cd "$(dirname "$0")/../ui/icons"
command -v rsvg-convert >/dev/null || { echo "rsvg-convert is missing: run scripts/setup.sh" >&2; exit 1; }
rsvg-convert --width 16 --height 16 --output kestrin-16.png kestrin-16.svg
# At 32 x 32 smoothed diagonals turn the thin outlines grey; hard edges keep them black.
sed 's/<svg /<svg shape-rendering="crispEdges" /' kestrin.svg |
    rsvg-convert --width 32 --height 32 --output kestrin-32.png
for size in 48 64 128 256; do
    rsvg-convert --width "$size" --height "$size" --output "kestrin-$size.png" kestrin.svg
done
