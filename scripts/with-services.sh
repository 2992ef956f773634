#!/usr/bin/env bash
# Runs a command with private test services: a PulseAudio daemon whose default sink is a null
# sink, and a D-Bus session bus. Everything lives in a temporary directory and is stopped by
# process id afterwards, so nothing touches the user's own desktop services.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

bw_private_dir root services
mkdir -p "$root/run/pulse" "$root/home"
chmod 700 "$root/run"
export XDG_RUNTIME_DIR="$root/run"
export PULSE_RUNTIME_PATH="$root/run/pulse"

bw_start_session_bus "$root/run"

export PULSE_SERVER="unix:$root/native"
# The null sink is its only sink, so the default one; the wait is for a server that says so.
names_the_sink() { [[ $(pactl info) == *$'\nDefault Sink: test_sink\n'* ]]; }
bw_start_and_wait pulseaudio "$root/pulse.log" 15 names_the_sink \
    env HOME="$root/home" pulseaudio --daemonize=no --exit-idle-time=-1 --disallow-exit=yes -n \
    --use-pid-file=no --log-target=stderr \
    --load="module-null-sink sink_name=test_sink norewinds=1 rate=48000 channels=2" \
    --load="module-native-protocol-unix socket=$root/native auth-anonymous=1"
export BEAMWICK_TEST_SERVICES="$root"

"$@"
