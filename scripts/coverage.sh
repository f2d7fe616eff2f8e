#!/usr/bin/env bash
# Line coverage of the client's core library (app/ net/ gpg/ models/ containers/ platform/) by the
# test suite: builds with gcov instrumentation into build-coverage (or TESSARY_BUILD_DIR), runs the
# suite (arguments go to ctest, e.g. -E TestRelay to leave out the relay's tests) and prints
# gcovr's summary.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
build=${TESSARY_BUILD_DIR:-build-coverage}
# No compiler cache: the notes files must belong to this very build.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESSARY_WERROR=ON \
    -DCMAKE_CXX_FLAGS=--coverage -DCMAKE_EXE_LINKER_FLAGS=--coverage ${TESSARY_CMAKE_ARGS:-}
cmake --build "$build" -j "$(nproc)"
find "$build" -name '*.gcda' -delete
(cd "$build" && xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j 2 --timeout 900 "$@") || true
gcovr --root . --object-directory "$build" \
    --filter '(app|net|gpg|models|containers|platform)/' --exclude '.*/main\.cpp' \
    --print-summary --txt "$build/coverage.txt" "$build"
