#!/usr/bin/env bash
# The relay's load phases (bench/RelayLoad.cpp), kept out of the unit tests because they take both
# cores for minutes: 50 clients against two relays on one PostgreSQL database for RELAY_LOAD_SECONDS
# (default 60), and a user served while 500 hostile connections hold on (twice 15 s). Prints the
# figures; fails when a request fails, a container is lost or delivered twice, or a stall is not cut.
#
# Usage: bench/relay_load.sh [BUILD_DIR]   (a configured build of this project, default build-test)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-test}
cmake --build "$build" --target relay-load
"$build/tests/server/relay-load"
