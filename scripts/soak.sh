#!/usr/bin/env bash
# Runs beamwick in Music mode on real audio for a while and watches its memory: resident size
# sampled every 10 s must stay flat over the second half of the run, and the process must quit
# cleanly (under a sanitizer build, with no report).
# Usage: scripts/soak.sh [minutes] [build dir]   (default 10 minutes, build/address)
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-10}
build=${2:-build/address}

source scripts/lib.sh
bw_private_dir prefix soak
mkdir -p "$prefix/bin" "$prefix/lib/beamwick" "$prefix/config/beamwick" "$prefix/run"
chmod 700 "$prefix/run"
# Its own session bus and sound server: the player plays into that server and Beamwick listens
# to it, away from whatever the desktop runs.
bw_start_session_bus "$prefix/run"
bw_private_dir sound soak-sound
bw_start_pulseaudio "$sound"
cp "$build/bin/beamwick" "$prefix/bin/"
cp "$build/tests/modules/fake-recording-service.so" "$prefix/lib/beamwick/beamwick-leds.so"
echo '{"mode": "Music"}' >"$prefix/config/beamwick/settings.json"

# Two kicks a second (120 BPM): a 60 Hz burst at the start of every half second.
sox -n -r 48000 -c 2 -b 16 "$prefix/kick.wav" synth 0.12 sine 60 fade 0 0.12 0.1 pad 0 0.38 repeat 19
# The loop takes its current paplay with it when it is stopped.
bw_start "$prefix/player.log" bash -c \
    'trap "kill \$! 2>/dev/null; exit 0" TERM; while true; do paplay "$1" & wait $!; done' \
    player "$prefix/kick.wav"

# AddressSanitizer keeps freed blocks in a quarantine of up to 256 MB to catch use after free;
# at some 200 audio blocks a second that alone would read as steady growth. A small quarantine
# still catches reuse within seconds and lets a real leak show in the resident size.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:verify_asan_link_order=0:quarantine_size_mb=2"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
bw_start_and_wait beamwick "$prefix/stderr.log" 20 '[[ -S $prefix/run/beamwick.socket ]]' \
    env BEAMWICK_FAKE_SERVICE_LOG=/dev/null QT_QPA_PLATFORM=offscreen \
    XDG_CONFIG_HOME="$prefix/config" XDG_RUNTIME_DIR="$prefix/run" HOME="$prefix" \
    "$prefix/bin/beamwick"
app=$BW_PID

samples=()
for ((s = 0; s < minutes * 6; s++)); do
    sleep 10
    bw_alive $app || { echo "beamwick died"; cat "$prefix/stderr.log"; exit 1; }
    rss=$(awk '/^VmRSS/ {print $2}' /proc/$app/status)
    samples+=("$rss")
    printf '%4ds  RSS %6d kB\n' $(((s + 1) * 10)) "$rss"
done
kill -TERM $app
bw_wait_until "beamwick's quitting" $app "$prefix/stderr.log" 30 '! bw_alive $app'
wait $app && code=0 || code=$?
bw_forget $app

warm=${samples[$((${#samples[@]} / 2))]}
last=${samples[-1]}
echo "RSS at the start: ${samples[0]} kB, half way: ${warm} kB, at the end: ${last} kB, exit code ${code}"
if grep -qE 'ERROR: (Address|Leak)Sanitizer|runtime error' "$prefix/stderr.log"; then
    cat "$prefix/stderr.log"
    exit 1
fi
# Allocator noise is a few hundred kB; a leak per audio block would be megabytes by now.
((last - warm < 2048)) || { echo "resident memory grew by $((last - warm)) kB"; exit 1; }
((code == 0))
