#!/bin/sh
# Runs an end-to-end session script against the real Metrova.exe under Wine
# on a virtual X server, in Wine's virtual desktop, driven as a user would
# (xdotool keys; wintool.exe as a second Windows program).
#   run_session.sh BUILD_DIR WORKDIR SESSION
# The work folder gets fresh copies of Metrova.exe, wintool.exe and the
# stand-in winmm.dll (used only when a session asks for it with
# WINEDLLOVERRIDES); the session finds the helpers of session_lib.sh.
# E2E_WINE and E2E_WINESERVER name the Wine commands (default: the host's
# 64-bit Wine; the 32-bit build's enter the chroot of its 32-bit Wine).
# E2E_PREFIX (a folder name in BUILD_DIR, default e2e-prefix) and
# E2E_PREFIX_REG (its settings) give a session a prefix of its own, E2E_LANG
# the locale (default ja_JP.UTF-8, code page 932).
set -u
export E2E_WINE="${E2E_WINE:-/usr/lib/wine/wine64}" E2E_WINESERVER="${E2E_WINESERVER:-/usr/lib/wine/wineserver}"
build=$(cd "$1" && pwd)
work=$2
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

prefix="$build/${E2E_PREFIX:-e2e-prefix}"
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
# The X authority file lives in the work folder, where a program in the
# chroot of the 32-bit Wine finds it too.
exec xvfb-run -a -f "$work/.Xauthority" -s "-screen 0 1024x768x24" sh "$here/$3"
