#!/bin/sh
# Renders the application icon assets/_appicon.svg to the PNG sizes of the hicolor icon theme, for
# menus and software centres that do not draw SVG. Needs rsvg-convert (librsvg2-bin); the PNGs are
# committed, so building needs no renderer.
set -eu
cd "$(dirname "$0")/../assets"
for size in 16 22 24 32 48 64 128 256 512; do
    mkdir -p "icons/${size}x${size}"
    rsvg-convert --width "$size" --height "$size" --format png --output "icons/${size}x${size}/tessary.png" _appicon.svg
done
