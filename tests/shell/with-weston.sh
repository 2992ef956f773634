#!/usr/bin/env bash
# Runs a command as a client of a private headless Wayland compositor (weston, drawing with
# pixman so that its screenshooter has pixels to read; --debug enables the screenshooter), with
# a D-Bus session bus of its own: a tray on the desktop the tests were started from would
# otherwise take the icon. Everything is stopped by process id afterwards, and every wait is
# bounded.
#   with-weston.sh command [args...]
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib.sh"

bw_list_offscreen "$@"

bw_private_dir root weston
export XDG_RUNTIME_DIR="$root"
bw_start_session_bus "$root"
bw_start_and_wait weston "$root/weston.log" 10 '[[ -S $root/wl-beamwick ]]' \
    weston --backend=headless-backend.so --use-pixman --debug --idle-time=0 \
    --socket=wl-beamwick --width=800 --height=600

export WAYLAND_DISPLAY=wl-beamwick QT_QPA_PLATFORM=wayland
unset DISPLAY
code=0
"$@" || code=$?
if ((code != 0)); then
    echo "---- weston's log" >&2
    cat "$root/weston.log" >&2
fi
exit "$code"
