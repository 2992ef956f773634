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

# -displayfd lets the server pick a free display number and tell us once it is listening.
# -noreset: by default the server resets whenever its last client leaves, and a client that
# connects just then (trayer, while xwininfo below comes and goes) is turned away.
Xvfb -displayfd 3 -noreset -screen 0 800x600x24 -nolisten tcp 3>"$root/display" \
    2>"$root/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do
    [[ -s $root/display ]] && break
    sleep 0.1
done
if [[ ! -s $root/display ]]; then
    echo "Xvfb did not start" >&2
    cat "$root/xvfb.log" >&2
    exit 1
fi
export DISPLAY=":$(head -n1 "$root/display")"

if ((tray)); then
    trayer --edge top --align right --widthtype request --height 40 --SetDockType true \
        --transparent false >"$root/trayer.log" 2>&1 &
    pids+=($!)
    # The window tree is read whole before it is searched: `grep -q` on the pipe could stop
    # early and, under pipefail, turn a found tray into a failure.
    trayer_up() { grep -q '"panel": ("panel" "trayer")' <<<"$(xwininfo -root -tree 2>/dev/null)"; }
    for _ in $(seq 100); do
        trayer_up && break
        sleep 0.1
    done
    if ! trayer_up; then
        echo "trayer did not start on $DISPLAY" >&2
        cat "$root/trayer.log" >&2
        exit 1
    fi
fi

export XDG_RUNTIME_DIR="$root/run"
export QT_QPA_PLATFORM=xcb
"$@"
