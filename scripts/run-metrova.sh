#!/bin/sh
# run-metrova.sh BUILD_DIR: starts the 64-bit Metrova.exe of a Windows build
# under Wine, in a Wine prefix of its own (BUILD_DIR/run-prefix) with the
# Japanese locale, so the program sees code page 932. Without a display it
# runs on a virtual X server (Xvfb), where nobody can see it.
set -eu
build=$(cd "$1" && pwd)
prefix="$build/run-prefix"
root=$(cd "$(dirname "$0")/.." && pwd)

if [ ! -e "$prefix/.ready" ]; then
    echo "Making the Wine prefix $prefix (once, about 15 s)"
    sh "$root/cmake/wine/make-prefix.sh" "$prefix" "$root/cmake/wine/run-prefix.reg"
fi

export WINEPREFIX="$prefix" WINEDEBUG=-all LANG=ja_JP.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset LC_ALL
cd "$build/app"
if [ -n "${DISPLAY:-}" ]; then
    exec /usr/lib/wine/wine64 Metrova.exe
fi
echo "No display (DISPLAY is not set): Metrova runs on a virtual X server where it cannot be seen."
echo "Run 'make run' from a desktop session to use it; 'make test' drives it headless."
exec xvfb-run -a -s "-screen 0 1024x768x24" /usr/lib/wine/wine64 Metrova.exe
