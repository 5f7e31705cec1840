#!/bin/sh
# Regenerates app/resources/Metrova.ico, the program icon (icon group 111):
# a metronome (amber body, dark pendulum swung to the right, red weight)
# on a blue rounded square, at 16x16, 32x32 and 48x48 pixels with alpha.
#
# Each size is drawn on a canvas four times as large in a 48-unit coordinate
# system and scaled down, so that the edges come out smooth. The small size
# gets thicker strokes so that the pendulum stays visible.
#
# Usage: scripts/make-icon.sh [output.ico]   (needs ImageMagick's convert)
set -eu

here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/../app/resources/Metrova.ico}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# draw <pixels> <pendulum width> <outline width>
draw() {
    px=$1
    canvas=$((px * 4))
    scale=$(awk "BEGIN { printf \"%.6f\", $canvas / 48 }")
    convert -size "${canvas}x${canvas}" xc:none \
        -draw "scale $scale,$scale
               fill '#1d5fae' stroke '#123f78' stroke-width 1
               roundrectangle 1.5,1.5 46.5,46.5 9,9
               fill '#f0a83a' stroke '#6b3f0c' stroke-width $3
               polygon 19.5,7 28.5,7 38,42 10,42
               fill '#fbe3b4' stroke none
               polygon 21.5,10 26.5,10 31,33 17,33
               stroke '#2e1b05' stroke-width $2 stroke-linecap round
               line 24,36 33.5,9
               fill '#c0392b' stroke '#5a1a12' stroke-width 1
               roundrectangle 27.6,16.5 33.2,21.5 1,1
               fill '#3b2208' stroke none
               circle 24,36 24,38.2" \
        -filter Lanczos -resize "${px}x${px}" \
        -define png:color-type=6 "$work/icon$px.png"
}

draw 48 2.4 1.4
draw 32 2.8 1.6
draw 16 4.4 2.0

convert "$work/icon16.png" "$work/icon32.png" "$work/icon48.png" "$out"
echo "wrote $out"
