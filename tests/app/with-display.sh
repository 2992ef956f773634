#!/usr/bin/env bash
# Runs a command on a private virtual X display, with an XEmbed tray host unless --no-tray is
# given. Everything is stopped by process id afterwards, and every wait is bounded.
#   with-display.sh [--no-tray] command [args...]
set -euo pipefail

tray=1
if [[ ${1:-} == --no-tray ]]; then
    tray=0
    shift
fi

root=$(mktemp -d /tmp/beamwick-display.XXXXXX)
chmod 700 "$root"
mkdir -p "$root/run"
chmod 700 "$root/run"
pids=()
cleanup() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$root"
}
trap cleanup EXIT

# A random display number rather than the lowest free one: servers of tests that run side by
# side would otherwise take over a number the moment another test's server lets go of it, while
# that server is still removing its socket.
display=
for _ in $(seq 20); do
    n=$((100 + RANDOM % 800))
    [[ -e /tmp/.X$n-lock ]] && continue
    Xvfb ":$n" -screen 0 800x600x24 -nolisten tcp 2>"$root/xvfb.log" &
    xvfb=$!
    for _ in $(seq 50); do
        [[ -S /tmp/.X11-unix/X$n ]] && kill -0 "$xvfb" 2>/dev/null && break
        kill -0 "$xvfb" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$xvfb" 2>/dev/null && [[ -S /tmp/.X11-unix/X$n ]]; then
        pids+=("$xvfb")
        display=":$n"
        break
    fi
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
done
if [[ -z $display ]]; then
    echo "Xvfb did not start" >&2
    cat "$root/xvfb.log" >&2
    exit 1
fi
export DISPLAY=$display

if ((tray)); then
    trayer --edge top --align right --widthtype request --height 40 --SetDockType true \
        --transparent false >"$root/trayer.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do
        xwininfo -root -tree 2>/dev/null | grep -q '"panel": ("panel" "trayer")' && break
        sleep 0.1
    done
    if ! xwininfo -root -tree 2>/dev/null | grep -q '"panel": ("panel" "trayer")'; then
        echo "trayer did not start on $DISPLAY" >&2
        cat "$root/trayer.log" >&2
        exit 1
    fi
fi

export XDG_RUNTIME_DIR="$root/run"
export QT_QPA_PLATFORM=xcb
"$@"
