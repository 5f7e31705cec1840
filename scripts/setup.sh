#!/bin/sh
# Installs what building and testing Metrova needs on Debian: only what is
# missing, quietly when nothing is. Runs as root or through sudo.
set -eu

# setup.sh [native|windows|bench]: only what the native builds need, or only
# what the Windows builds add; both without an argument. `bench` adds what
# the benchmarks alone use: fluidsynth and its General MIDI soundfont, which
# render the snapping benchmark's music.
native="make cmake ninja-build g++ clang libclang-rt-14-dev googletest libgtest-dev libbenchmark-dev
sox libsox-fmt-all libstb-dev lame ffmpeg"
windows="g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
wine wine64 fonts-wine xvfb xauth xdotool x11-utils imagemagick fonts-ipafont-gothic fonts-ipafont-mincho locales
gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav pulseaudio"
bench="fluidsynth fluid-soundfont-gm"
case "${1:-all}" in
    native) packages=$native ;;
    windows) packages=$windows ;;
    bench) packages=$bench ;;
    *) packages="$native $windows" ;;
esac

missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing="$missing $p"
done

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

if [ -n "$missing" ]; then
    echo "Installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    # A fresh machine may have no package lists yet, or stale ones.
    if ! as_root apt-get install -y -q $missing >/tmp/metrova-apt.log 2>&1; then
        as_root apt-get update -q >/dev/null
        as_root apt-get install -y -q $missing >/tmp/metrova-apt.log 2>&1 || {
            tail -n 30 /tmp/metrova-apt.log; exit 1; }
    fi
fi

# Wine takes the ANSI code page from the Japanese locale: code page 932.
if [ "${1:-all}" != native ] && [ "${1:-all}" != bench ] && ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
    echo "Generating the ja_JP.UTF-8 locale"
    as_root sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
    as_root locale-gen >/dev/null
fi
