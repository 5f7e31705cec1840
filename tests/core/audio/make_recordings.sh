#!/bin/sh
# make_recordings.sh DIR: the recordings the audio tests read, written by sox
# at test time (a CTest fixture, run on the host also for the Windows builds).
#
# For every WAV layout: NAME.raw, samples in that layout without a header
# (the integer ones random bytes from awk, the float ones converted from such
# integers by sox), and NAME.wav, sox's WAV of the same samples, which the
# reader must give back exactly. Beside them two Ogg Vorbis files encoded by
# sox from known float signals (NAME.f32). manifest lists each file:
#   wav NAME ENCODING BITS CHANNELS RATE FRAMES [wavpcm]
#   ogg NAME CHANNELS RATE FRAMES
set -eu
dir=$1
for tool in sox awk; do
    command -v "$tool" >/dev/null 2>&1 || {
        echo "make_recordings.sh: '$tool' is missing: install the Debian packages sox and libsox-fmt-all (sh scripts/setup.sh native)" >&2
        exit 1; }
done
sox -h 2>/dev/null | grep -q '^AUDIO FILE FORMATS:.* vorbis' || {
    echo "make_recordings.sh: this sox cannot write Ogg Vorbis: install the Debian package libsox-fmt-all (sh scripts/setup.sh native)" >&2
    exit 1; }
rm -rf "$dir" && mkdir -p "$dir" && cd "$dir"
frames=12000

# random_raw FILE BYTES_PER_SAMPLE CHANNELS SEED: $frames frames of random
# little-endian samples, the first frames the extremes (lowest, highest,
# zero, minus one for signed layouts).
random_raw() {
    LC_ALL=C awk -v bytes="$2" -v channels="$3" -v seed="$4" -v frames="$frames" 'BEGIN {
        srand(seed)
        n = frames * channels
        for (i = 0; i < n; i++) {
            f = int(i / channels)
            for (b = 0; b < bytes; b++) {
                top = b == bytes - 1
                if (f == 0) v = top ? 128 : 0          # the lowest signed sample
                else if (f == 1) v = top ? 127 : 255   # the highest
                else if (f == 2) v = 0
                else if (f == 3) v = 255               # minus one
                else v = int(rand() * 256)
                printf "%c", v
            }
        }
    }' >"$1"
}

: >manifest
# wav NAME ENCODING BITS CHANNELS RATE [wavpcm]
wav() {
    name=$1 encoding=$2 bits=$3 channels=$4 rate=$5 kind=${6:-wav}
    case $encoding in
    float)
        random_raw "$name.s32" 4 "$channels" "$rate$channels"
        sox -V1 -D -t raw -e signed -b 32 -r "$rate" -c "$channels" "$name.s32" \
            -t raw -e float -b "$bits" "$name.raw"
        rm "$name.s32" ;;
    *)
        random_raw "$name.raw" $((bits / 8)) "$channels" "$rate$channels$bits" ;;
    esac
    sox -V1 -D -t raw -e "$encoding" -b "$bits" -r "$rate" -c "$channels" "$name.raw" -t "$kind" "$name.wav"
    echo "wav $name $encoding $bits $channels $rate $frames ${6:-}" >>manifest
}
wav u8-mono-8k unsigned 8 1 8000
wav u8-stereo-16k unsigned 8 2 16000
wav s16-stereo-44k signed 16 2 44100
wav s16-mono-22k signed 16 1 22050
wav s16-6ch-44k signed 16 6 44100
wav s24-stereo-48k signed 24 2 48000
wav s24-stereo-48k-plain signed 24 2 48000 wavpcm
wav s24-mono-192k signed 24 1 192000
wav s32-stereo-96k signed 32 2 96000
wav s32-3ch-32k signed 32 3 32000 wavpcm
wav f32-stereo-44k float 32 2 44100
wav f32-3ch-32k float 32 3 32000
wav f32-mono-8k-plain float 32 1 8000 wavpcm
wav f64-mono-11k float 64 1 11025
wav f64-4ch-88k float 64 4 88200

# ogg NAME CHANNELS RATE SECONDS SYNTH...: a known float signal and its Vorbis.
ogg() {
    name=$1 channels=$2 rate=$3 seconds=$4
    shift 4
    sox -V1 -D -n -r "$rate" -c "$channels" -t raw -e float -b 32 "$name.f32" synth "$seconds" "$@"
    sox -V1 -D -t raw -e float -b 32 -r "$rate" -c "$channels" "$name.f32" "$name.ogg"
    echo "ogg $name $channels $rate $(($(wc -c <"$name.f32") / 4 / channels))" >>manifest
}
ogg tones-stereo-44k 2 44100 3 sine 440 sine 660 vol 0.5
ogg sweep-mono-22k 1 22050 2 sine 200-2000 vol 0.7
# Long enough that seeking restarts the decoder on a page near the frame.
ogg sweep-mono-48k 1 48000 12 sine 150-1500 vol 0.5
