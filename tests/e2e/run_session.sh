#!/bin/sh
# Runs an end-to-end session script against the real Metrova.exe under Wine
# on a virtual X server, in Wine's virtual desktop, driven as a user would
# (xdotool keys; wintool.exe as a second Windows program).
#   run_session.sh BUILD_DIR WORKDIR SESSION
# The work folder gets fresh copies of Metrova.exe, wintool.exe and the
# stand-in winmm.dll (used only when a session asks for it with
# WINEDLLOVERRIDES); the session finds the helpers of session_lib.sh.
# E2E_WINE and E2E_WINESERVER name the Wine commands (default: the host's
# 64-bit Wine; the 32-bit build's enter the chroot of its 32-bit Wine);
# E2E_EMULATED=1 says the program runs emulated (the 32-bit build, under
# qemu), where a session allows more for the times it checks.
# Each session has a Wine prefix of its own (BUILD_DIR/e2e-prefix-NAME for
# NAME_session.sh, or E2E_PREFIX, a folder name in BUILD_DIR, with the
# settings E2E_PREFIX_REG) and an X server of its own, so sessions can run
# side by side; E2E_LANG is the locale (default ja_JP.UTF-8, code page 932).
set -u
export E2E_WINE="${E2E_WINE:-/usr/lib/wine/wine64}" E2E_WINESERVER="${E2E_WINESERVER:-/usr/lib/wine/wineserver}"
build=$(cd "$1" && pwd)
work=$2
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

session=$3
prefix="$build/${E2E_PREFIX:-e2e-prefix-${session%_session.sh}}"
if [ ! -e "$prefix/.ready" ]; then
    WINE=$E2E_WINE WINESERVER=$E2E_WINESERVER \
        sh "$root/cmake/wine/make-prefix.sh" "$prefix" "${E2E_PREFIX_REG:-$root/cmake/wine/desktop-prefix.reg}" || exit 1
fi

rm -rf "$work" && mkdir -p "$work" || exit 1
work=$(cd "$work" && pwd)
cp "$build/app/Metrova.exe" "$build/tests/wintool.exe" "$work/" || exit 1

export WINEPREFIX="$prefix" WINEDEBUG=-all LANG="${E2E_LANG:-ja_JP.UTF-8}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset LC_ALL
export E2E_WORK="$work" E2E_BUILD="$build" E2E_LIB="$here/session_lib.sh"
# The virtual X server: it takes the first free display itself
# (-displayfd), so servers started at the same time never pick the same
# one. It accepts every cookie of its authority file, whatever display the
# entry names; the entry for its own display is added once that is known.
# The X authority file lives in the work folder, where a program in the
# chroot of the 32-bit Wine finds it too.
export XAUTHORITY="$work/.Xauthority"
cookie=$(mcookie)
: >"$XAUTHORITY"
xauth -q -f "$XAUTHORITY" add :65535 . "$cookie"
Xvfb -displayfd 3 -auth "$XAUTHORITY" -nolisten tcp -screen 0 1024x768x24 \
    3>"$work/.display" </dev/null >"$work/xvfb.log" 2>&1 &
xvfb=$!
i=0
while [ ! -s "$work/.display" ] && [ $i -lt 300 ] && kill -0 $xvfb 2>/dev/null; do sleep 0.1; i=$((i + 1)); done
display=$(head -n 1 "$work/.display" 2>/dev/null)
if [ -z "$display" ]; then
    echo "FAIL: the virtual X server did not start:"
    cat "$work/xvfb.log"
    kill $xvfb 2>/dev/null
    exit 1
fi
xauth -q -f "$XAUTHORITY" add ":$display" . "$cookie"
export DISPLAY=":$display"
sh "$here/$session"
status=$?
# A session that failed half-way may leave its programs running.
$E2E_WINESERVER -k 2>/dev/null
kill $xvfb 2>/dev/null
wait $xvfb 2>/dev/null
exit $status
