#!/bin/bash
# w32-teardown.sh: removes the chroot of w32-setup.sh safely. Everything
# mounted below it (the host's /dev, /proc, /sys, the X sockets, the folders
# of the builds) is unmounted first, deepest first; while anything is still
# mounted there nothing is deleted, because rm -rf through a bind mount
# deletes the host's files. The binfmt_misc entry goes too when its
# interpreter is the chroot's. Runs as root, or through sudo.
set -uo pipefail
if [ "$(id -u)" -ne 0 ]; then
    exec sudo W32ROOT="${W32ROOT:-}" bash "$0" "$@"
fi
R=$(readlink -f "${W32ROOT:-/var/tmp/metrova-w32}")
[ -d "$R" ] || [ -d "$R.partial" ] || { echo "w32-teardown: nothing at $R"; exit 0; }
case "$R" in
    / | /tmp | /var | /var/tmp | /usr | /home | /root | /work | /work/*)
        echo "w32-teardown: refusing to remove $R" >&2; exit 1 ;;
esac
# Not while a set-up is under way.
exec 9>"$R.lock"
flock 9
# Wine servers of the chroot hold files open below it.
for pid in $(ps -eo pid= 2>/dev/null); do
    case "$(readlink "/proc/$pid/root" 2>/dev/null)" in "$R" | "$R.partial") kill "$pid" 2>/dev/null ;; esac
done
sleep 1
# Mount points below the chroot (and below a half-made one), deepest first.
mounted_below() {
    awk -v a="$R/" -v b="$R.partial/" 'index($2, a) == 1 || index($2, b) == 1 { print $2 }' /proc/mounts | sort -r
}
mounted_below | while IFS= read -r m; do
    umount "$m" 2>/dev/null || umount -l "$m"
done
if [ -n "$(mounted_below)" ]; then
    echo "w32-teardown: still mounted below $R; not removing:" >&2
    mounted_below >&2
    exit 1
fi
if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && grep -q "interpreter $R/" /proc/sys/fs/binfmt_misc/qemu-i386; then
    echo -1 >/proc/sys/fs/binfmt_misc/qemu-i386
fi
rm -rf --one-file-system "$R" "$R.partial"
echo "w32-teardown: removed $R"
