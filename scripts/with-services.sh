#!/usr/bin/env bash
# Runs a command away from the desktop session it was started from: with a runtime folder
# (XDG_RUNTIME_DIR) and a D-Bus session bus of its own, so that nothing it starts by hand (a
# test binary, Beamwick) meets the desktop's own services or leaves files among them. The tests
# need none of this: each starts the daemons it uses (sound servers, buses, a display) itself.
# Everything lives in a temporary directory and is stopped by process id afterwards.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

bw_private_dir root services
mkdir -p "$root/run"
chmod 700 "$root/run"
export XDG_RUNTIME_DIR="$root/run"
bw_start_session_bus "$root/run"

"$@"
