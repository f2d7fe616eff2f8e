#!/usr/bin/env bash
# Renders every page and view of the window (450x600, 600x600, Russian, Chinese) into PNG files for a
# person to look at: a relay server and users made with tessary-cli provide real contacts, a
# transfer and history. Usage: scripts/screenshots.sh [OUTPUT_DIR]   (default: build-test/screenshots)
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
build=${TESSARY_BUILD_DIR:-build-test}
out=$(realpath -m "${1:-$build/screenshots}")
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${TESSARY_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j "$(nproc)" --target tessary-screenshots
mkdir -p "$out"
TESSARY_SCREENSHOT_DIR="$out" xvfb-run -a -s "-screen 0 1280x1024x24" "$build/tests/tessary-screenshots"
echo "Screenshots in $out"
