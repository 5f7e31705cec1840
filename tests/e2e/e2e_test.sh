#!/bin/sh
# End-to-end test of the real Metrova.exe under Wine on a virtual X server,
# driven as a user would: keys through xdotool into Wine's virtual desktop,
# the clipboard read back by a second Windows program (wintool.exe).
#   e2e_test.sh BUILD_DIR WORKDIR
# Leaves a screenshot of the main window at BUILD_DIR/metrova-main-window.png.
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

# A format-0 file, division 480, default tempo, End of Track at tick 1920:
# quarter-note beats at 500, 1000, 1500 and 2000 ms.
printf 'MThd\000\000\000\006\000\000\000\001\001\340MTrk\000\000\000\005\217\000\377\057\000' >"$work/four-beats.mid"
# Its take 0, 500, 1000, 1500 exported with no interpolation: three tempo
# events of 500000 us, 2520 ticks apart, and the End of Track.
printf 'MThd\000\000\000\006\000\000\000\001\011\330MTrk\000\000\000\033' >"$work/expected.mid"
printf '\000\377\121\003\007\241\040\223\130\377\121\003\007\241\040\223\130\377\121\003\007\241\040\000\377\057\000' >>"$work/expected.mid"

# The same file read in eighth notes after the base note is changed: eight
# beats 250 ms apart, seven tempo events of 500000 us, 1260 ticks apart.
printf 'MThd\000\000\000\006\000\000\000\001\011\330MTrk\000\000\000\073' >"$work/expected-eighths.mid"
printf '\000\377\121\003\007\241\040' >>"$work/expected-eighths.mid"
for i in 1 2 3 4 5 6; do printf '\211\154\377\121\003\007\241\040' >>"$work/expected-eighths.mid"; done
printf '\000\377\057\000' >>"$work/expected-eighths.mid"

export WINEPREFIX="$prefix" WINEDEBUG=-all LANG=ja_JP.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset LC_ALL
export E2E_WORK="$work" E2E_BUILD="$build"
exec xvfb-run -a -s "-screen 0 1024x768x24" sh "$here/e2e_session.sh"
