#!/bin/sh
# Runs faces_session.sh for one face and one DPI:
#   run_faces.sh BUILD_DIR WORKDIR ja|en DPI
# The English face runs with LANG=en_US.UTF-8 (code page 1252) in a prefix
# of its own, the Japanese one with ja_JP.UTF-8. A DPI other than 96 gets a prefix of its
# own whose LogPixels is set before Wine first starts in it.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
face=$3
dpi=$4
if [ "$dpi" != 96 ]; then
    reg="$build/e2e-prefix-dpi$dpi.reg"
    { cat "$root/cmake/wine/desktop-prefix.reg"
      printf '\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n"LogPixels"=dword:%08x\n' "$dpi"
      printf '\n[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts]\n"LogPixels"=dword:%08x\n' "$dpi"
    } >"$reg"
    export E2E_PREFIX="e2e-prefix-dpi$dpi" E2E_PREFIX_REG="$reg"
fi
# An English system's prefix is made in English: one made in Japanese has
# caption and menu fonts without Latin letters in an English session.
if [ "$face" = en ]; then
    export E2E_LANG=en_US.UTF-8 PREFIX_LANG=en_US.UTF-8 E2E_PREFIX=e2e-prefix-en
fi
export E2E_FACE="$face" E2E_DPI="$dpi"
exec sh "$here/run_session.sh" "$build" "$2" faces_session.sh
