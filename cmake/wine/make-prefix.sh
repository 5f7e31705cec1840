#!/bin/sh
# make-prefix.sh PREFIX REGFILE: makes a fresh Wine prefix for tests and
# imports REGFILE (UTF-8) into it. Runs without a display. WINE and
# WINESERVER name the commands to use (default: the host's 64-bit Wine);
# PREFIX_LANG the locale it is made in (default ja_JP.UTF-8), which picks
# the system fonts of its windows' captions and menus.
set -e
WINE=${WINE:-/usr/lib/wine/wine64}
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver}
prefix=$1
regfile=$2

rm -rf "$prefix"
mkdir -p "$prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all LANG="${PREFIX_LANG:-ja_JP.UTF-8}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset LC_ALL DISPLAY

$WINE wineboot -i </dev/null >/dev/null 2>&1
# regedit reads a .reg file as UTF-16 only with a byte-order mark; as 8-bit
# text it would take the Japanese font names for code page 932.
(printf '\377\376'; iconv -f UTF-8 -t UTF-16LE "$regfile") >"$prefix/drive_c/metrova-test.reg"
$WINE regedit /S 'C:\metrova-test.reg' </dev/null >/dev/null 2>&1
# Wine does not pick up its own Marlett from fonts-wine: without it the
# caption buttons show letters instead of their symbols.
if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
    cp /usr/share/wine/fonts/marlett.ttf "$prefix/drive_c/windows/Fonts/"
fi
$WINESERVER -w
touch "$prefix/.ready"
