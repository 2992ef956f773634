#!/usr/bin/env bash
# Measures Beamwick's latency, CPU, wake-ups and memory on real parts and prints one table.
#
#   bench/run.sh            60 s per figure; rewrites docs/performance.md
#   bench/run.sh --short    one second per figure; prints the table only
#
# Options: --build-dir DIR (default build/perf, a Release build; the test script passes its own
# build) and --no-deps (skip the package check). Exits non-zero only when the harness itself
# could not measure something, never because a figure misses its target.
set -euo pipefail
cd "$(dirname "$0")/.."

short=0
deps=1
build=${BEAMWICK_PERF_BUILD_DIR:-build/perf}
command="bench/run.sh${*:+ $*}"
while (($#)); do
    case $1 in
    --short) short=1 ;;
    --no-deps) deps=0 ;;
    --build-dir) build=$2; shift ;;
    *) echo "usage: bench/run.sh [--short] [--build-dir DIR] [--no-deps]" >&2; exit 2 ;;
    esac
    shift
done

((deps)) && scripts/install-deps.sh
if [[ ! -f $build/CMakeCache.txt ]]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBEAMWICK_BUILD_BENCHMARKS=ON >/dev/null
fi
cmake --build "$build" -j2 --target perf_harness

args=(--command "$command")
if ((short)); then
    args+=(--short)
else
    args+=(--output docs/performance.md)
fi
"$build/bin/perf_harness" "${args[@]}"
