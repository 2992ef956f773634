#!/usr/bin/env bash
# Runs beamwick in Music mode on real audio for a while and watches its memory: resident size
# sampled every 10 s must stay flat over the second half of the run, and the process must quit
# cleanly (under a sanitizer build, with no report).
# Usage: scripts/soak.sh [minutes] [build dir]   (default 10 minutes, build/address)
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-10}
build=${2:-build/address}

if [[ -z ${BEAMWICK_TEST_SERVICES:-} ]]; then
    exec scripts/with-services.sh "$0" "$@"
fi

prefix=$(mktemp -d /tmp/beamwick-soak.XXXXXX)
trap 'kill $player $app 2>/dev/null || true; rm -rf "$prefix"' EXIT
mkdir -p "$prefix/bin" "$prefix/lib/beamwick" "$prefix/config/beamwick" "$prefix/run"
chmod 700 "$prefix/run"
cp "$build/bin/beamwick" "$prefix/bin/"
cp "$build/tests/modules/fake-recording-service.so" "$prefix/lib/beamwick/beamwick-leds.so"
echo '{"mode": "Music"}' >"$prefix/config/beamwick/settings.json"

# Two kicks a second (120 BPM): a 60 Hz burst at the start of every half second.
sox -n -r 48000 -c 2 -b 16 "$prefix/kick.wav" synth 0.12 sine 60 fade 0 0.12 0.1 pad 0 0.38 repeat 19
(while true; do paplay "$prefix/kick.wav"; done) &
player=$!

# AddressSanitizer keeps freed blocks in a quarantine of up to 256 MB to catch use after free;
# at some 200 audio blocks a second that alone would read as steady growth. A small quarantine
# still catches reuse within seconds and lets a real leak show in the resident size.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:verify_asan_link_order=0:quarantine_size_mb=2"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
BEAMWICK_FAKE_SERVICE_LOG=/dev/null QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$prefix/config" XDG_RUNTIME_DIR="$prefix/run" \
    HOME="$prefix" "$prefix/bin/beamwick" 2>"$prefix/stderr.log" &
app=$!

samples=()
for ((s = 0; s < minutes * 6; s++)); do
    sleep 10
    kill -0 $app 2>/dev/null || { echo "beamwick died"; cat "$prefix/stderr.log"; exit 1; }
    rss=$(awk '/^VmRSS/ {print $2}' /proc/$app/status)
    samples+=("$rss")
    printf '%4ds  RSS %6d kB\n' $(((s + 1) * 10)) "$rss"
done
kill -TERM $app
wait $app && code=0 || code=$?
kill $player 2>/dev/null || true

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
