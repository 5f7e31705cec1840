#!/bin/sh
# test.sh BUILD_DIR: what `make test` runs (MAKE is the make to call; the
# variables given to make reach the steps through MAKEFLAGS).
#
# The steps run in the order of the README. What only the Windows steps need
# is prepared meanwhile in the background: the Windows packages (MinGW-w64,
# Wine, Xvfb, fonts) and then the chroot of the 32-bit Wine
# (scripts/w32-setup.sh: mostly downloads and unpacking, about 3 minutes),
# while the native, sanitizer and fuzz steps keep the cores busy. A step
# waits for the part it needs; the set-up's messages are shown if it fails.
set -u
make=${MAKE:-make}
build=$1
mkdir -p "$build"
prepare="$build/prepare"
rm -rf "$prepare"
mkdir -p "$prepare"

sh scripts/setup.sh native || exit 1
(
    sh scripts/setup.sh windows >"$prepare/windows.log" 2>&1
    echo $? >"$prepare/windows.rc"
    # The 32-bit step sets it up itself when this fails.
    W32ROOT=${W32ROOT:-/var/tmp/metrova-w32} bash scripts/w32-setup.sh "$build" >"$prepare/w32.log" 2>&1
    echo $? >"$prepare/w32.rc"
) </dev/null &
background=$!

# await NAME: waits for a part of the set-up; fails showing its messages.
await() {
    while [ ! -e "$prepare/$1.rc" ]; do
        kill -0 $background 2>/dev/null || break
        sleep 1
    done
    if [ "$(cat "$prepare/$1.rc" 2>/dev/null)" != 0 ]; then
        cat "$prepare/$1.log" 2>/dev/null
        echo "Preparing the Windows steps failed (see $prepare/$1.log)."
        return 1
    fi
}
# A failed step stops the run, after the set-up (which holds locks and
# mounts) has finished.
fail() {
    wait $background 2>/dev/null
    exit 1
}

# step NAME...: runs the make targets and says how long they took, so that a
# run's log shows where its time goes.
started=$(date +%s)
step() {
    from=$(date +%s)
    $make --no-print-directory "$@" || return 1
    echo "== $* took $(($(date +%s) - from)) s (run so far $(($(date +%s) - started)) s)"
}

step test-native || fail
step test-asan || fail
step test-tsan || fail
step build-fuzz || fail
# The fuzz targets' time limits are wall-clock (a slow input is a finding):
# they run once the set-up no longer competes for the cores. The chroot's
# own messages, when its set-up failed, come from the 32-bit step, which
# tries once more.
await windows || fail
wait $background 2>/dev/null
step test-fuzz || exit 1
step test-win64 || exit 1
step test-win32 || exit 1
