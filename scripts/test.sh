#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest (each test starts the
# private daemons it uses) under AddressSanitizer + UndefinedBehaviorSanitizer; then the tests
# where Beamwick runs a thread of its own under ThreadSanitizer, then the fuzzers side by side
# for a bounded time, a short run of the benchmark suite on a Release build, and the Debian
# package built from it, installed and started (as root). BEAMWICK_TEST_QUICK=1 stops after the
# first suite.
set -euo pipefail
cd "$(dirname "$0")/.."

stage() { printf '\n==== %s (%s)\n' "$1" "$(date +%T)"; }

stage "dependencies"
scripts/install-deps.sh

stage "build under AddressSanitizer + UndefinedBehaviorSanitizer"
scripts/sanitize.sh address build
if [[ ${BEAMWICK_TEST_QUICK:-0} == 1 ]]; then
    stage "test under AddressSanitizer + UndefinedBehaviorSanitizer"
    scripts/sanitize.sh address test
    exit 0
fi

# Alone: a test that races a player's kicks against a capture built on waking misses kicks
# under AddressSanitizer when builds run beside it.
stage "test under AddressSanitizer + UndefinedBehaviorSanitizer"
scripts/sanitize.sh address test

stage "build: Release, with the benchmarks"
release=${BEAMWICK_BUILD_DIR:-build/release-bench}
cmake -S . -B "$release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBEAMWICK_BUILD_TESTS=OFF \
    -DBEAMWICK_BUILD_BENCHMARKS=ON -DCMAKE_UNITY_BUILD=ON -DCMAKE_UNITY_BUILD_BATCH_SIZE=6 >/dev/null
cmake --build "$release" -j2

stage "build under ThreadSanitizer"
scripts/sanitize.sh thread build

stage "test under ThreadSanitizer"
scripts/sanitize.sh thread test

stage "fuzzing"
scripts/fuzz.sh "${BEAMWICK_FUZZ_SECONDS:-30}"

stage "benchmarks (short)"
# A short run so the harness cannot rot; its figures are not judged here.
bench/run.sh --short --no-deps --build-dir "$release"

if [[ $(id -u) -eq 0 ]]; then
    stage "Debian package"
    scripts/package-test.sh "$release"
fi

stage "done"
