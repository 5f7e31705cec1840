#!/bin/bash
# w32-setup.sh [FOLDER...]: prepares the chroot in which the 32-bit Windows
# build runs, and makes each FOLDER visible inside it at the same path.
#
# Debian's 32-bit Wine (wine32:i386 8.0) runs in a bookworm chroot, with every
# 32-bit process emulated by qemu-i386 10 from trixie's qemu-user package:
# bookworm's own qemu 7.2 ignores MAP_FIXED_NOREPLACE, and Wine then spends
# minutes reserving memory and crashes. The host's Wine and packages are left
# alone; the host gains debootstrap and one binfmt_misc entry for i386 ELF.
#
# Idempotent and quiet when nothing is missing: a second run redoes only what
# is missing (mounts and the binfmt entry after a reboot). About 2-3 minutes
# from nothing on a 2-core machine. Runs as root, or through sudo.
#
# The chroot lives in W32ROOT (default /var/tmp/metrova-w32), never inside a
# build folder: it bind-mounts the host's /dev, /proc, /sys and
# /tmp/.X11-unix, and the FOLDERs. Removing it with rm -rf while those are
# mounted would delete the host's device nodes and the FOLDERs' contents:
# remove it only with w32-teardown.sh.
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
    exec sudo W32ROOT="${W32ROOT:-}" bash "$0" "$@"
fi
R=${W32ROOT:-/var/tmp/metrova-w32}
QEMU=$R/opt/qemu10/qemu-i386
IN="chroot $R /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive"
say() { echo "w32-setup: $*"; }
# Builds in other folders may set up at the same time: one at a time.
exec 9>"$R.lock"
flock 9

