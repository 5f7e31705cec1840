#!/bin/sh
# make-prefix.sh PREFIX REGFILE: makes a fresh Wine prefix for tests and
# imports REGFILE (UTF-8) into it. Runs without a display. WINE and
# WINESERVER name the commands to use (default: the host's 64-bit Wine);
# PREFIX_LANG the locale it is made in (default ja_JP.UTF-8), which picks
# the system fonts of its windows' captions and menus.
#
# Booting a new prefix (wineboot -i) is the slow part: about 15 s, minutes
# under the emulated 32-bit Wine. It is done once per folder and locale, into
# a template beside PREFIX (.template-LOCALE); every prefix made there is a
# copy of that freshly booted template with its own settings imported, which
# is the state a prefix booted on its own would have. The copies share the
# template's system32, which Wine only reads (a prefix's DLLs are rewritten
# only when Wine itself is updated), by hard links; everything else, the
# registry above all, is their own.
set -e
WINE=${WINE:-/usr/lib/wine/wine64}
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver}
prefix=$1
regfile=$2
lang=${PREFIX_LANG:-ja_JP.UTF-8}
template="$(dirname "$prefix")/.template-$lang"

export WINEDEBUG=-all LANG="$lang"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset LC_ALL DISPLAY

# Several prefixes may be made at the same time (tests running in
# parallel): the template is booted once, by the first.
(
    flock 9
    if [ ! -e "$template/.booted" ]; then
        rm -rf "$template"
        mkdir -p "$template"
        WINEPREFIX="$template" $WINE wineboot -i </dev/null >/dev/null 2>&1 9>&-
        WINEPREFIX="$template" $WINESERVER -w 9>&-
        touch "$template/.booted"
    fi
) 9>"$template.lock"

rm -rf "$prefix"
mkdir -p "$prefix"
(cd "$template" && tar -cf - --exclude=./drive_c/windows/system32 --exclude=./.booted \
    --exclude=./wineserver .) | (cd "$prefix" && tar -xf -)
cp -al "$template/drive_c/windows/system32" "$prefix/drive_c/windows/"

export WINEPREFIX="$prefix"
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
