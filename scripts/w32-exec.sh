#!/bin/bash
# w32-exec.sh PROGRAM [ARGS...]: runs PROGRAM, a path inside the chroot of
# w32-setup.sh (/usr/lib/wine/wine, /usr/lib/wine/wineserver), in the current
# folder, as the calling user. The folder must be one that w32-setup.sh made
# visible in the chroot (it is then at the same path there), so paths in
# ARGS mean the same inside and out.
#
# The chroot sees only the environment that concerns a Windows program under
# test: Wine's own variables (WINEPREFIX, WINEDEBUG, WINEDLLOVERRIDES), the
# stand-in winmm's (FAKEMIDI_*, FAKEWAVE_*), the tests' own (METROVA_*: where
# their fixtures wrote files), GoogleTest's, the display and the
# locale. WINEARCH is win32: the chroot's Wine is the 32-bit one. Root
# enters the chroot with chroot(8); any other user in a user namespace of
# their own that maps their id to itself (unshare -c), so no launch needs
# sudo and every file the program writes is the user's.
set -u
R=${W32ROOT:-/var/tmp/metrova-w32}
if [ ! -x "$R/usr/lib/wine/wine" ] || [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ] || ! mountpoint -q "$R/proc"; then
    echo "w32-exec: the 32-bit Wine chroot in $R is not ready (run scripts/w32-setup.sh)" >&2
    exit 3
fi
if [ ! -d "$R$PWD" ] || [ "$(stat -c %d:%i "$R$PWD")" != "$(stat -c %d:%i "$PWD")" ]; then
    echo "w32-exec: $PWD is not visible in the chroot (run scripts/w32-setup.sh with a folder above it)" >&2
    exit 3
fi

pass=(PATH=/usr/bin:/bin WINEARCH=win32)
if [ "$(id -u)" -eq 0 ]; then pass+=(HOME=/root USER=root); else pass+=(HOME=/tmp "USER=$(id -un)"); fi
while IFS= read -r name; do
    case "$name" in
        WINEPREFIX | WINEDEBUG | WINEDLLOVERRIDES | WINELOADERNOEXEC | FAKEMIDI_* | FAKEWAVE_* | METROVA_* | GTEST_* | \
            DISPLAY | XAUTHORITY | LANG | LC_* | TZ)
            pass+=("$name=${!name}") ;;
    esac
done < <(compgen -e)

if [ "$(id -u)" -eq 0 ]; then
    exec chroot "$R" /usr/bin/env -i "${pass[@]}" /bin/sh -c 'cd "$0" && exec "$@"' "$PWD" "$@"
fi
exec unshare --map-current-user --root="$R" \
    /usr/bin/env -i "${pass[@]}" /bin/sh -c 'cd "$0" && exec "$@"' "$PWD" "$@"
