#!/usr/bin/env bash
# Renders the program's icon, resources/linux/icons/org.tavoren.Tavoren.svg, to the PNG sizes the
# hicolor theme and the window use, and the toolbar pictures drawn here (resources/icons/*.svg) to
# their 16 and 22 pixel sizes. The PNGs are committed, so building needs no SVG renderer;
# run this after changing the drawing (needs rsvg-convert: apt-get install librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/../resources/linux/icons"
for size in 16 22 24 32 48 64 128 256; do
    mkdir -p "hicolor/${size}x${size}"
    rsvg-convert -w "$size" -h "$size" org.tavoren.Tavoren.svg -o "hicolor/${size}x${size}/org.tavoren.Tavoren.png"
done
cd ../../icons
for drawing in *.svg; do
    for size in 16 22; do
        rsvg-convert -w "$size" -h "$size" "$drawing" -o "${drawing%.svg}-${size}.png"
    done
done
