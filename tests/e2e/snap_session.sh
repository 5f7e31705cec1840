#!/bin/sh
# End to end through the real Metrova.exe (run by run_session.sh): a session
# of a take tapped 40 ms late along a recording of clicks (but for a second
# without any), with one beat moved by hand, opened at start-up. The copied
# map's beats lie on the clicks, the edited beat where the hand put it, and
# the beats of the silent second keep their neighbours' shift. Leaves a
# screenshot of the graph with snapped, unsure and edited beats
# (metrova-graph-snapped.png).
set -u
. "$E2E_LIB"
command -v sox >/dev/null || { echo "FAIL: sox is needed to write the recording (sh scripts/setup.sh native)"; exit 1; }

# Clicks every 500 ms from 0.5 s to 6 s, none at 3.0, 3.5 and 4.0 s.
LC_ALL=C awk 'BEGIN {
    for (b = 1; b <= 12; b++) if (b < 6 || b > 8) for (k = 0; k < 200; k++) click[b * 22050 + k] = (k % 2 ? -1 : 1) * int(16000 * (200 - k) / 200)
    for (i = 0; i < 308700; i++) { v = (i in click) ? click[i] : 0; if (v < 0) v += 65536; printf "%c%c", v % 256, int(v / 256) }
}' >clicks.raw
sox -V1 -t raw -e signed -b 16 -r 44100 -c 1 clicks.raw "$work/clicks.wav" || { echo "FAIL: sox wrote no recording"; exit 1; }
rm -f clicks.raw

# The session names the recording with a size and hash of another file:
# Metrova asks whether to open it anyway, and Enter says yes.
path=$(winpath "$work/clicks.wav" | LC_ALL=C awk '{ out = ""; for (i = 1; i <= length($0); i++) { c = substr($0, i, 1); if (c ~ /[A-Za-z0-9._-]/) out = out c; else out = out sprintf("%%%02X", index("\\:/ ", c) ? (c == "\\" ? 92 : c == ":" ? 58 : c == "/" ? 47 : 32) : 63) } print out }')
{
    printf 'Metrova takes 2\r\nrecording size=1 hash=0000000000000001 path=%s\r\nedit at=2000000 to=2100000\r\n' "$path"
    printf 'take 2026-12-07T10:00:00 12 anchor=540\r\n'
    for t in 0 500 1000 1500 2000 2500 3000 3500 4000 4500 5000 5500; do printf '%s\r\n' $t; done
    printf 'end\r\n'
} >Metrova.takes
start_metrova
tool wait-dialog 30 || fail "no question about the changed recording"
sleep 0.5
keys Return
line_shows() { tool texts main | grep -q 'clicks\.wav (0:07\.0)'; }
wait_for 30 line_shows || fail "the session's recording did not open: $(tool texts main | tr '\n' '|')"

keys ctrl+g
if tool wait-window mkMetrovaGraph 15 >/dev/null; then
    sleep 1
    keys alt+v t
    sleep 1
    import -window root "$build/metrova-graph-snapped.png" 2>/dev/null || fail "no screenshot of the graph"
    keys Escape
    tool wait-gone mkMetrovaGraph 15 || fail "Escape did not close the graph"
else
    fail "Ctrl+G opened no tempo graph"
fi

before=$(tool clipboard-sequence)
keys ctrl+c
wait_for 15 clipboard_changes_from "$before" || fail "Ctrl+C did not change the clipboard"
tool clipboard snapped.mid || fail "no Standard MIDI File on the clipboard"
beats=$(smf_beat_times snapped.mid 1)
echo "beats of the copied map: $beats"
near() {  # near MS TOLERANCE: a beat of the map lies within TOLERANCE ms of MS
    echo " $beats " | awk -v t="$1" -v d="$2" '{ for (k = 1; k <= NF; ++k) if ($k - t <= d && t - $k <= d) exit 0; exit 1 }'
}
# Beats go where notes sounding as the clicks would start: the onset
# detector's kSpeaksMs (core/audio/OnsetStrength.h) before each click.
speaks=4.5
before_click() { awk -v t="$1" -v s=$speaks 'BEGIN { print t - s }'; }
for t in 500 1000 1500 2500 5000 5500 6000; do
    near "$(before_click $t)" 2 || fail "no beat of the map on the click at $t ms: $beats"
done
near 2100 1 || fail "the beat moved by hand is not at 2100 ms: $beats"
near 2000 20 && fail "a beat is still near the click the edit moved it from: $beats"
# The silent second's beats: moved by their neighbours' shift (40 ms back),
# not left where they were tapped.
for t in 3000 3500 4000; do
    near "$(before_click $t)" 5 || fail "the unsure beat near $t ms did not keep its neighbours' shift: $beats"
done
close_metrova
colours=$(convert "$build/metrova-graph-snapped.png" -format '%k' info: 2>/dev/null || echo 0)
[ "$colours" -gt 8 ] 2>/dev/null || fail "the graph screenshot has $colours colours"
finish "snapping session: beats on the clicks, the edit applied, the unsure beats with their neighbours"
