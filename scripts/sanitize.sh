#!/usr/bin/env bash
# Builds the test suite under a sanitizer and runs it; each test starts the private daemons it
# uses. The second argument does only one half: `build`, or `test` of what was built.
# Usage: scripts/sanitize.sh address|thread [build|test]
set -euo pipefail
cd "$(dirname "$0")/.."
kind=${1:?usage: scripts/sanitize.sh address|thread [build|test]}
part=${2:-all}
build=build/$kind

# A sanitizer's report needs line tables only, not full debug information, and -O1 is what the
# sanitizers are made for: a third less compiling than -O2, for tests that run nearly as fast.
# A unity build compiles each folder's sources a few at a time, their headers parsed once: a
# quarter less compiling. The benchmarks' own tests run here too.
[[ $part == test ]] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBEAMWICK_SANITIZE="$kind" -DBEAMWICK_BUILD_BENCHMARKS=ON \
    -DCMAKE_UNITY_BUILD=ON -DCMAKE_UNITY_BUILD_BATCH_SIZE=6 \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" >/dev/null
# AddressSanitizer and UBSan look at every test. ThreadSanitizer looks only where Beamwick runs
# a second thread of its own: the audio capture and what it hands to the main thread
# (tests/audio), and the real executable in every mode, Music included (tests/system). Elsewhere
# it would only build and run the suite a third time.
selection=()
targets=()
if [[ $kind == thread ]]; then
    selection=(--label-regex '^(audio|system)$')
    targets=(--target tests/audio/all tests/system/all)
fi
if [[ $part != test ]]; then
    cmake --build "$build" -j2 "${targets[@]}"
fi
[[ $part == build ]] && exit 0

# Qt and libpulse are not instrumented; ignore_noninstrumented_modules keeps their internal
# synchronisation from being reported while races in our own code still are.
# Qt is built without frame pointers: the fast unwinder stops at its first frame, so a leak
# inside Qt's bus code (suppressed by library in lsan.supp) can show only libQt6Core and slip
# through. The full unwinder sees the whole stack. A suppression sees only the frames recorded
# with the allocation (malloc_context_size, 30 by default and kept so here): a leak of an
# unloaded Mesa driver is matched by Mesa's EGL library some 12 frames below the allocation.
# umockdev's preload comes before the sanitizer's runtime, which it would otherwise refuse; the
# tests under it keep these options whole rather than set their own.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:verify_asan_link_order=0:fast_unwind_on_malloc=0:malloc_context_size=30"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="ignore_noninstrumented_modules=1:halt_on_error=1:second_deadlock_stack=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
# Many of AddressSanitizer's cases wait on daemons and real time more than they compute: a third
# one at a time on two cores takes half a minute off the stage, and the suite is meant to stay
# green beside two CPU hogs anyway. ThreadSanitizer's cases compute more: two at a time.
jobs=2
[[ $kind == address ]] && jobs=3
ctest --test-dir "$build" --output-on-failure -j"$jobs" --timeout 300 "${selection[@]}"
