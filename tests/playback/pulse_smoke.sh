#!/bin/sh
# One run of real playback under Wine: a private PulseAudio server with a
# null sink (no sound card needed), Wine's winmm through winepulse, and
# playback_smoke.exe playing a short WAV that sox writes to its end.
#   pulse_smoke.sh WORKDIR WINE-RUN PLAYBACK_SMOKE.exe
# The server's sink is checked to have been fed. No timing is asserted.
set -u
work=$1
run=$2
program=$3
for tool in pulseaudio pactl sox; do
    command -v $tool >/dev/null || { echo "FAIL: $tool is needed (sh scripts/setup.sh)"; exit 1; }
done
rm -rf "$work" && mkdir -p "$work/runtime" || exit 1
work=$(cd "$work" && pwd)
chmod 700 "$work/runtime"
sox -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth 1.5 sine 440 vol 0.3 || { echo "FAIL: sox wrote no WAV"; exit 1; }

export XDG_RUNTIME_DIR="$work/runtime" PULSE_RUNTIME_PATH="$work/runtime/pulse" HOME="$work"
socket="$work/runtime/pulse.socket"
pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --log-level=info --log-target=file:"$work/pulse.log" \
    -L "module-native-protocol-unix auth-anonymous=1 socket=$socket" \
    -L "module-null-sink sink_name=smoke" -L "module-always-sink" </dev/null >/dev/null 2>&1 &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null' EXIT
export PULSE_SERVER="unix:$socket"
i=0
until pactl info >/dev/null 2>&1; do
    i=$((i + 1))
    if [ $i -gt 100 ] || ! kill -0 $server 2>/dev/null; then
        echo "FAIL: the PulseAudio server did not start:"
        cat "$work/pulse.log" 2>/dev/null
        exit 1
    fi
    sleep 0.1
done
pactl set-default-sink smoke

# The system's winmm: no stand-in override here.
out=$(cd "$work" && WINEDLLOVERRIDES="mscoree,mshtml=" "$run" "$program" tone.wav 2>&1)
status=$?
printf '%s\n' "$out" | grep -v '^wine: \|fixme:'
[ $status -eq 0 ] || { echo "FAIL: playback_smoke exited $status"; exit 1; }
# The player's 16-bit stereo stream reached the null sink.
grep -q 'Created input .* on smoke with .* s16le 2ch 44100Hz' "$work/pulse.log" ||
    { echo "FAIL: no 16-bit stereo stream reached the null sink:"; grep 'sink-input' "$work/pulse.log"; exit 1; }
echo "real playback through PulseAudio's null sink: played to the end"
