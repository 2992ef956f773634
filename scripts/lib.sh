# shellcheck shell=bash
# Sourced by the scripts that start daemons of their own (sound server, bus, X server,
# compositor, Beamwick itself). It gives them one way to do it:
#
#   bw_private_dir VAR NAME       makes a folder only we may enter under $TMPDIR (else /tmp),
#                                 puts its path in VAR and removes it on exit
#   bw_start LOG COMMAND...       starts COMMAND in the background, its output in LOG; the
#                                 process id goes into BW_PID and is stopped on exit
#   bw_wait_until NAME PID LOG SECONDS PROBE
#                                 waits until the shell text PROBE succeeds; fails, with the
#                                 end of LOG, when PID ends first or SECONDS pass
#   bw_start_and_wait NAME LOG SECONDS PROBE COMMAND...
#                                 both of the above
#   bw_start_session_bus DIR     a D-Bus session bus of our own, its socket in DIR; exports
#                                 DBUS_SESSION_BUS_ADDRESS once the bus answers
#   bw_start_xvfb DIR             an X server of our own (Xvfb, one 800x600 screen, no TCP) on a
#                                 free display number, its log in DIR; exports DISPLAY once it
#                                 listens
#   bw_list_offscreen ARGS...     when ARGS list a test executable's cases (--gtest_list_tests),
#                                 runs them offscreen at once, starting nothing, and does not
#                                 return: a wrapper's server that fails to start then fails the
#                                 cases that need it, not CTest's registration of every test
#   bw_start_pulseaudio DIR       a PulseAudio daemon of our own whose only (so default) sink is
#                                 the null sink test_sink, its socket, home and log in DIR (a
#                                 folder from bw_private_dir); exports PULSE_SERVER once it
#                                 names that sink as the default
#   bw_stop_pid PID               SIGTERM, then SIGKILL if it lingers; reaps it
#   bw_forget PID                 for a process the script has reaped itself
#   bw_at_exit COMMAND...         one more clean-up step, run once the processes are stopped
#
# The clean-up runs from an EXIT trap that this file sets. It stops the processes last started
# first (SIGTERM, then SIGKILL if one lingers) and removes the folders, and it cannot stop half
# way: errors, unset variables and failed commands inside it are ignored, so a failure that ends
# the script early still leaves nothing behind.

bw_pids=()
bw_dirs=()
bw_exit_steps=()
BW_PID=

bw_private_dir() {
    local made
    made=$(mktemp -d "${TMPDIR:-/tmp}/beamwick-$2.XXXXXX") || return 1
    chmod 700 "$made"
    bw_dirs+=("$made")
    printf -v "$1" '%s' "$made"
}

bw_at_exit() {
    bw_exit_steps+=("$(printf '%q ' "$@")")
}

# Whether the process runs; a child that ended but is not yet reaped does not.
bw_alive() {
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
    stat=${stat##*) }
    [[ ${stat:0:1} != Z ]]
}

# SIGTERM, up to five seconds' grace, then SIGKILL; reaps it when it is our child.
bw_stop_pid() {
    local pid=$1 tick
    if kill -TERM "$pid" 2>/dev/null; then
        for ((tick = 0; tick < 50; tick++)); do
            bw_alive "$pid" || break
            sleep 0.1
        done
        if bw_alive "$pid"; then
            kill -KILL "$pid" 2>/dev/null || true
        fi
    fi
    wait "$pid" 2>/dev/null || true
    bw_forget "$pid"
}

# A reaped process's id may be another's by the time we exit.
bw_forget() {
    local i
    for i in "${!bw_pids[@]}"; do
        [[ ${bw_pids[i]} == "$1" ]] && unset 'bw_pids[i]'
    done
    bw_pids=("${bw_pids[@]}")
    return 0
}

bw_cleanup() {
    local -
    local step
    set +euo pipefail
    while ((${#bw_pids[@]} > 0)); do
        bw_stop_pid "${bw_pids[-1]}"
    done
    for step in "${bw_exit_steps[@]}"; do
        eval "$step"
    done
    for step in "${bw_dirs[@]}"; do
        rm -rf "$step"
    done
    return 0
}
trap bw_cleanup EXIT

bw_start() {
    local log=$1
    shift
    "$@" >>"$log" 2>&1 </dev/null &
    BW_PID=$!
    bw_pids+=("$BW_PID")
}

bw_wait_until() {
    local name=$1 pid=$2 log=$3 seconds=$4 probe=$5
    local deadline=$((${EPOCHREALTIME/./} + seconds * 1000000))
    while ((${EPOCHREALTIME/./} < deadline)); do
        if eval "$probe" >/dev/null 2>&1; then
            return 0
        fi
        if ! bw_alive "$pid"; then
            # It may have answered just before it ended, as one waited on to quit does.
            eval "$probe" >/dev/null 2>&1 && return 0
            printf '%s ended before it answered; the end of its log (%s):\n' "$name" "$log" >&2
            tail -n 20 "$log" >&2
            return 1
        fi
        sleep 0.1
    done
    eval "$probe" >/dev/null 2>&1 && return 0
    printf '%s did not answer within %d s; the end of its log (%s):\n' "$name" "$seconds" \
        "$log" >&2
    tail -n 20 "$log" >&2
    return 1
}

bw_start_and_wait() {
    local name=$1 log=$2 seconds=$3 probe=$4
    shift 4
    bw_start "$log" "$@"
    bw_wait_until "$name" "$BW_PID" "$log" "$seconds" "$probe"
}

bw_start_session_bus() {
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$1/bus"
    bw_start_and_wait dbus-daemon "$1/bus.log" 10 \
        'dbus-send --bus="$DBUS_SESSION_BUS_ADDRESS" --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.GetId' \
        dbus-daemon --session --nofork --nopidfile --address="$DBUS_SESSION_BUS_ADDRESS"
}

bw_start_xvfb() {
    local bw_x_dir=$1
    # -displayfd: the server picks a free display number and writes it once it listens.
    # -noreset: by default the server resets whenever its last client leaves, and a client that
    # connects just then (a tray host, while a probe like xwininfo comes and goes) is turned away.
    exec 3>"$bw_x_dir/display"
    bw_start_and_wait Xvfb "$bw_x_dir/xvfb.log" 10 '[[ -s $bw_x_dir/display ]]' \
        Xvfb -displayfd 3 -noreset -screen 0 800x600x24 -nolisten tcp
    exec 3>&-
    DISPLAY=":$(head -n1 "$bw_x_dir/display")"
    export DISPLAY
}

bw_list_offscreen() {
    [[ " $* " == *" --gtest_list_tests "* ]] || return 0
    QT_QPA_PLATFORM=offscreen exec "$@"
}

bw_names_test_sink() { [[ $(pactl info) == *$'\nDefault Sink: test_sink\n'* ]]; }

bw_start_pulseaudio() {
    mkdir -p "$1/home" "$1/pulse"
    export PULSE_SERVER="unix:$1/native"
    # norewinds: without it, capture from the sink's monitor is delayed at random by up to
    # about 1.7 s.
    bw_start_and_wait pulseaudio "$1/pulse.log" 15 bw_names_test_sink \
        env HOME="$1/home" XDG_RUNTIME_DIR="$1" PULSE_RUNTIME_PATH="$1/pulse" \
        pulseaudio --daemonize=no --exit-idle-time=-1 --disallow-exit=yes -n --use-pid-file=no \
        --log-target=stderr \
        --load="module-null-sink sink_name=test_sink norewinds=1 rate=48000 channels=2" \
        --load="module-native-protocol-unix socket=$1/native auth-anonymous=1"
}
