#!/bin/sh
# Renders the illustrations in assets/src/ to the 300x300 PNGs the pages show
# at about 150x150 (sharp on 2x screens). Needs rsvg-convert (librsvg2-bin).
set -eu
cd "$(dirname "$0")/../assets"
for svg in src/*.svg; do
    name=$(basename "$svg" .svg)
    rsvg-convert --width 300 --height 300 --format png --output "$name.png" "$svg"
done
