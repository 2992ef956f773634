#!/usr/bin/env bash
# Runs a command with private test services: a PulseAudio daemon whose default sink is a null
# sink, and a D-Bus session bus. Everything lives in a temporary directory and is stopped by
# process id afterwards, so nothing touches the user's own desktop services.
set -euo pipefail

root=$(mktemp -d /tmp/beamwick-services.XXXXXX)
chmod 700 "$root"
mkdir -p "$root/run" "$root/home"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$root"
}
trap cleanup EXIT

export XDG_RUNTIME_DIR="$root/run"
export PULSE_RUNTIME_PATH="$root/run/pulse"
mkdir -p "$PULSE_RUNTIME_PATH"

dbus-daemon --session --nofork --nopidfile --address="unix:path=$root/run/bus" &
pids+=($!)
export DBUS_SESSION_BUS_ADDRESS="unix:path=$root/run/bus"

HOME="$root/home" pulseaudio --daemonize=no --exit-idle-time=-1 --disallow-exit=yes -n \
    --use-pid-file=no --log-target=file:"$root/pulse.log" \
    --load="module-null-sink sink_name=test_sink norewinds=1 rate=48000 channels=2" \
    --load="module-native-protocol-unix socket=$root/native auth-anonymous=1" &
pids+=($!)
export PULSE_SERVER="unix:$root/native"
export BEAMWICK_TEST_SERVICES="$root"

for _ in $(seq 100); do
    pactl info >/dev/null 2>&1 && break
    sleep 0.1
done
pactl set-default-sink test_sink >/dev/null 2>&1 || true

"$@"
