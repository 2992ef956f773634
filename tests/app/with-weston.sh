#!/usr/bin/env bash
# Runs a command as a client of a private headless Wayland compositor (weston, drawing with
# pixman so that its screenshooter has pixels to read; --debug enables the screenshooter).
# Everything is stopped by process id afterwards, and every wait is bounded.
#   with-weston.sh command [args...]
set -euo pipefail

root=$(mktemp -d /tmp/beamwick-weston.XXXXXX)
chmod 700 "$root"
weston_pid=
cleanup() {
    [[ -n $weston_pid ]] && kill "$weston_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$root"
}
trap cleanup EXIT

export XDG_RUNTIME_DIR="$root"
weston --backend=headless-backend.so --use-pixman --debug --idle-time=0 --socket=wl-beamwick \
    --width=800 --height=600 >"$root/weston.log" 2>&1 &
weston_pid=$!
for _ in $(seq 100); do
    [[ -S $root/wl-beamwick ]] && break
    sleep 0.1
done
if [[ ! -S $root/wl-beamwick ]]; then
    echo "weston did not start" >&2
    cat "$root/weston.log" >&2
    exit 1
fi

export WAYLAND_DISPLAY=wl-beamwick QT_QPA_PLATFORM=wayland
unset DISPLAY
code=0
"$@" || code=$?
if ((code != 0)); then
    echo "---- weston's log" >&2
    cat "$root/weston.log" >&2
fi
exit "$code"
