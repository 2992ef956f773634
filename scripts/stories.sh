#!/usr/bin/env bash
# Tells COUNT random stories from SEED (a random seed when none is given) in every story test:
# each test binary of the build whose name ends in _stories_test, its cases with "Stories" in
# their names. The light stories are told again on LEDs on disk, with the LED module loaded from
# its file (BEAMWICK_STORIES_ON_FILES): costing about twenty times those in memory, a twentieth of
# COUNT. Prints the seed first, so a run can be told again; a failing story is printed cut down to
# its shortest form, with what to set in RC_PARAMS to replay it.
# BEAMWICK_BUILD_DIR chooses the build (default build/test).
set -euo pipefail
cd "$(dirname "$0")/.."

count=${1:?usage: scripts/stories.sh COUNT [SEED]}
seed=${2:-$(od -An -N4 -tu4 /dev/urandom | tr -d ' ')}
build=${BEAMWICK_BUILD_DIR:-build/test}

[[ -f $build/build.ninja ]] || cmake -S . -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=$(cmake --build "$build" --target help | sed -n 's/^\([A-Za-z0-9_]*_stories_test\):.*/\1/p')
[[ -n $targets ]] || { echo "no story tests in $build" >&2; exit 1; }
# shellcheck disable=SC2086 # one target per word
cmake --build "$build" -j2 --target $targets

echo "seed=$seed count=$count"
status=0
tell() { # TARGET COUNT [VARIABLE=VALUE]
    echo "== $1: $2 ${3:-}"
    # The tests keep off the desktop's session bus, as under CTest.
    env ${3:-} RC_PARAMS="max_success=$2 seed=$seed" QT_QPA_PLATFORM=offscreen \
        DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/beamwick-test-bus \
        "$build/bin/$1" --gtest_filter='*Stories*' || status=1
}
for target in $targets; do
    tell "$target" "$count"
    [[ $target == light_stories_test ]] &&
        tell "$target" $(((count + 19) / 20)) BEAMWICK_STORIES_ON_FILES=1
done
echo "seed=$seed count=$count: $([[ $status == 0 ]] && echo "no story failed" || echo FAILED)"
exit $status
