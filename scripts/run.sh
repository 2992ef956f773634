#!/usr/bin/env bash
# Installs what is missing, builds a release and starts Beamwick.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DBEAMWICK_BUILD_TESTS=OFF >/dev/null
cmake --build build/release -j2
exec build/release/bin/beamwick "$@"
