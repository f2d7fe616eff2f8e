#!/usr/bin/env bash
# Installs what is needed, builds with warnings as errors and runs the whole test suite.
# QML needs OpenGL, which the offscreen platform lacks here, so everything runs under a virtual X server.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
build=${TESSARY_BUILD_DIR:-build-test}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSARY_WERROR=ON ${TESSARY_CMAKE_ARGS:-}
cmake --build "$build" -j "$(nproc)"
cd "$build"
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j 2 --timeout 900 "$@"
