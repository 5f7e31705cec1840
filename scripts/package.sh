#!/bin/sh
# package.sh: builds the release packages build/dist/Metrova-<version>-win32.zip
# (the product: 32-bit Metrova.exe) and -win64.zip, each with the manual,
# a short readme and the licence. The version is the one of project() in
# CMakeLists.txt, which also feeds the version resource.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
version=$(sed -n 's/^project(Metrova VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "no version in CMakeLists.txt"; exit 1; }
dist="$root/build/dist"
mkdir -p "$dist"

for arch in win32 win64; do
    case $arch in
    win32) toolchain=cmake/toolchain-i686-w64-mingw32.cmake strip=i686-w64-mingw32-strip ;;
    win64) toolchain=cmake/toolchain-x86_64-w64-mingw32.cmake strip=x86_64-w64-mingw32-strip ;;
    esac
    build="build/release-$arch"
    cmake -G Ninja -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DMETROVA_TESTS=OFF \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" >/dev/null
    cmake --build "$build" --target Metrova >/dev/null
    stage="$build/Metrova-$version-$arch"
    rm -rf "$stage"
    mkdir -p "$stage"
    $strip -o "$stage/Metrova.exe" "$build/app/Metrova.exe"
    cp app/help/Metrova.html app/help/Metrova-en.html "$stage/"
    # Windows' Notepad of older versions wants CR LF.
    sed 's/$/\r/' packaging/readme.txt >"$stage/readme.txt"
    sed 's/$/\r/' LICENSE >"$stage/LICENSE.txt"
    zip="$dist/Metrova-$version-$arch.zip"
    rm -f "$zip"
    (cd "$build" && cmake -E tar cf "$zip" --format=zip "Metrova-$version-$arch")
    echo "$zip"
done
