#!/bin/sh
# Runs the DPI and face cases of app_tests.exe in a test prefix of its own at
# the given DPI (LogPixels set before Wine first starts in it):
#   run_at_dpi.sh BUILD_DIR DPI
# The prefix is made once, like the build's own one (null display driver,
# font substitutes, no crash debugger), in BUILD_DIR/wineprefix-dpiN.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
dpi=$2
prefix="$build/wineprefix-dpi$dpi"
if [ ! -e "$prefix/.ready" ]; then
    reg="$build/wineprefix-dpi$dpi.reg"
    { cat "$root/cmake/wine/prefix.reg"
      printf '\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n"LogPixels"=dword:%08x\n' "$dpi"
      printf '\n[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts]\n"LogPixels"=dword:%08x\n' "$dpi"
    } >"$reg"
    sh "$root/cmake/wine/make-prefix.sh" "$prefix" "$reg" || exit 1
fi
export WINEPREFIX="$prefix" WINEDEBUG=-all LANG=ja_JP.UTF-8 METROVA_TEST_DPI="$dpi"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winmm=n,b"
unset LC_ALL DISPLAY
/usr/lib/wine/wine64 "$build/tests/app_tests.exe" --gtest_filter='DpiTest.*:EnglishFace.*:TakeListColumns.*' </dev/null 2>&1
status=$?
# The prefix's server and services hold the output open: end them.
/usr/lib/wine/wineserver -k 2>/dev/null
exit $status
