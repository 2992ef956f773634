#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest against private services.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
build=${BEAMWICK_BUILD_DIR:-build/test}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBEAMWICK_BUILD_BENCHMARKS=ON >/dev/null
cmake --build "$build" -j2
scripts/with-services.sh ctest --test-dir "$build" --output-on-failure -j2 --timeout 300
# A short run of the benchmark suite, so the harness cannot rot; its figures are not judged here.
bench/run.sh --short --no-deps --build-dir "$build"
