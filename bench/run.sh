#!/usr/bin/env bash
# Builds tessary-cli and tessary-server in release mode, then runs the end-to-end benchmark
# (bench/bench.py): a relay server on 127.0.0.1, two fresh users, the cases of bench/README.md and
# the same work done by tar | gpg and cp. Prints the tables and writes bench/results/*.json.
#
#   bench/run.sh                  # full size (1 GiB, 5000 files, 50 clients for 60 s): ~15 minutes
#   BENCH_QUICK=1 bench/run.sh    # small sizes, about two minutes
#   BENCH_PROFILE=1 bench/run.sh  # also a perf profile of every Tessary step (needs perf)
#
# Sizes: BENCH_BIG_MIB, BENCH_SMALL_COUNT, BENCH_SMALL_KIB, BENCH_CONTAINER_MIB, BENCH_LOAD_CLIENTS,
# BENCH_LOAD_SECONDS, BENCH_LOAD_MB, BENCH_CUT_MIB, BENCH_CUTS. Subset: BENCH_ONLY=big,small,container,text,cut,load,poll.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BENCH_BUILD_DIR:-$repo/build-bench}"

"$repo/scripts/install-deps.sh"
if [ "${BENCH_PROFILE:-0}" != "0" ] && ! command -v perf >/dev/null; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends linux-perf >/dev/null
fi

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" >/dev/null
# Two jobs at most: the benchmark machine has two cores and the build must not starve anything.
ninja -C "$build" -j2 tessary-cli tessary-server poll-load

export BENCH_BUILD_DIR="$build"
exec python3 "$repo/bench/bench.py" "$@"
