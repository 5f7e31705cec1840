#!/bin/sh
# End to end through the real Metrova.exe (run by run_session.sh): takes
# tapped on the keyboard through xdotool, then takes tapped with note-ons from
# the stand-in MIDI input device (the test winmm.dll beside the program, fed
# from a file), each pair copied to the clipboard and read back by
# wintool.exe. Leaves screenshots of the open tap dialog in the build folder
# (metrova-tap-dialog.png, metrova-tap-dialog-midi.png).
set -u
. "$E2E_LIB"
[ -f "$build/tests/winmm.dll" ] || { echo "FAIL: no stand-in $build/tests/winmm.dll"; exit 1; }
starts_are() { [ "$(grep -c '^start' midi.log 2>/dev/null)" = "$1" ]; }

# The tempo track of a Standard MIDI File, one line each: "format F tracks T
# division D", then "tempo DELTA VALUE" per Set Tempo event, "end" for End
# of Track, "bad" for anything unexpected.
smf_summary() {
    od -An -v -tu1 "$1" | tr -s ' \n' '\n\n' | grep -v '^$' | awk '
        { b[n++] = $1 + 0 }
        function varlen(   v) { v = 0; while (i < n && b[i] >= 128) v = v * 128 + b[i++] - 128; return v * 128 + b[i++] }
        END {
            if (n < 22 || b[0] != 77 || b[1] != 84 || b[2] != 104 || b[3] != 100) { print "bad"; exit }
            print "format", b[8] * 256 + b[9], "tracks", b[10] * 256 + b[11], "division", b[12] * 256 + b[13]
            if (b[14] != 77 || b[15] != 84 || b[16] != 114 || b[17] != 107) { print "bad"; exit }
            end = 22 + ((b[18] * 256 + b[19]) * 256 + b[20]) * 256 + b[21]
            for (i = 22; i < end && i < n;) {
                delta = varlen()
                if (b[i] != 255) { print "bad"; exit }
                type = b[i + 1]; i += 2; size = varlen()
                if (type == 81 && size == 3) print "tempo", delta, (b[i] * 256 + b[i + 1]) * 256 + b[i + 2]
                else if (type == 47) print "end"
                else print "bad"
                i += size
            }
        }'
}

# check_copy NAME TAPS: copies with Ctrl+C and checks the clipboard: format
# 0, 2520 ticks per quarter note, one tempo a beat (TAPS - 1 of them, 2520
# ticks apart), each within 5 % of 500000 us (120 beats a minute).
check_copy() {
    before=$(tool clipboard-sequence)
    keys ctrl+c
    wait_for 15 clipboard_changes_from "$before" || fail "$1: Ctrl+C did not change the clipboard"
    tool clipboard "$1.mid" || { fail "$1: no Standard MIDI File on the clipboard"; return; }
    smf_summary "$1.mid" >"$1.txt"
    [ "$(head -n 1 "$1.txt")" = "format 0 tracks 1 division 2520" ] || fail "$1: header $(head -n 1 "$1.txt")"
    [ "$(grep -c '^tempo' "$1.txt")" = $(($2 - 1)) ] || fail "$1: $(grep -c '^tempo' "$1.txt") tempo events"
    [ "$(tail -n 1 "$1.txt")" = "end" ] || fail "$1: does not end with End of Track"
    awk '/^tempo/ { if ($2 != (NR == 2 ? 0 : 2520)) exit 1; if ($3 < 475000 || $3 > 525000) exit 1 }' "$1.txt" ||
        fail "$1: tempo events off the beat or not near 500000 us: $(grep '^tempo' "$1.txt" | tr '\n' ' ')"
    echo "$1: $(grep '^tempo' "$1.txt" | cut -d' ' -f3 | tr '\n' ' ')"
}

# open_tap_dialog: the add command through Enter on the default button.
open_tap_dialog() {
    keys Return
    tool wait-dialog 15 || fail "Enter opened no tap dialog"
    sleep 0.5
}

close_tap_dialog() {
    keys Escape
    tool wait-no-dialog 15 || fail "Escape did not close the tap dialog"
}

# --- Keyboard: two takes of six key presses 500 ms apart --------------------

start_metrova

for take in 1 2; do
    open_tap_dialog
    xdotool windowfocus --sync "$(desktop)" key --delay 500 t t t t t t
    sleep 0.5
    if [ $take = 1 ]; then
        import -window root "$build/metrova-tap-dialog.png" 2>/dev/null || fail "no screenshot of the tap dialog"
    fi
    close_tap_dialog
    wait_for 10 rows_are $take || fail "keyboard take $take: the list has $(tool list-rows) rows"
done
check_copy keyboard 6

close_metrova

# The two keyboard takes are kept in the session beside the program; the
# MIDI part counts its takes from an empty list.
[ "$(grep -c '^take ' Metrova.takes 2>/dev/null)" = 2 ] || fail "the session does not hold the two keyboard takes"
rm -f Metrova.takes

# A blank or single-colour screen would mean nothing was drawn.
colours=$(convert "$build/metrova-tap-dialog.png" -format '%k' info: 2>/dev/null || echo 0)
[ "$colours" -gt 8 ] 2>/dev/null || fail "the tap dialog screenshot has $colours colours"

# --- MIDI: the stand-in device, fed note-ons 500 ms apart -------------------

# The device's name is Japanese: the settings file holds it in code page 932,
# the stand-in takes its list from the environment.
device=テスト鍵盤
cp "$build/tests/winmm.dll" "$work/" || exit 1
printf '[AppSetting]\r\nTapMethod=1\r\nMidiIn=%s\r\n' "$(printf '%s' "$device" | iconv -f UTF-8 -t CP932)" >Metrova.ini
: >feed.txt
rm -f midi.log
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winmm=n,b" FAKEMIDI_DEVICES="Other;$device"
export FAKEMIDI_FEED="$work/feed.txt" FAKEMIDI_LOG="$work/midi.log"
start_metrova with MIDI
wait_for 10 grep -qx 'open 1' midi.log || fail "the device was not opened at start-up: $(tr '\n' ' ' <midi.log 2>/dev/null)"

for take in 1 2; do
    open_tap_dialog
    wait_for 10 starts_are $take || fail "MIDI take $take: input was not started"
    keys t  # the computer keyboard taps nothing with the MIDI method
    for tap in 1 2 3 4 5 6; do
        echo "90 3C 64" >>feed.txt
        if [ $tap = 3 ]; then
            # No taps: velocity 0, note-off, controller, clock, active sensing.
            printf '90 3C 00\n80 3C 40\nB0 07 7F\nF8\nFE\n' >>feed.txt
        fi
        sleep 0.5
    done
    if [ $take = 1 ]; then
        import -window root "$build/metrova-tap-dialog-midi.png" 2>/dev/null || fail "no screenshot of the MIDI tap dialog"
    fi
    close_tap_dialog
    wait_for 10 rows_are $take || fail "MIDI take $take: the list has $(tool list-rows) rows"
done
check_copy midi 6

close_metrova with MIDI
log=$(tr '\n' ' ' <midi.log 2>/dev/null)
[ "$log" = "open 1 start stop start stop close " ] || fail "device log: $log"

finish "Tapping end to end: keyboard and MIDI takes copied as tempo maps; screenshot $build/metrova-tap-dialog.png"
