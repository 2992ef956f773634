#!/usr/bin/env bash
# Profiles Beamwick's main thread in Music while kicks play beside a 20 ms player, on a private
# sound server, and prints where its time goes.
#
#   bench/profile-main-thread.sh [--server pulse|pipewire] [--seconds S] [--no-perf]
#                                [--build-dir DIR] [--beamwick EXECUTABLE] [--keep DIR]
#
# --beamwick runs another build of beamwick (an earlier one, to compare) with this build's
# service module and player.
# perf samples the main thread (cpu-clock, every 20 µs of its CPU time) and the samples are summed
# by kind of work (bench/profile-kinds.awk). The thread's CPU time and wake-ups come from /proc;
# sampling inflates them, so take those figures from a run with --no-perf, beside a run of the
# other build in the same conditions: on a shared machine they move with the load.
set -euo pipefail
cd "$(dirname "$0")/.."

server=pulse
seconds=20
sampled=1
build=build/perf
keep=
executable=
while (($#)); do
    case $1 in
    --server) server=$2; shift ;;
    --seconds) seconds=$2; shift ;;
    --no-perf) sampled=0 ;;
    --build-dir) build=$2; shift ;;
    --beamwick) executable=$(realpath "$2"); shift ;;
    --keep) keep=$2; shift ;;
    *) echo "usage: bench/profile-main-thread.sh [--server pulse|pipewire] [--seconds S]" \
            "[--no-perf] [--build-dir DIR] [--beamwick EXECUTABLE] [--keep DIR]" >&2; exit 2 ;;
    esac
    shift
done
cmake --build "$build" -j2 --target beamwick fake_recording_service kick_player >/dev/null
build=$(realpath "$build")

work=${keep:-$(mktemp -d)}
mkdir -p "$work"/{sound,home,bin,lib/beamwick,config/beamwick,run,log}
chmod 700 "$work/sound" "$work/run"
cp "${executable:-$build/bin/beamwick}" "$work/bin/beamwick"
cp "$build/tests/modules/fake-recording-service.so" "$work/lib/beamwick/beamwick-leds.so"
echo '{"mode": "Music", "brightness": 1.0}' >"$work/config/beamwick/settings.json"

services=()
cleanup() {
    for pid in "${services[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    [[ -n $keep ]] || rm -rf "$work"
}
trap cleanup EXIT

if [[ $server == pulse ]]; then
    PULSE_RUNTIME_PATH=$work/sound HOME=$work/home XDG_RUNTIME_DIR=$work/sound \
        pulseaudio --daemonize=no --exit-idle-time=-1 --disallow-exit=yes -n --use-pid-file=no \
        --load="module-null-sink sink_name=test_sink norewinds=1 rate=48000 channels=2" \
        --load="module-native-protocol-unix socket=$work/sound/native auth-anonymous=1" \
        2>"$work/server.log" &
    services+=($!)
    export PULSE_SERVER=unix:$work/sound/native
else
    export XDG_RUNTIME_DIR=$work/sound HOME=$work/home
    dbus-daemon --session --nofork --address=unix:path=$work/sound/bus 2>/dev/null &
    services+=($!)
    sleep 0.3
    export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/sound/bus
    for daemon in pipewire wireplumber pipewire-pulse; do
        "$daemon" 2>>"$work/server.log" &
        services+=($!)
    done
    export PULSE_SERVER=unix:$work/sound/pulse/native
fi
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.2; done

env QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" \
    HOME="$work/home" BEAMWICK_FAKE_SERVICE_LOG="$work/log/writes.log" DISPLAY= WAYLAND_DISPLAY= \
    "$work/bin/beamwick" >"$work/beamwick.log" 2>&1 &
beamwick=$!
services+=($beamwick)
"$build/bin/kick_player" --seconds $((seconds + 60)) --bpm 120 --lead-in 1 --buffer-ms 20 \
    >"$work/onsets.txt" 2>"$work/player.log" &
services+=($!)
# Past start-up, the tray grace and the player's lead-in.
sleep 7

main=/proc/$beamwick/task/$beamwick
sample() { echo "$(awk '{print $1}' "$main/schedstat") $(awk '/^voluntary/ {print $2}' "$main/status")"; }
read -r cpu0 wake0 < <(sample)
if ((sampled)); then
    perf record -q -e cpu-clock -c 20000 -t "$beamwick" -o "$work/perf.data" -- sleep "$seconds" \
        >/dev/null 2>&1
    read -r cpu1 wake1 < <(sample)
    perf report -i "$work/perf.data" --no-children --sort dso,sym --stdio -g none 2>/dev/null |
        awk -f bench/profile-kinds.awk | sort -rn
else
    sleep "$seconds"
    read -r cpu1 wake1 < <(sample)
fi
awk -v c=$((cpu1 - cpu0)) -v w=$((wake1 - wake0)) -v s="$seconds" 'BEGIN {
    printf "main thread: %.2f %% of a core, %.1f wake-ups/s, %.1f µs each\n",
        c / 1e7 / s, w / s, w ? c / 1e3 / w : 0 }'
awk '/VmHWM/ {printf "peak resident memory: %.1f MB\n", $2 / 1024}' "/proc/$beamwick/status"
