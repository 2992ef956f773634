#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest (each test starts the
# private daemons it uses); then a short run of the benchmark suite, the Debian package
# installed and started (as root), the whole suite again under AddressSanitizer+UBSan and under
# ThreadSanitizer, and the fuzzers for a bounded time. BEAMWICK_TEST_QUICK=1 stops after the
# first suite.
set -euo pipefail
cd "$(dirname "$0")/.."

stage() { printf '\n==== %s (%s)\n' "$1" "$(date +%T)"; }

stage "dependencies"
scripts/install-deps.sh

stage "build and test"
build=${BEAMWICK_BUILD_DIR:-build/test}
# Line tables are all a failure's backtrace needs; full debug information would make every
# compile and link of the suite about a third slower.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBEAMWICK_BUILD_BENCHMARKS=ON \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" >/dev/null
cmake --build "$build" -j2
ctest --test-dir "$build" --output-on-failure -j2 --timeout 300
[[ ${BEAMWICK_TEST_QUICK:-0} == 1 ]] && exit 0

stage "benchmarks (short)"
# A short run so the harness cannot rot; its figures are not judged here.
bench/run.sh --short --no-deps --build-dir "$build"

if [[ $(id -u) -eq 0 ]]; then
    stage "Debian package"
    scripts/package-test.sh "$build"
fi

stage "AddressSanitizer + UndefinedBehaviorSanitizer"
scripts/sanitize.sh address

stage "ThreadSanitizer"
scripts/sanitize.sh thread

stage "fuzzing"
scripts/fuzz.sh "${BEAMWICK_FUZZ_SECONDS:-45}"

stage "done"
