#!/usr/bin/env bash
# Runs a command on a private virtual X display, with an XEmbed tray host unless --no-tray is
# given, and with a D-Bus session bus of its own, so that no tray of the desktop the tests were
# started from takes the icon. Everything is stopped by process id afterwards, and every wait is
# bounded.
#   with-display.sh [--no-tray] command [args...]
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib.sh"

tray=1
while [[ ${1:-} == --* ]]; do
    case $1 in
    --no-tray) tray=0 ;;
    *) echo "with-display.sh: unknown option $1" >&2; exit 2 ;;
    esac
    shift
done

bw_list_offscreen "$@"

bw_private_dir root display
mkdir -p "$root/run"
chmod 700 "$root/run"
bw_start_session_bus "$root/run"

bw_start_xvfb "$root"

if ((tray)); then
    # The window tree is read whole before it is searched: `grep -q` on the pipe could stop
    # early and, under pipefail, turn a found tray into a failure.
    trayer_up() { grep -q '"panel": ("panel" "trayer")' <<<"$(xwininfo -root -tree 2>/dev/null)"; }
    bw_start_and_wait "trayer on $DISPLAY" "$root/trayer.log" 10 trayer_up \
        trayer --edge top --align right --widthtype request --height 40 --SetDockType true \
        --transparent false
fi

export XDG_RUNTIME_DIR="$root/run"
export QT_QPA_PLATFORM=xcb
"$@"