# The Debian archive this machine already uses.
mirror() {
    awk -v want="$1" '/^URIs:/ && (($2 ~ /security/) == (want == "security")) { print $2; exit }' \
        /etc/apt/sources.list.d/*.sources 2>/dev/null || true
    awk -v want="$1" '/^deb / && (($2 ~ /security/) == (want == "security")) { print $2; exit }' \
        /etc/apt/sources.list 2>/dev/null || true
}
MIRROR=$(mirror main | head -n 1)
SECURITY=$(mirror security | head -n 1)

if [ ! -x "$R/bin/bash" ]; then
    [ -n "$MIRROR" ] || { echo "w32-setup: no Debian archive in the apt sources" >&2; exit 1; }
    if ! command -v debootstrap >/dev/null; then
        say "installing debootstrap"
        DEBIAN_FRONTEND=noninteractive apt-get install -y -q debootstrap >/dev/null 2>&1 || {
            apt-get update -q >/dev/null
            DEBIAN_FRONTEND=noninteractive apt-get install -y -q debootstrap >/dev/null
        }
    fi
    say "making a bookworm chroot in $R"
    # A half-made chroot from an interrupted run may still have debootstrap's
    # mounts: only w32-teardown.sh removes it.
    if [ -e "$R.partial" ]; then
        if awk -v p="$R.partial/" 'index($2, p) == 1 { found = 1 } END { exit !found }' /proc/mounts; then
            echo "w32-setup: $R.partial has mounts below it; remove it with scripts/w32-teardown.sh" >&2
            exit 1
        fi
        rm -rf --one-file-system "$R.partial"
    fi
    debootstrap --variant=minbase bookworm "$R.partial" "$MIRROR" >/tmp/metrova-w32-debootstrap.log 2>&1 || {
        tail -n 20 /tmp/metrova-w32-debootstrap.log; exit 1; }
    mv "$R.partial" "$R"
fi

# Mounts: the host's devices, processes and X sockets, then the folders
# the programs live in, at the same paths as on the host.
[ -d /tmp/.X11-unix ] || mkdir -m 1777 /tmp/.X11-unix   # as an X server makes it
for d in proc sys dev dev/pts tmp/.X11-unix; do
    mkdir -p "$R/$d"
    mountpoint -q "$R/$d" || mount --bind "/$d" "$R/$d"
done
for folder in "$@"; do
    folder=$(readlink -f "$folder")
    case "$folder" in /|/dev*|/proc*|/sys*|"$R"|"$R"/*) echo "w32-setup: will not mount $folder" >&2; exit 1;; esac
    # Already visible there (mounted, or below a mounted folder)?
    [ -d "$R$folder" ] && [ "$(stat -c %d:%i "$R$folder")" = "$(stat -c %d:%i "$folder")" ] && continue
    # Mounted, but from a folder since deleted and made again (a build folder
    # removed with rm -rf): the mount shows the deleted folder and cannot be
    # mounted over. Unmounted (never removed), then mounted afresh.
    if mountpoint -q "$R$folder"; then
        umount "$R$folder" || { echo "w32-setup: cannot unmount the stale $R$folder" >&2; exit 1; }
    fi
    mkdir -p "$R$folder"
    mount --bind "$folder" "$R$folder"
done
cp /etc/resolv.conf "$R/etc/resolv.conf"
grep -q "$(hostname)" "$R/etc/hosts" 2>/dev/null || echo "127.0.1.1 $(hostname)" >>"$R/etc/hosts"
# A user running the tests through sudo runs the programs under their own id.
if [ -n "${SUDO_UID:-}" ] && ! grep -q "^[^:]*:[^:]*:$SUDO_UID:" "$R/etc/passwd"; then
    echo "$(id -un "$SUDO_UID"):x:$SUDO_UID:${SUDO_GID:-$SUDO_UID}::/tmp:/bin/sh" >>"$R/etc/passwd"
    grep -q "^[^:]*:[^:]*:${SUDO_GID:-$SUDO_UID}:" "$R/etc/group" ||
        echo "$(id -gn "$SUDO_UID"):x:${SUDO_GID:-$SUDO_UID}:" >>"$R/etc/group"
fi

# binfmt_misc: 32-bit i386 ELF -> qemu. 'F' opens the interpreter now, so it
# also works inside the chroot; 'P' keeps argv[0]. Until qemu 10 is in place
# bookworm's qemu stands in: the i386 packages' install scripts run i386
# programs.
mountpoint -q /proc/sys/fs/binfmt_misc || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
register() {
    if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
        grep -q "interpreter $1\$" /proc/sys/fs/binfmt_misc/qemu-i386 && return 0
        echo -1 >/proc/sys/fs/binfmt_misc/qemu-i386
    fi
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$1"':FP' \
        >/proc/sys/fs/binfmt_misc/register
}

if ! $IN dpkg -s wine32:i386 >/dev/null 2>&1 || [ ! -x "$QEMU" ]; then
    say "installing 32-bit Wine in the chroot"
    if [ ! -x "$QEMU" ]; then
        command -v qemu-i386-static >/dev/null || {
            DEBIAN_FRONTEND=noninteractive apt-get install -y -q qemu-user-static >/dev/null 2>&1 || {
                apt-get update -q >/dev/null
                DEBIAN_FRONTEND=noninteractive apt-get install -y -q qemu-user-static >/dev/null; }
        }
        register "$(command -v qemu-i386-static)"
    fi
    {
        echo "deb $MIRROR bookworm main"
        echo "deb $MIRROR bookworm-updates main"
        [ -z "$SECURITY" ] || echo "deb $SECURITY bookworm-security main"
    } >"$R/etc/apt/sources.list"
    echo "deb $MIRROR trixie main" >"$R/etc/apt/sources.list.d/trixie.list"
    printf 'Package: *\nPin: release n=trixie\nPin-Priority: 100\n' >"$R/etc/apt/preferences.d/trixie"
    log=/tmp/metrova-w32-apt.log
    {
        $IN dpkg --add-architecture i386
        $IN apt-get update -q
        $IN apt-get install -y -q --no-install-recommends wine wine32:i386 wine64 procps \
            locales fonts-ipafont-gothic fonts-wine
    } >$log 2>&1 || { tail -n 30 $log; exit 1; }
    sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' "$R/etc/locale.gen"
    grep -q '^ja_JP.UTF-8 UTF-8' "$R/etc/locale.gen" || echo 'ja_JP.UTF-8 UTF-8' >>"$R/etc/locale.gen"
    $IN locale-gen >/dev/null
    if [ ! -x "$QEMU" ]; then
        mkdir -p "$R/opt/qemu10"
        $IN sh -c 'cd /opt/qemu10 && apt-get download -q qemu-user/trixie' >>$log 2>&1 || { tail -n 30 $log; exit 1; }
        dpkg-deb --fsys-tarfile "$R"/opt/qemu10/qemu-user_*.deb | tar -xO ./usr/bin/qemu-i386 >"$QEMU.new"
        chmod 755 "$QEMU.new"
        mv "$QEMU.new" "$QEMU"
        rm -f "$R"/opt/qemu10/*.deb
    fi
    say "ready in $R"
fi

# The same fonts as the host's Wine: text measured in the 32-bit prefix must
# come out as in the 64-bit one.
missing=""
for font in $(dpkg-query -W -f='${Package} ${Status}\n' 'fonts-*' | awk '/ ok installed$/ { print $1 }'); do
    $IN dpkg -s "$font" >/dev/null 2>&1 || missing="$missing $font"
done
if [ -n "$missing" ]; then
    say "installing the host's fonts in the chroot:$missing"
    $IN apt-get install -y -q --no-install-recommends $missing >/tmp/metrova-w32-apt.log 2>&1 || {
        $IN apt-get update -q >>/tmp/metrova-w32-apt.log 2>&1
        $IN apt-get install -y -q --no-install-recommends $missing >>/tmp/metrova-w32-apt.log 2>&1
    } || { tail -n 30 /tmp/metrova-w32-apt.log; exit 1; }
fi
register "$QEMU"
