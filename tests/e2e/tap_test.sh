#!/bin/sh
# End-to-end test of tapping in the real Metrova.exe under Wine on a virtual X
# server: takes tapped on the keyboard through xdotool, then takes tapped
# with note-ons from the stand-in MIDI input device (the test winmm.dll
# beside the program, fed from a file), each pair copied to the clipboard and
# read back by wintool.exe.
#   tap_test.sh BUILD_DIR WORKDIR
# Leaves a screenshot of the open tap dialog at BUILD_DIR/metrova-tap-dialog.png
# (and of the MIDI one at BUILD_DIR/metrova-tap-dialog-midi.png).
set -u
build=$(cd "$1" && pwd)
work=$2
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

prefix="$build/e2e-prefix"
if [ ! -e "$prefix/.ready" ]; then
    sh "$root/cmake/wine/make-prefix.sh" "$prefix" "$root/cmake/wine/desktop-prefix.reg" || exit 1
fi

rm -rf "$work" && mkdir -p "$work" || exit 1
work=$(cd "$work" && pwd)
cp "$build/app/Metrova.exe" "$build/tests/wintool.exe" "$work/" || exit 1
[ -f "$build/tests/winmm.dll" ] || { echo "FAIL: no stand-in $build/tests/winmm.dll"; exit 1; }

export WINEPREFIX="$prefix" WINEDEBUG=-all LANG=ja_JP.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset LC_ALL
export E2E_WORK="$work" E2E_BUILD="$build"
exec xvfb-run -a -s "-screen 0 1024x768x24" sh "$here/tap_session.sh"
