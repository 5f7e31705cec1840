#!/bin/sh
# make_decode_recordings.sh DIR: the recordings the Media Foundation decoder
# tests read, made at test time (a CTest fixture, run on the host).
#
# A source signal per layout, NAME.raw (16-bit signed, no header): silence,
# then tone bursts ("clicks") at 0.5, 1.13, 1.71 and 2.42 s over a quiet tone,
# 3 s in all. From it sox writes NAME.wav and NAME.flac, lame NAME.mp3 and
# ffmpeg's AAC encoder NAME.m4a. manifest lists each:
#   NAME RATE CHANNELS FRAMES FIRST_ONSET_FRAME
set -eu
dir=$1
for tool in sox lame ffmpeg awk; do
    command -v "$tool" >/dev/null 2>&1 || {
        echo "make_decode_recordings.sh: '$tool' is missing: install the Debian packages sox, lame and ffmpeg (sh scripts/setup.sh native)" >&2
        exit 1; }
done
rm -rf "$dir" && mkdir -p "$dir" && cd "$dir"
: >manifest

# source NAME RATE CHANNELS
source() {
    name=$1 rate=$2 channels=$3
    frames=$((rate * 3))
    onset=$((rate / 2))
    LC_ALL=C awk -v rate="$rate" -v channels="$channels" -v frames="$frames" 'BEGIN {
        pi = 3.14159265358979
        split("0.5 1.13 1.71 2.42", at, " ")
        for (f = 0; f < frames; f++) {
            t = f / rate
            v = t >= 0.5 ? 0.05 * sin(2 * pi * 330 * t) : 0
            for (k = 1; k <= 4; k++) {
                n = f - int(at[k] * rate)
                if (n >= 0 && n < 400) v += 0.7 * exp(-n / 60) * sin(2 * pi * 2500 * n / rate)
            }
            for (c = 0; c < channels; c++) {
                s = int((c % 2 ? -0.8 : 1) * v * 32767)
                if (s < 0) s += 65536
                printf "%c%c", s % 256, int(s / 256)
            }
        }
    }' >"$name.raw"
    sox -V1 -D -t raw -e signed -b 16 -r "$rate" -c "$channels" "$name.raw" "$name.wav"
    sox -V1 -D "$name.wav" "$name.flac"
    lame --quiet -b 192 "$name.wav" "$name.mp3"
    ffmpeg -nostdin -loglevel error -y -i "$name.wav" -c:a aac -b:a 160k "$name.m4a"
    echo "$name $rate $channels $frames $onset" >>manifest
}
source stereo-44k 44100 2
source mono-48k 48000 1
