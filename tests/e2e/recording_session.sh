#!/bin/sh
# End to end through the real Metrova.exe (run by run_session.sh): a WAV
# opened from the File menu, a take tapped along it with note-ons of the
# stand-in MIDI device, which the stand-in winmm.dll delivers when its wave
# device has played to given positions (FAKEWAVE_CLOCK=run: one virtual clock
# for the wave position, timeGetTime and the MIDI time stamps, so that the
# taps' recording times are exact). Checks the take's times on the
# recording, the session reopened at the next start, and the copied map
# lined up with the recording: every tapped beat at its recording time
# within 1 ms (3 ms in the 32-bit build, see below), worked out from the
# file's own ticks and tempos. Leaves
# screenshots of the main window with the recording, of the tap dialog
# while it plays and of the graph with the waveform (metrova-recording.png,
# metrova-tap-dialog-playing.png, metrova-graph-recording.png).
set -u
. "$E2E_LIB"
[ -f "$build/tests/winmm.dll" ] || { echo "FAIL: no stand-in $build/tests/winmm.dll"; exit 1; }
command -v sox >/dev/null || { echo "FAIL: sox is needed to write the recording (sh scripts/setup.sh native)"; exit 1; }

# Ten seconds of a tone pulsing twice a second, 44.1 kHz mono.
sox -n -r 44100 -c 1 -b 16 "$work/song.wav" synth 10 sine 440 vol 0.5 tremolo 2 100 || { echo "FAIL: sox wrote no recording"; exit 1; }

# The taps, in ms on the recording; with a pre-roll of 1 s from the start
# the wave device's position is the recording time plus 1000 ms. The first
# note-on lies in the pre-roll and is dropped.
taps="1200 1700 2210 2700 3195 3700"
{
    echo "@500 90 3C 64"
    for t in $taps; do echo "@$((t + 1000)) 90 3C 64"; done
} >script.txt

# How far a tap may lie from its note-on's time. Metrova times note-ons
# from the clock it reads just before midiInStart. Under qemu, which
# emulates the 32-bit program, the clock's thread can move on a millisecond
# or two between that reading and the call, so the taps come that much
# early; a real driver's start is a matter of microseconds.
slack=1
[ "${E2E_EMULATED:-0}" = 1 ] && slack=3

cp "$build/tests/winmm.dll" "$work/" || exit 1
printf '[AppSetting]\r\nTapMethod=1\r\nMidiIn=Keys\r\nPreRoll=1\r\n' >Metrova.ini
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winmm=n,b" FAKEMIDI_DEVICES="Keys" FAKEWAVE_CLOCK=run
export FAKEMIDI_SCRIPT="$work/script.txt" FAKEWAVE_LOG="$work/wave.log"
start_metrova

# File > Open Recording... (Alt+F, R), the path typed into the open dialog.
keys alt+f r
tool wait-dialog 15 || fail "File > Open Recording opened no dialog"
sleep 0.5
type_text "$(winpath "$work/song.wav")"
keys Return
recording_named() { grep -q '^recording .*song\.wav' Metrova.takes 2>/dev/null; }
wait_for 30 recording_named || fail "the session does not name the recording: $(head -n 2 Metrova.takes 2>/dev/null)"
line_shows() { tool texts main | grep -q 'song\.wav (0:10\.0)'; }
wait_for 10 line_shows || fail "the recording's line does not show: $(tool texts main | tr '\n' '|')"
import -window root "$build/metrova-recording.png" 2>/dev/null || fail "no screenshot of the main window"

# The tap dialog: Enter on the add button. The script's last note-on comes
# 4.7 s into playback.
keys Return
tool wait-dialog 15 || fail "Enter opened no tap dialog"
sleep 2.5
import -window root "$build/metrova-tap-dialog-playing.png" 2>/dev/null || fail "no screenshot of the tap dialog"
sleep 3
keys Escape
tool wait-no-dialog 15 || fail "Escape did not close the tap dialog"
wait_for 10 rows_are 1 || fail "the list has $(tool list-rows) rows"
# The graph with the recording's waveform under the take's tempo.
keys ctrl+g
if tool wait-window mkMetrovaGraph 15 >/dev/null; then
    sleep 1
    keys alt+v t  # the time axis, where the waveform is drawn
    sleep 1
    import -window root "$build/metrova-graph-recording.png" 2>/dev/null || fail "no screenshot of the graph"
    keys Escape
    tool wait-gone mkMetrovaGraph 15 || fail "Escape did not close the graph"
else
    fail "Ctrl+G opened no tempo graph"
fi
grep -q '^open 44100 1 16' wave.log || fail "the recording was not played: $(tr '\n' ' ' <wave.log 2>/dev/null)"

# The session: the take anchored at its first tap's recording time, its taps
# from there, each within $slack ms of the note-on's time.
tr -d '\r' <Metrova.takes >session.txt
take_line=$(grep '^take ' session.txt | head -n 1)
anchor=$(printf '%s\n' "$take_line" | sed -n 's/.* anchor=\([0-9]*\).*/\1/p')
[ -n "$anchor" ] || fail "the take has no anchor: $take_line"
got=$(awk -v a="${anchor:-0}" '/^take /{on=1; next} on && /^[0-9]+$/ {printf "%d ", $1 + a} /^end/{on=0}' session.txt)
echo "taps on the recording: $got"
set -- $got
for t in $taps; do
    [ $# -gt 0 ] || { fail "fewer taps than note-ons after the pre-roll: $got"; break; }
    d=$(($1 - t)); [ ${d#-} -le $slack ] || fail "the tap at $t ms is at $1 ms"
    shift
done
[ $# -eq 0 ] || fail "more taps than note-ons after the pre-roll: $got"

# The copy: lined up with the recording's start (the option's default).
# Beat k of the file lies at the sum of the tempos of the beats before it.
before=$(tool clipboard-sequence)
keys ctrl+c
wait_for 15 clipboard_changes_from "$before" || fail "Ctrl+C did not change the clipboard"
tool clipboard lined.mid || fail "no Standard MIDI File on the clipboard"
beats=$(smf_beat_times lined.mid 3)
echo "beats of the copied map: $beats"
set -- $beats
[ "${1:-x}" = "0.000" ] || fail "the map does not start at the recording's first sample: $beats"
for t in $taps; do
    echo " $beats " | awk -v t="$t" -v s="$slack" '{ for (k = 1; k <= NF; ++k) if ($k - t <= s && t - $k <= s) exit 0; exit 1 }' ||
        fail "no beat of the map within $slack ms of the tap at $t ms: $beats"
done

# The next start opens the recording again.
close_metrova
start_metrova again
wait_for 30 line_shows || fail "the recording was not opened again: $(tool texts main | tr '\n' '|')"
close_metrova

colours=$(convert "$build/metrova-recording.png" -format '%k' info: 2>/dev/null || echo 0)
[ "$colours" -gt 8 ] 2>/dev/null || fail "the main window screenshot has $colours colours"
finish "recording session: taps on the recording's timeline, session and lined-up copy checked"
