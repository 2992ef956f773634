#!/usr/bin/env bash
# Builds the Debian package from a build directory, installs it on this machine with apt,
# starts /usr/bin/beamwick on a private virtual display, quits it with SIGTERM, and removes the
# package again. Needs root (CI runs as root).
# Usage: scripts/package-test.sh [build dir]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
build=$(realpath "${1:-build/test}")

(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls -t "$build"/beamwick_*.deb | head -n 1)
echo "Package: $(basename "$deb"), $(du -k "$deb" | cut -f1) kB"
dpkg-deb -I "$deb" | grep -E '^ (Depends|Recommends):'
# The entries a software centre and the desktop's menus read.
metainfo=/usr/share/metainfo/org.beamwick.Beamwick.metainfo.xml
entry=/usr/share/applications/org.beamwick.Beamwick.desktop
# What starts Beamwick when the launcher or `gapplication` calls it on the session bus.
activation=/usr/share/dbus-1/services/org.beamwick.Beamwick.service
# Listed once into a variable: `grep -q` on the pipe would stop reading at the first match and,
# under pipefail, fail the script through dpkg-deb's broken pipe.
contents=$(dpkg-deb -c "$deb")
for file in "$metainfo" "$entry" "$activation"; do
    grep -q " .$file\$" <<<"$contents" || { echo "the package lacks $file"; exit 1; }
done
# The packaged LED module is the installed build: the service entry point is all it exports.
bw_private_dir unpacked contents
dpkg-deb -x "$deb" "$unpacked"
tests/ledservice/exports-only-entry-point.sh "$unpacked/usr/lib/beamwick/beamwick-leds.so"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null

bw_at_exit eval 'DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq beamwick >/dev/null 2>&1'

bw_private_dir work package
bw_start_xvfb "$work"

bw_start "$work/out.log" env XDG_RUNTIME_DIR="$work" HOME="$work" \
    XDG_CONFIG_HOME="$work/config" /usr/bin/beamwick
app=$BW_PID
# Up means listening for a second start and, with no tray on this display, showing its panel
# as a window once the tray grace has passed.
bw_wait_until beamwick "$app" "$work/out.log" 15 '[[ -S $work/beamwick.socket ]]'
window_shown() { [[ $(xwininfo -root -tree) == *'"Beamwick": ('* ]]; }
bw_wait_until "beamwick's window" "$app" "$work/out.log" 20 window_shown
bw_alive "$app" || { echo "beamwick did not keep running"; cat "$work/out.log"; exit 1; }
kill -TERM "$app"
bw_wait_until "beamwick's quitting" "$app" "$work/out.log" 10 '! bw_alive $app'
code=0
wait "$app" || code=$?
bw_forget "$app"
[[ $code -eq 0 ]] || { echo "beamwick exited with $code"; cat "$work/out.log"; exit 1; }
appstreamcli validate --no-net "$metainfo" >/dev/null
desktop-file-validate "$entry"
grep -qx 'Exec=/usr/bin/beamwick' "$activation" || { echo "$activation starts no /usr/bin/beamwick"; exit 1; }
/usr/bin/beamwick --version
echo "Installed package: entries valid; beamwick started under Xvfb, showed its panel and quit cleanly"
