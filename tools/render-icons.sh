#!/usr/bin/env bash
# Renders the program's icon, resources/linux/icons/org.tavoren.Tavoren.svg, to the PNG sizes the
# hicolor theme and the window use. The PNGs are committed, so building needs no SVG renderer;
# run this after changing the drawing (needs rsvg-convert: apt-get install librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/../resources/linux/icons"
for size in 16 22 24 32 48 64 128 256; do
    mkdir -p "hicolor/${size}x${size}"
    rsvg-convert -w "$size" -h "$size" org.tavoren.Tavoren.svg -o "hicolor/${size}x${size}/org.tavoren.Tavoren.png"
done
