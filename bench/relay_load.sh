#!/usr/bin/env bash
# The relay's load phases, kept out of the unit tests because they take both cores for minutes:
# the unit tests that hold their short forms, run at full size. 50 clients against two relays on
# one PostgreSQL database for RELAY_LOAD_SECONDS (default 60), and a user served for 15 s while 500
# hostile connections hold on, from 25 addresses and from one. Prints the figures; fails when a
# request fails, a container is lost or delivered twice, or a stalled connection is not cut off.
#
# Usage: bench/relay_load.sh [BUILD_DIR]   (a configured build of this project, default build-test)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-test}
cmake --build "$build" --target TestRelayCluster TestRelayConnections
TESSARY_RELAY_LOAD_SECONDS=${RELAY_LOAD_SECONDS:-60} "$build/tests/server/TestRelayCluster" clientsSpreadOverTwoServers
TESSARY_RELAY_LOAD_SECONDS=15 "$build/tests/server/TestRelayConnections" usersAreServedUnderAttack
