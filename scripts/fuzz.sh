#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time (seconds, default
# 60) from its committed seed corpus. New inputs go to a scratch copy of the corpus; a crashing
# input is kept in build/fuzz/crashes/ and fails the run.
# Usage: scripts/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
seconds=${1:-60}
build=build/fuzz

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBEAMWICK_SANITIZE=fuzzer -DBEAMWICK_BUILD_FUZZERS=ON -DCMAKE_UNITY_BUILD=ON >/dev/null
fuzzers=$(cd fuzz/corpus && ls)
targets=()
for f in $fuzzers; do targets+=("${f}_fuzzer"); done
cmake --build "$build" -j2 --target "${targets[@]}"

mkdir -p "$build/crashes"
export QT_QPA_PLATFORM=offscreen
# Side by side: each runs for its time whatever the others do, so the stage takes one fuzzer's
# time rather than the sum.
declare -A pids
for f in $fuzzers; do
    # Removed when the script ends, however it ends.
    bw_private_dir scratch "fuzz-$f"
    cp -r "fuzz/corpus/$f/." "$scratch/"
    echo "== ${f}_fuzzer: ${seconds}s"
    "$build/bin/${f}_fuzzer" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$build/crashes/${f}-" "$scratch" 2>"$build/${f}.log" &
    pids[$f]=$!
done
status=0
for f in $fuzzers; do
    echo "== ${f}_fuzzer"
    if ! wait "${pids[$f]}"; then
        status=1
        tail -n 40 "$build/${f}.log"
    fi
    grep -E '^stat::number_of_executed_units|^Done' "$build/${f}.log" || true
done
exit $status
