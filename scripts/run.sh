#!/usr/bin/env bash
# Installs what is missing, builds a release and starts Beamwick.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DBEAMWICK_BUILD_TESTS=OFF >/dev/null
cmake --build build/release -j2
# What Beamwick will drive, or why it cannot; it starts either way, to show its panel.
echo "---- beamwick --status"
build/release/bin/beamwick --status || true
echo "----"
if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} && -z ${QT_QPA_PLATFORM:-} ]]; then
    # No desktop to show a tray or a panel in: Beamwick still drives the light, without a
    # visible window. README shows how to give it a virtual display instead.
    echo "run.sh: no display; starting Beamwick without a visible panel (Ctrl-C quits)" >&2
    export QT_QPA_PLATFORM=offscreen
fi
exec build/release/bin/beamwick "$@"
