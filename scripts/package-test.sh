#!/usr/bin/env bash
# Builds the Debian package from a build directory, installs it on this machine with apt,
# starts /usr/bin/beamwick on a private virtual display, quits it with SIGTERM, and removes the
# package again. Needs root (CI runs as root).
# Usage: scripts/package-test.sh [build dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/test}")

(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls -t "$build"/beamwick_*.deb | head -n 1)
echo "Package: $(basename "$deb"), $(du -k "$deb" | cut -f1) kB"
dpkg-deb -I "$deb" | grep -E '^ (Depends|Recommends):'
# The entries a software centre and the desktop's menus read.
metainfo=/usr/share/metainfo/org.beamwick.Beamwick.metainfo.xml
entry=/usr/share/applications/org.beamwick.Beamwick.desktop
# Listed once into a variable: `grep -q` on the pipe would stop reading at the first match and,
# under pipefail, fail the script through dpkg-deb's broken pipe.
contents=$(dpkg-deb -c "$deb")
for file in "$metainfo" "$entry"; do
    grep -q " .$file\$" <<<"$contents" || { echo "the package lacks $file"; exit 1; }
done
# The packaged LED module is the installed build: the service entry point is all it exports.
unpacked=$(mktemp -d)
dpkg-deb -x "$deb" "$unpacked"
tests/ledservice/exports-only-entry-point.sh "$unpacked/usr/lib/beamwick/beamwick-leds.so"
rm -rf "$unpacked"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null

work=$(mktemp -d /tmp/beamwick-package.XXXXXX)
chmod 700 "$work"
display=:$((90 + RANDOM % 50))
Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
cleanup() {
    kill "$xvfb" 2>/dev/null || true
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq beamwick >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X${display#:} ]] && break; sleep 0.1; done

DISPLAY=$display XDG_RUNTIME_DIR=$work HOME=$work XDG_CONFIG_HOME=$work/config \
    /usr/bin/beamwick >"$work/out.log" 2>&1 &
app=$!
sleep 3
kill -0 "$app" || { echo "beamwick did not keep running"; cat "$work/out.log"; exit 1; }
kill -TERM "$app"
code=0
wait "$app" || code=$?
[[ $code -eq 0 ]] || { echo "beamwick exited with $code"; cat "$work/out.log"; exit 1; }
appstreamcli validate --no-net "$metainfo" >/dev/null
desktop-file-validate "$entry"
/usr/bin/beamwick --version
echo "Installed package: entries valid; beamwick started under Xvfb and quit cleanly"
